// Choice of result set for a planned SELECT.
#include "engine/sql/select_executor.h"

#include "engine/sql/grouped_rows.h"
#include "engine/sql/limited_result_set.h"
#include "engine/sql/materialized_result_set.h"
#include "engine/sql/row_list_result_set.h"
#include "engine/sql/select_plan.h"
#include "engine/sql/table_scan_result_set.h"
#include "engine/sql/union_query.h"

namespace kevra::sql {

std::unique_ptr<ResultSet> executeSelect(std::shared_ptr<Database> db, SelectStatement statement) {
  if (!statement.unions.empty()) return executeUnion(std::move(db), std::move(statement));
  std::unique_ptr<SelectPlan> plan = planSelect(std::move(db), std::move(statement));
  const std::optional<TopClause> top = plan->top;
  std::unique_ptr<ResultSet> rows;
  if (plan->grouped)
    rows = std::make_unique<MaterializedResultSet>(std::move(plan), buildGroupedRows);
  else if (plan->distinct)
    rows = std::make_unique<MaterializedResultSet>(std::move(plan), buildDistinctRows);
  else if (plan->joined())
    rows = std::make_unique<MaterializedResultSet>(std::move(plan), buildFilteredRows);
  else if (plan->where || !plan->orderBy.empty())
    rows = std::make_unique<RowListResultSet>(std::move(plan));
  else
    rows = std::make_unique<TableScanResultSet>(std::move(plan));
  if (top) rows = std::make_unique<LimitedResultSet>(std::move(rows), *top);
  return rows;
}

}  // namespace kevra::sql
