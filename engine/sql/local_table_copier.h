// LocalTableCopier: SELECT ... INTO a new table of the same database. The
// table is made from the query's columns (names, types, sizes; autonumbers
// become plain Long), then every row is copied, all in one transaction.
#pragma once
#include <memory>

#include "engine/sql/table_copier.h"

namespace kevra {

class Database;
class TableWriter;

class LocalTableCopier : public TableCopier {
 public:
  LocalTableCopier(std::shared_ptr<Database> db, TableWriter& writer);
  long copy(const sql::SelectInto& target, ResultSet& rows) override;

 private:
  std::shared_ptr<Database> db_;
  TableWriter& writer_;
};

}  // namespace kevra
