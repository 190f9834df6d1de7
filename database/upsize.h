// Upsizing for the program: an Access database (named by its connection
// string) copied into a PostgreSQL server or a SQLite file with its keys,
// indexes, relationships and rows, then verified (engine/upsize). It opens
// the file on a read-only connection of its own, so it may run on a worker
// thread while the window keeps its connections. Built into its own library
// (kevra_database_upsize) with the database client libraries it needs.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kevra::db {

struct UpsizeSettings {
  // "sqlite:PATH", or a PostgreSQL connection string or URI.
  std::string target;
  std::string schema;               // PostgreSQL schema; empty for the default one
  std::vector<std::string> tables;  // empty: every user table
  bool replace = false;             // replace tables of the same names in the target
  bool atomic = false;              // one transaction for everything
  std::string reportPath;           // the report is written here too; empty: nowhere
};

struct UpsizedTableCount {
  std::string name;
  uint64_t rows = 0;
  bool verified = false;
};

struct UpsizeOutcome {
  std::string target;  // as the target describes itself ("SQLite file 'x.db'")
  std::vector<UpsizedTableCount> tables;
  bool verified = false;
  std::string report;  // the whole report as a person reads it
};

// Called while rows are copied: the table and its rows copied so far.
// Returning false cancels the upsize, which then throws EngineError ("The
// upsize was cancelled; the target is as it was.").
using UpsizeProgress = std::function<bool(const std::string& table, uint64_t rows)>;

// Runs the upsize. Throws kevra::EngineError on any refusal or failure,
// with the target left as it was (a new SQLite file removed again).
UpsizeOutcome upsizeDatabase(const std::string& sourceConnectionString, const UpsizeSettings& settings,
                             const UpsizeProgress& progress);

// The stored row count of each named table of the file, for a progress bar.
uint64_t storedRowCount(const std::string& sourceConnectionString, const std::vector<std::string>& tables);

// A libpq keyword/value connection string from its parts; empty parts are
// left out (libpq's defaults apply), values quoted as libpq reads them.
std::string postgresConnectionString(const std::string& host, const std::string& port, const std::string& database,
                                     const std::string& user, const std::string& password);

}  // namespace kevra::db
