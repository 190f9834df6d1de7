// Grouped SELECT (GROUP BY and/or aggregate functions): rows are put in
// groups by the GROUP BY values, each aggregate call is accumulated per
// group, HAVING filters the groups, and each group yields one output row.
// Without GROUP BY the whole table is one group (so Count(*) of an empty
// table is one row holding 0).
#pragma once
#include <vector>

#include "engine/sql/ast.h"
#include "engine/sql/select_plan.h"

namespace kevra::sql {

bool containsAggregate(const Expr& e);

// Throws EngineError when WHERE or GROUP BY holds an aggregate, or when an
// output, HAVING or ORDER BY expression uses a field outside an aggregate
// that GROUP BY does not list. Expressions must be bound.
void checkGrouping(const SelectPlan& plan);

std::vector<std::vector<Value>> buildGroupedRows(SelectPlan& plan);

}  // namespace kevra::sql
