// Dispatch of a parsed statement to its executor.
#include "engine/sql/statement_runner.h"

#include "engine/database.h"
#include "engine/sql/modify_executor.h"
#include "engine/sql/parser.h"
#include "engine/sql/select_executor.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

using namespace kevra::sql;

RowWriter& requireWriter(RowWriter* writer) {
  if (!writer) throw UnsupportedError("Changing rows is not supported yet.");
  return *writer;
}

[[noreturn]] void structureChange(const std::string& what) {
  throw UnsupportedError("Changing the structure of the database (" + what + ") is not supported yet.");
}

}  // namespace

StatementResult runStatement(const std::shared_ptr<Database>& db, std::string_view sql) {
  return runStatement(db, sql, nullptr);
}

StatementResult runStatement(const std::shared_ptr<Database>& db, std::string_view sql, RowWriter* writer) {
  if (!db) throw EngineError("No database is open to run the SQL statement on.");
  Statement statement = parseStatement(sql);
  StatementResult result;
  if (auto* s = std::get_if<SelectStatement>(&statement)) {
    result.rows = executeSelect(db, std::move(*s));
  } else if (auto* s = std::get_if<InsertStatement>(&statement)) {
    result.rowsAffected = executeInsert(db, *s, requireWriter(writer));
  } else if (auto* s = std::get_if<UpdateStatement>(&statement)) {
    result.rowsAffected = executeUpdate(db, *s, requireWriter(writer));
  } else if (auto* s = std::get_if<DeleteStatement>(&statement)) {
    result.rowsAffected = executeDelete(db, *s, requireWriter(writer));
  } else if (auto* s = std::get_if<CreateIndexStatement>(&statement)) {
    structureChange("CREATE INDEX " + s->index);
  } else if (auto* s = std::get_if<CreateTableStatement>(&statement)) {
    structureChange("CREATE TABLE " + s->table.name);
  } else if (auto* s = std::get_if<AlterTableStatement>(&statement)) {
    structureChange("ALTER TABLE " + s->table.name);
  } else if (auto* s = std::get_if<DropTableStatement>(&statement)) {
    structureChange("DROP TABLE " + s->table.name);
  } else if (auto* s = std::get_if<DropIndexStatement>(&statement)) {
    structureChange("DROP INDEX " + s->index);
  }
  return result;
}

}  // namespace kevra
