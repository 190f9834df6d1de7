// Choice of result set for a planned SELECT.
#include "engine/sql/select_executor.h"

#include "engine/sql/distinct_result_set.h"
#include "engine/sql/row_list_result_set.h"
#include "engine/sql/select_plan.h"
#include "engine/sql/table_scan_result_set.h"

namespace kevra::sql {

std::unique_ptr<ResultSet> executeSelect(std::shared_ptr<Database> db, SelectStatement statement) {
  std::unique_ptr<SelectPlan> plan = planSelect(std::move(db), std::move(statement));
  if (plan->distinct) return std::make_unique<DistinctResultSet>(std::move(plan));
  if (plan->where || !plan->orderBy.empty()) return std::make_unique<RowListResultSet>(std::move(plan));
  return std::make_unique<TableScanResultSet>(std::move(plan));
}

}  // namespace kevra::sql
