// Narrowing a table to the columns a query reads, so a scan decodes (and
// follows long values for) nothing else.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "engine/catalog/table_def.h"
#include "engine/sql/ast.h"

namespace kevra::sql {

// A copy of `table` keeping only the columns at `indexes` (in table order).
std::shared_ptr<const TableDef> tableWithColumns(const TableDef& table, const std::vector<int>& indexes);

// Binds `exprs` against the whole table (so unknown fields are reported), then
// returns the table narrowed to the columns they read, with `exprs` bound
// again against that narrower table.
std::shared_ptr<const TableDef> bindToNeededColumns(const TableDef& table, const std::string& alias,
                                                    const std::vector<Expr*>& exprs);

}  // namespace kevra::sql
