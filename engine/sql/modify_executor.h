// Running INSERT (VALUES or SELECT), UPDATE and DELETE: find the rows,
// compute and convert the new values, and hand them to a RowWriter inside one
// transaction. Rows to change are collected before the first write so the
// scan never sees its own changes (INSERT ... SELECT from another table
// streams instead, see selected_rows_inserter.h). UPDATE and DELETE find their rows through
// an index when the WHERE allows (see AccessPath), decoding only the columns
// the WHERE and the new values read.
#pragma once
#include <memory>
#include <string>
#include <vector>

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

// How UPDATE (`updating`) or DELETE on `table` under `*where` finds its rows
// ("table 'T': index 'PrimaryKey' (id =)" or "table 'T': scan"), or INSERT
// (null `where`), then how each relationship check finds related rows.
std::vector<std::string> explainModify(const std::shared_ptr<Database>& db, const std::string& table, ExprPtr* where,
                                       bool updating);

}  // namespace kevra::sql
