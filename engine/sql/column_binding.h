// Binding names in an expression to positions in a row: each Column node gets
// the index of the column it names, checked against the tables the row is
// made of (by table name or alias).
#pragma once
#include <string>
#include <vector>

#include "engine/sql/ast.h"

namespace kevra::sql {

struct RowSchema {
  // One table: its name, alias and columns.
  std::string table;
  std::string alias;                 // empty when the FROM clause gave none
  std::vector<std::string> columns;  // row order

  // A row joined from several tables: `columns` holds all their columns one
  // table after another, and each part says where a table's columns are.
  struct Part {
    std::string table;
    std::string alias;
    size_t first = 0;
    size_t count = 0;
  };
  std::vector<Part> parts;  // empty for one table

  // The parts, also for a one-table schema.
  std::vector<Part> tables() const;
};

// Index of `name` in the schema (case-insensitive), or -1.
int findColumn(const RowSchema& schema, std::string_view name);

// Sets columnIndex on every Column node under `e`. Throws EngineError naming
// the field when no table has it or when several do (then it needs its table
// in front), or the qualifier when it names no table or alias of the row.
void bindColumns(Expr& e, const RowSchema& schema);

}  // namespace kevra::sql
