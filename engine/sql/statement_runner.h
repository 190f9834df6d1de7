// The entry point for SQL text: parses one statement and runs it against a
// database. SELECT gives a lazily read ResultSet; INSERT, UPDATE and DELETE
// report how many rows they changed.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/result_set.h"

namespace kevra {

class Database;
class RowWriter;
class SchemaEditor;
class TableCopier;

// The parts of the engine that carry out statements which change things.
// A statement whose service is missing throws UnsupportedError.
struct StatementServices {
  RowWriter* rows = nullptr;       // INSERT, UPDATE, DELETE
  SchemaEditor* schema = nullptr;  // CREATE, ALTER, DROP
  TableCopier* copier = nullptr;   // SELECT ... INTO
};

struct StatementResult {
  std::unique_ptr<ResultSet> rows;  // SELECT only
  long rowsAffected = 0;            // INSERT, UPDATE, DELETE
};

// Runs `sql` on `db`. Throws kevra::EngineError for syntax errors (naming the
// position), unknown tables and fields, and type mismatches. Statements that
// change rows or structure throw kevra::UnsupportedError here, since no
// service is given to carry them out.
StatementResult runStatement(const std::shared_ptr<Database>& db, std::string_view sql);

// As above, with `writer` storing the rows INSERT, UPDATE and DELETE change.
// Without a writer (null) those statements throw UnsupportedError.
StatementResult runStatement(const std::shared_ptr<Database>& db, std::string_view sql, RowWriter* writer);

// As above, with every service that is available.
StatementResult runStatement(const std::shared_ptr<Database>& db, std::string_view sql,
                             const StatementServices& services);

// How `sql` would read its tables, one line per table or step, without
// running it: which index a SELECT, UPDATE or DELETE seeks, whether ORDER BY
// sorts, whether COUNT(*) reads the stored count, and for INSERT, UPDATE and
// DELETE how each relationship check finds the related rows.
std::vector<std::string> explainStatement(const std::shared_ptr<Database>& db, std::string_view sql);

}  // namespace kevra
