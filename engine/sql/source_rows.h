// The rows a SELECT reads before filtering: the scanned table's rows, or the
// joined rows of several tables. One table under a WHERE an index can answer
// gives only the rows that index names (a superset of the matches); joined
// rows leave out what the WHERE terms placed on a table or join step reject.
// `visit` returns false when it wants no more rows.
#pragma once
#include <functional>
#include <vector>

#include "engine/sql/select_plan.h"

namespace kevra::sql {

void forEachSourceRow(const SelectPlan& plan, const std::function<bool(const std::vector<Value>&)>& visit);

}  // namespace kevra::sql
