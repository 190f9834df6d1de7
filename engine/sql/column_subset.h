// Narrowing tables to the columns a query reads, so a scan decodes (and
// follows long values for) nothing else.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/sql/ast.h"
#include "engine/sql/column_binding.h"

namespace kevra::sql {

// A table of the FROM clause as the query sees it.
struct SourceTable {
  std::shared_ptr<const TableDef> def;
  std::string alias;
};

// The row layout of `sources` joined in order (a plain one-table schema for one).
RowSchema schemaOf(const std::vector<SourceTable>& sources);

// A copy of `table` keeping only the columns at `indexes` (in table order).
std::shared_ptr<const TableDef> tableWithColumns(const TableDef& table, const std::vector<int>& indexes);

// Binds `exprs` against all columns of `sources` (so unknown fields are
// reported), then returns the sources narrowed to the columns the
// expressions read, with `exprs` bound again against the narrower row.
std::vector<SourceTable> bindToNeededColumns(const std::vector<SourceTable>& sources, const std::vector<Expr*>& exprs);

// The same for one table.
std::shared_ptr<const TableDef> bindToNeededColumns(const TableDef& table, const std::string& alias,
                                                    const std::vector<Expr*>& exprs);

}  // namespace kevra::sql
