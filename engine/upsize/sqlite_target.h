// SqliteTarget: an upsize target in a SQLite file (created when missing).
#pragma once
#include "engine/upsize/upsize_target.h"

struct sqlite3;

namespace kevra {

class SqliteTarget : public UpsizeTarget {
 public:
  // Throws EngineError when the file cannot be opened as a SQLite database.
  explicit SqliteTarget(std::string path);
  ~SqliteTarget() override;
  TargetDialect dialect() const override { return TargetDialect::SQLite; }
  std::string description() const override;
  size_t maxNameBytes() const override { return 1000; }
  std::string tableName(const std::string& name) const override { return quoteIdentifier(name); }
  bool tableExists(const std::string& name) override;
  void execute(const std::string& sql) override;
  uint64_t count(const std::string& sql) override;
  void begin() override;
  void commit() override;
  void rollback() override;
  std::unique_ptr<RowStream> insertInto(const std::string& table, const std::vector<MappedColumn>& columns) override;
  TableChecksum targetChecksum(const std::string& table, const std::vector<MappedColumn>& columns) override;
  void discardNewTarget() override;

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
  bool created_ = false;
};

}  // namespace kevra
