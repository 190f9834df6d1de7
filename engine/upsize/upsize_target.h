// UpsizeTarget: the server database an upsize writes to, reached through
// its own client library. The upsizer speaks SQL through execute() and moves
// rows through a RowStream; it never learns how a target talks to its server.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/upsize/column_mapping.h"
#include "engine/upsize/table_checksum.h"

namespace kevra {

// Rows going into one table, one value per column, each one that passed
// checkValue(). row() also adds the row to `checksum` in the form that
// UpsizeTarget::targetChecksum() computes from the rows the table holds
// (equal checksums mean equal rows), from the very bytes it sends.
// finish() sends what is buffered and reports any failure; nothing is
// committed by it.
class RowStream {
 public:
  virtual ~RowStream() = default;
  virtual void row(const std::vector<Value>& values, TableChecksum& checksum) = 0;
  virtual void finish() = 0;
};

class UpsizeTarget {
 public:
  virtual ~UpsizeTarget() = default;
  virtual TargetDialect dialect() const = 0;
  virtual std::string description() const = 0;  // "PostgreSQL 15.8", "SQLite file 'x.db'"
  // Longest name the target keeps as given, in bytes.
  virtual size_t maxNameBytes() const = 0;
  // The qualified, quoted name of a table ("schema"."name" or "name").
  virtual std::string tableName(const std::string& name) const = 0;
  virtual bool tableExists(const std::string& name) = 0;
  virtual void execute(const std::string& sql) = 0;
  // Runs a query that yields one integer.
  virtual uint64_t count(const std::string& sql) = 0;
  virtual void begin() = 0;
  virtual void commit() = 0;
  virtual void rollback() = 0;  // no-op when no transaction is open
  virtual std::unique_ptr<RowStream> insertInto(const std::string& table, const std::vector<MappedColumn>& columns) = 0;
  // Verification: the checksum of the rows the table holds (see RowStream).
  virtual TableChecksum targetChecksum(const std::string& table, const std::vector<MappedColumn>& columns) = 0;
  // Another connection to the same target with the same settings, for steps
  // run alongside (ParallelSteps); nullptr when the target has none.
  virtual std::unique_ptr<UpsizeTarget> openAnother() { return nullptr; }
  // Asks the server to stop the statement this connection runs now; safe
  // from another thread. The statement then fails.
  virtual void cancelRunning() {}
  // Called after a failed upsize that created a new target (SQLite: remove the file).
  virtual void discardNewTarget() {}
};

// "sqlite:PATH" opens (or creates) a SQLite file; anything else is a libpq
// connection string or URI. Throws EngineError when the connection fails.
std::unique_ptr<UpsizeTarget> openUpsizeTarget(const std::string& target, const std::string& schema);

}  // namespace kevra
