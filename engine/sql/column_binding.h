// Binding names in an expression to positions in a row: each Column node gets
// the index of the column it names, checked against the table (and its alias).
#pragma once
#include <string>
#include <vector>

#include "engine/sql/ast.h"

namespace kevra::sql {

struct RowSchema {
  std::string table;
  std::string alias;                 // empty when the FROM clause gave none
  std::vector<std::string> columns;  // row order
};

// Index of `name` in the schema (case-insensitive), or -1.
int findColumn(const RowSchema& schema, std::string_view name);

// Sets columnIndex on every Column node under `e`. Throws EngineError naming
// the field when it is not in the table, or the qualifier when it names
// neither the table nor its alias.
void bindColumns(Expr& e, const RowSchema& schema);

}  // namespace kevra::sql
