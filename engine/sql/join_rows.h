// Joining the rows of several tables: FROM a, b or CROSS JOIN (every pair),
// INNER JOIN (pairs whose ON condition is true), LEFT and RIGHT JOIN (also
// the rows of the outer side that match nothing, with NULLs for the other
// side). Joined rows are streamed: the first table is read once, row by row
// (or the second, when it is larger and every pair of the two is tried: the
// smaller one is then kept), and each further table is either kept in
// memory after its own conditions (read only as far as the rows joined so
// far need it, unless a hash table or a RIGHT JOIN needs it whole) or looked
// up through an index per joined row. Memory holds those kept tables, never
// the product. WHERE terms are placed as join_conditions.h says: on their
// table before joining, or as the join condition of a comma join. An
// equality between the two sides is answered from a hash table instead of
// trying every pair, or, when the added table is much larger than the rows
// joined so far are likely to be and has an index on its side of the
// equality, by looking up each key in that index.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "engine/sql/column_subset.h"
#include "engine/sql/select_plan.h"

namespace kevra::sql {

// Every row of plan.scanSources joined by plan.joins, in the layout the
// plan's expressions are bound to, until `visit` returns false.
void forEachJoinedRow(const SelectPlan& plan, const std::function<bool(const std::vector<Value>&)>& visit);

// One line per table: how it is read (its own conditions, an index) and
// joined (kept in memory and matched by hash or pair by pair, or looked up
// through an index per row joined so far).
std::vector<std::string> explainJoin(const SelectPlan& plan);

}  // namespace kevra::sql
