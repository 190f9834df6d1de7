// DdlExecutor: carries out CREATE, ALTER and DROP statements on a database
// through a SchemaWriter — type words become columns, constraints become
// indexes and relationships, each statement one transaction.
#pragma once
#include <memory>

#include "engine/sql/schema_editor.h"
#include "engine/table/schema_spec.h"

namespace kevra {

class Database;
class TableWriter;

class DdlExecutor : public SchemaEditor {
 public:
  DdlExecutor(std::shared_ptr<Database> db, TableWriter& writer);
  void createTable(const sql::CreateTableStatement& statement) override;
  void createIndex(const sql::CreateIndexStatement& statement) override;
  void alterTable(const sql::AlterTableStatement& statement) override;
  void dropTable(const sql::DropTableStatement& statement) override;
  void dropIndex(const sql::DropIndexStatement& statement) override;

 private:
  // The relationship or index a constraint makes on `table`.
  void addConstraint(const std::string& table, const sql::ConstraintClause& constraint);

  std::shared_ptr<Database> db_;
  TableWriter& writer_;
};

// The column a column clause of a statement defines.
ColumnSpec columnSpecOf(const sql::ColumnClause& clause);

}  // namespace kevra
