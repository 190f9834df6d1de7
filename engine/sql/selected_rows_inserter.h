// INSERT ... SELECT: the rows of a query added to a table in one transaction.
// When the query does not read the table, its rows are moved over a block at
// a time, so memory stays flat however many rows are copied. When it does
// (INSERT INTO t SELECT ... FROM t), every row is read before the first
// insert, so the query never sees the rows it adds.
#pragma once
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/sql/ast.h"
#include "engine/table/row_writer.h"

namespace kevra {
class Database;
}

namespace kevra::sql {

// What one run held: the most rows of the query kept in memory at once.
struct InsertSelectedStats {
  size_t mostRowsHeld = 0;
};

// Inserts the rows of `select` into `table`, field i of the query going to
// column targets[i]; returns how many rows were added. Throws EngineError
// before writing anything when the query's field count differs.
long insertSelectedRows(const std::shared_ptr<Database>& db, const TableDef& table, const std::vector<int>& targets,
                        SelectStatement select, RowWriter& writer, InsertSelectedStats* stats = nullptr);

// Whether `select` reads table `name` in its FROM, joins or unions
// (subqueries are run before the statement and do not count).
bool selectReadsTable(const SelectStatement& select, std::string_view name);

}  // namespace kevra::sql
