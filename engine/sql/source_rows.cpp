// Source rows of a planned SELECT.
#include "engine/sql/source_rows.h"

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/sql/access_path.h"
#include "engine/sql/index_range_walk.h"
#include "engine/sql/join_rows.h"
#include "engine/table/row_reader.h"

namespace kevra::sql {

void forEachSourceRow(const SelectPlan& plan, const std::function<bool(const std::vector<Value>&)>& visit) {
  if (plan.joined()) {
    forEachJoinedRow(plan, visit);
    return;
  }
  std::vector<Value> row;
  // Rows the WHERE cannot match are left out when an index says which can;
  // the caller still evaluates the WHERE on every row visited.
  if (plan.where) {
    if (auto path = chooseAccessPath(*plan.table, *plan.scanTable, plan.where.get(), {})) {
      RowReader reader(plan.db->pages(), plan.scanTable);
      for (uint32_t location : IndexRangeWalk(plan.db->pages(), *plan.table, std::move(*path)).remainingInStorageOrder())
        if (reader.read(location, row) && !visit(row)) return;
      return;
    }
  }
  auto cursor = plan.db->openCursor(plan.scanTable);
  while (cursor->next(row))
    if (!visit(row)) return;
}

}  // namespace kevra::sql
