// Joining the rows of several tables: FROM a, b (every pair), INNER JOIN
// (pairs whose ON condition is true), LEFT and RIGHT JOIN (also the rows of
// the outer side that match nothing, with NULLs for the other side). Tables
// are read once each, decoding only the columns the query uses; an equality
// between the two sides in ON is answered from a hash table instead of
// trying every pair.
#pragma once
#include <vector>

#include "engine/sql/column_subset.h"
#include "engine/sql/select_plan.h"

namespace kevra::sql {

// Rows of plan.scanSources joined by plan.joins, in the layout the plan's
// expressions are bound to.
std::vector<std::vector<Value>> joinRows(const SelectPlan& plan);

}  // namespace kevra::sql
