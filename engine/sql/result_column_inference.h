// What a SELECT output column is: its type and size, worked out from the
// expression before any row is read (columns keep their definition).
#pragma once
#include "engine/format/table_def.h"
#include "engine/sql/ast.h"
#include "engine/sql/result_set.h"

namespace kevra::sql {

// `e` must be bound against `table` (see column_binding.h). The name is left empty.
ResultColumn inferResultColumn(const Expr& e, const TableDef& table);

}  // namespace kevra::sql
