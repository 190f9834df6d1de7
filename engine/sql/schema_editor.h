// SchemaEditor: what CREATE, ALTER and DROP statements need from the part of
// the engine that changes table definitions. The statement runner parses and
// hands over the statement; an editor checks it against the catalog and
// carries it out as one transaction, throwing EngineError when it cannot.
// (sql_type_words.h turns a ColumnClause's type word into a column type.)
#pragma once
#include "engine/sql/ast.h"

namespace kevra {

class SchemaEditor {
 public:
  virtual ~SchemaEditor() = default;
  virtual void createTable(const sql::CreateTableStatement& statement) = 0;
  virtual void createIndex(const sql::CreateIndexStatement& statement) = 0;
  virtual void alterTable(const sql::AlterTableStatement& statement) = 0;
  virtual void dropTable(const sql::DropTableStatement& statement) = 0;
  virtual void dropIndex(const sql::DropIndexStatement& statement) = 0;
};

}  // namespace kevra
