// PostgresTarget: an upsize target on a PostgreSQL server (libpq).
#pragma once
#include <optional>

#include "engine/upsize/upsize_target.h"

struct pg_conn;
struct pg_cancel;

namespace kevra {

class PostgresTarget : public UpsizeTarget {
 public:
  // conninfo: any libpq connection string or URI. schema: where tables go
  // ("public" when empty). Throws EngineError when the connection fails.
  PostgresTarget(const std::string& conninfo, std::string schema);
  ~PostgresTarget() override;
  TargetDialect dialect() const override { return TargetDialect::PostgreSQL; }
  std::string description() const override;
  size_t maxNameBytes() const override { return 63; }
  std::string tableName(const std::string& name) const override;
  bool tableExists(const std::string& name) override;
  void execute(const std::string& sql) override;
  uint64_t count(const std::string& sql) override;
  void begin() override;
  void commit() override;
  void rollback() override;
  std::unique_ptr<RowStream> insertInto(const std::string& table, const std::vector<MappedColumn>& columns) override;
  TableChecksum targetChecksum(const std::string& table, const std::vector<MappedColumn>& columns) override;
  std::unique_ptr<UpsizeTarget> openAnother() override;
  void cancelRunning() override;
  const std::string& schema() const { return schema_; }
  // Whether the server checksums the table itself (its hash functions agree
  // with this program's and every column has one), the rows staying there.
  bool hashesOnServer(const std::vector<MappedColumn>& columns) const;

 protected:
  // With `hashesAgree` known (another connection to the same server), the
  // server's hash functions are not probed again.
  PostgresTarget(const std::string& conninfo, std::string schema, std::optional<bool> hashesAgree);

 private:
  pg_conn* conn_ = nullptr;
  pg_cancel* cancel_ = nullptr;  // made once, so that other threads may use it
  std::string conninfo_;
  std::string schema_;
  std::string version_;
  bool serverHashesAgree_ = false;
};

}  // namespace kevra
