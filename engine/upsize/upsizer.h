// Upsizing: a Jet database's tables, keys, indexes, relationships and rows
// written into a server database, then checksummed on both sides and
// compared (on a PostgreSQL server by its own hash functions where they agree
// with this program's, otherwise by reading the rows back).
//
// Order: every table is checked and mapped before the target is touched
// (an unmappable type, a name the target would cut short or a table that
// already exists stops it there). Tables are created, then filled one
// transaction per table (or everything in one with `atomic`), then keys,
// indexes, identity counters and foreign keys follow the data. Where the
// target takes more connections and the upsize is not `atomic`, a table's
// indexes are built and its rows checksummed for verification on two more
// connections while the next table is copied; the primary keys and foreign
// keys are added once all of that is done. A failure or
// a cancel rolls back and drops the tables this run created, leaving the
// target as it was (with `replace`, tables replaced before the failure stay
// dropped unless `atomic` is set).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/util/error.h"

namespace kevra {

class Database;
class UpsizeTarget;

struct UpsizeOptions {
  std::vector<std::string> tables;  // empty: every user table
  bool replace = false;             // drop target tables of the same names first
  bool atomic = false;              // one transaction for everything
  // Called as rows are copied; returning false cancels the upsize.
  std::function<bool(const std::string& table, uint64_t rows)> progress;
};

struct UpsizedTable {
  std::string name;
  uint64_t sourceRows = 0, targetRows = 0;
  std::string sourceChecksum, targetChecksum;
  bool verified() const { return sourceRows == targetRows && sourceChecksum == targetChecksum; }
};

struct UpsizeReport {
  std::string target;
  std::vector<UpsizedTable> tables;
  std::vector<std::string> created;     // statements' subjects: tables, keys, indexes, foreign keys, views
  std::vector<std::string> notes;       // mapped with a remark, or left out, each naming its object
  std::vector<std::pair<std::string, double>> phases;  // seconds each step took
  bool verified() const;
  std::string text() const;             // the report as a person reads it
};

class UpsizeCancelled : public EngineError {
 public:
  UpsizeCancelled() : EngineError("The upsize was cancelled; the target is as it was.") {}
};

// Throws EngineError (the target left as it was) on any refusal or failure.
// A finished upsize whose verification disagrees returns normally with
// verified() false (with `atomic`, it is rolled back and throws instead).
// The file is read in one state throughout: another program's writes to it
// wait until the upsize has ended (or give up after their busy timeout).
UpsizeReport upsizeDatabase(Database& db, UpsizeTarget& target, const UpsizeOptions& options);

}  // namespace kevra
