// The rows a SELECT reads before filtering: the scanned table's rows, or the
// joined rows of several tables. One table under a WHERE an index can answer
// gives only the rows that index names (a superset of the matches).
#pragma once
#include <functional>
#include <vector>

#include "engine/sql/select_plan.h"

namespace kevra::sql {

void forEachSourceRow(const SelectPlan& plan, const std::function<void(const std::vector<Value>&)>& visit);

}  // namespace kevra::sql
