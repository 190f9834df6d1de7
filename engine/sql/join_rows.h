// Joining the rows of several tables: FROM a, b (every pair), INNER JOIN
// (pairs whose ON condition is true), LEFT and RIGHT JOIN (also the rows of
// the outer side that match nothing, with NULLs for the other side). Tables
// are read once each, decoding only the columns the query uses; an equality
// between the two sides in ON is answered from a hash table instead of
// trying every pair, or, when the added table is much larger than the rows
// joined so far and has an index on its side of the equality, by looking up
// each key in that index.
#pragma once
#include <string>
#include <vector>

#include "engine/sql/column_subset.h"
#include "engine/sql/select_plan.h"

namespace kevra::sql {

// Rows of plan.scanSources joined by plan.joins, in the layout the plan's
// expressions are bound to.
std::vector<std::vector<Value>> joinRows(const SelectPlan& plan);

// One line per table: read whole, or looked up through an index per row
// joined so far (INNER and LEFT JOIN, when that reads fewer rows).
std::vector<std::string> explainJoin(const SelectPlan& plan);

}  // namespace kevra::sql
