// Running INSERT (VALUES or SELECT), UPDATE and DELETE: find the rows,
// compute and convert the new values, and hand them to a RowWriter inside one
// transaction. Rows to change are collected before the first write so the
// scan never sees its own changes.
#pragma once
#include <memory>

#include "engine/sql/ast.h"
#include "engine/table/row_writer.h"

namespace kevra {
class Database;
}

namespace kevra::sql {

// Each returns the number of rows changed.
long executeInsert(const std::shared_ptr<Database>& db, InsertStatement& statement, RowWriter& writer);
long executeUpdate(const std::shared_ptr<Database>& db, UpdateStatement& statement, RowWriter& writer);
long executeDelete(const std::shared_ptr<Database>& db, DeleteStatement& statement, RowWriter& writer);

}  // namespace kevra::sql
