// Dispatch of a parsed statement to its executor.
#include "engine/sql/statement_runner.h"

#include "engine/table/database.h"
#include "engine/sql/modify_executor.h"
#include "engine/sql/parser.h"
#include "engine/sql/schema_editor.h"
#include "engine/sql/select_executor.h"
#include "engine/sql/table_copier.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

using namespace kevra::sql;

RowWriter& requireWriter(RowWriter* writer) {
  if (!writer) throw UnsupportedError("Changing rows is not supported yet.");
  return *writer;
}

SchemaEditor& requireEditor(SchemaEditor* editor, const std::string& what) {
  if (!editor)
    throw UnsupportedError("Changing the structure of the database (" + what + ") is not supported yet.");
  return *editor;
}

long selectInto(const std::shared_ptr<Database>& db, SelectStatement statement, TableCopier* copier) {
  if (!copier)
    throw UnsupportedError("Making table '" + statement.into->table +
                           "' from a query (SELECT ... INTO) is not supported yet.");
  const std::unique_ptr<SelectInto> target = std::make_unique<SelectInto>(std::move(*statement.into));
  statement.into.reset();
  std::unique_ptr<ResultSet> rows = executeSelect(db, std::move(statement));
  return copier->copy(*target, *rows);
}

}  // namespace

StatementResult runStatement(const std::shared_ptr<Database>& db, std::string_view sql) {
  return runStatement(db, sql, StatementServices{});
}

StatementResult runStatement(const std::shared_ptr<Database>& db, std::string_view sql, RowWriter* writer) {
  StatementServices services;
  services.rows = writer;
  return runStatement(db, sql, services);
}

StatementResult runStatement(const std::shared_ptr<Database>& db, std::string_view sql,
                             const StatementServices& services) {
  if (!db) throw EngineError("No database is open to run the SQL statement on.");
  Statement statement = parseStatement(sql);
  StatementResult result;
  if (auto* s = std::get_if<SelectStatement>(&statement)) {
    if (s->into)
      result.rowsAffected = selectInto(db, std::move(*s), services.copier);
    else
      result.rows = executeSelect(db, std::move(*s));
  } else if (auto* s = std::get_if<InsertStatement>(&statement)) {
    result.rowsAffected = executeInsert(db, *s, requireWriter(services.rows));
  } else if (auto* s = std::get_if<UpdateStatement>(&statement)) {
    result.rowsAffected = executeUpdate(db, *s, requireWriter(services.rows));
  } else if (auto* s = std::get_if<DeleteStatement>(&statement)) {
    result.rowsAffected = executeDelete(db, *s, requireWriter(services.rows));
  } else if (auto* s = std::get_if<CreateIndexStatement>(&statement)) {
    requireEditor(services.schema, "CREATE INDEX " + s->index).createIndex(*s);
  } else if (auto* s = std::get_if<CreateTableStatement>(&statement)) {
    requireEditor(services.schema, "CREATE TABLE " + s->table.name).createTable(*s);
  } else if (auto* s = std::get_if<AlterTableStatement>(&statement)) {
    requireEditor(services.schema, "ALTER TABLE " + s->table.name).alterTable(*s);
  } else if (auto* s = std::get_if<DropTableStatement>(&statement)) {
    requireEditor(services.schema, "DROP TABLE " + s->table.name).dropTable(*s);
  } else if (auto* s = std::get_if<DropIndexStatement>(&statement)) {
    requireEditor(services.schema, "DROP INDEX " + s->index).dropIndex(*s);
  }
  return result;
}

std::vector<std::string> explainStatement(const std::shared_ptr<Database>& db, std::string_view sql) {
  if (!db) throw EngineError("No database is open to explain the SQL statement on.");
  Statement statement = parseStatement(sql);
  if (auto* s = std::get_if<SelectStatement>(&statement)) {
    s->into.reset();
    return explainSelect(db, std::move(*s));
  }
  if (auto* s = std::get_if<UpdateStatement>(&statement)) return explainModify(db, s->table.name, &s->where, true);
  if (auto* s = std::get_if<DeleteStatement>(&statement)) return explainModify(db, s->table.name, &s->where, false);
  if (auto* s = std::get_if<InsertStatement>(&statement)) return explainModify(db, s->table.name, nullptr, false);
  return {"structure change"};
}

}  // namespace kevra
