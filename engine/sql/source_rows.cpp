// Source rows of a planned SELECT.
#include "engine/sql/source_rows.h"

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/sql/join_rows.h"

namespace kevra::sql {

void forEachSourceRow(const SelectPlan& plan, const std::function<void(const std::vector<Value>&)>& visit) {
  if (plan.joined()) {
    for (const auto& row : joinRows(plan)) visit(row);
    return;
  }
  auto cursor = plan.db->openCursor(plan.scanTable);
  std::vector<Value> row;
  while (cursor->next(row)) visit(row);
}

}  // namespace kevra::sql
