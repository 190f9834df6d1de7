// Choice of result set for a planned SELECT.
#include "engine/sql/select_executor.h"

#include "engine/sql/access_path.h"
#include "engine/sql/grouped_rows.h"
#include "engine/sql/index_result_set.h"
#include "engine/sql/join_rows.h"
#include "engine/sql/limited_result_set.h"
#include "engine/sql/materialized_result_set.h"
#include "engine/sql/row_list_result_set.h"
#include "engine/sql/select_plan.h"
#include "engine/sql/table_scan_result_set.h"
#include "engine/sql/union_query.h"
#include "engine/table/database.h"
#include "engine/table/row_reader.h"
#include "engine/util/utf.h"

namespace kevra::sql {
namespace {

enum class Strategy { StoredCount, Grouped, Distinct, Joined, Indexed, RowList, Scan };

// SELECT COUNT(*) FROM t: one table, no WHERE, no grouping: the count the
// table definition keeps.
bool isStoredCount(const SelectPlan& plan) {
  if (!plan.grouped || plan.joined() || plan.where || plan.having || !plan.groupBy.empty() ||
      plan.outputs.size() != 1)
    return false;
  const Expr& e = *plan.outputs[0];
  return e.kind == ExprKind::Function && e.op == "*" && e.operands.empty() && namesEqualCaseInsensitive(e.name, "Count");
}

Strategy chooseStrategy(const SelectPlan& plan, std::optional<AccessPath>& path) {
  if (isStoredCount(plan)) return Strategy::StoredCount;
  if (plan.grouped) return Strategy::Grouped;
  if (plan.distinct) return Strategy::Distinct;
  if (plan.joined()) return Strategy::Joined;
  if (!plan.where && plan.orderBy.empty()) return Strategy::Scan;
  path = chooseAccessPath(*plan.table, *plan.scanTable, plan.where.get(), plan.orderBy);
  return path ? Strategy::Indexed : Strategy::RowList;
}

}  // namespace

std::unique_ptr<ResultSet> executeSelect(std::shared_ptr<Database> db, SelectStatement statement) {
  if (!statement.unions.empty()) return executeUnion(std::move(db), std::move(statement));
  std::unique_ptr<SelectPlan> plan = planSelect(std::move(db), std::move(statement));
  const std::optional<TopClause> top = plan->top;
  std::optional<AccessPath> path;
  std::unique_ptr<ResultSet> rows;
  switch (chooseStrategy(*plan, path)) {
    case Strategy::StoredCount:
      rows = std::make_unique<MaterializedResultSet>(std::move(plan), [](SelectPlan& p) {
        return std::vector<std::vector<Value>>{{Value{int32_t(storedRowCount(p.db->pages(), *p.table))}}};
      });
      break;
    case Strategy::Grouped: rows = std::make_unique<MaterializedResultSet>(std::move(plan), buildGroupedRows); break;
    case Strategy::Distinct: rows = std::make_unique<MaterializedResultSet>(std::move(plan), buildDistinctRows); break;
    case Strategy::Joined: rows = std::make_unique<MaterializedResultSet>(std::move(plan), buildFilteredRows); break;
    case Strategy::Indexed: rows = std::make_unique<IndexResultSet>(std::move(plan), std::move(*path)); break;
    case Strategy::RowList: rows = std::make_unique<RowListResultSet>(std::move(plan)); break;
    case Strategy::Scan: rows = std::make_unique<TableScanResultSet>(std::move(plan)); break;
  }
  if (top) rows = std::make_unique<LimitedResultSet>(std::move(rows), *top);
  return rows;
}

std::vector<std::string> explainSelect(std::shared_ptr<Database> db, SelectStatement statement) {
  if (!statement.unions.empty()) return {"union: every part run, rows built in memory"};
  std::unique_ptr<SelectPlan> plan = planSelect(std::move(db), std::move(statement));
  std::optional<AccessPath> path;
  const std::string table = "table '" + plan->table->name + "': ";
  std::vector<std::string> lines;
  const bool bounded = plan->top && !plan->top->percent && plan->top->count <= (1u << 20);
  switch (chooseStrategy(*plan, path)) {
    case Strategy::StoredCount: return {table + "stored row count"};
    case Strategy::Grouped:
    case Strategy::Distinct: {
      if (plan->joined()) {
        // A join has no one table to seek; its steps say how each is read.
        lines = explainJoin(*plan);
        lines.push_back(plan->grouped ? "rows grouped in memory" : "distinct rows kept in memory");
        break;
      }
      path = plan->where ? chooseAccessPath(*plan->table, *plan->scanTable, plan->where.get(), {}) : std::nullopt;
      lines.push_back(table + (path ? describeAccessPath(*path) : std::string("scan")) +
                      (plan->grouped ? ", grouped in memory" : ", distinct rows in memory"));
      break;
    }
    case Strategy::Joined:
      lines = explainJoin(*plan);
      if (!plan->orderBy.empty())
        lines.push_back(bounded ? "order: sort, best " + std::to_string(plan->top->count) + " kept" : "order: sort");
      else if (plan->top && !plan->top->percent)
        lines.push_back("join: rows streamed, stops after " + std::to_string(plan->top->count));
      break;
    case Strategy::Indexed:
      lines.push_back(table + describeAccessPath(*path));
      if (!plan->orderBy.empty() && !path->givesOrder)
        lines.push_back(bounded ? "order: sort, best " + std::to_string(plan->top->count) + " kept" : "order: sort");
      break;
    case Strategy::RowList:
      lines.push_back(table + "scan");
      if (!plan->orderBy.empty())
        lines.push_back(bounded ? "order: sort, best " + std::to_string(plan->top->count) + " kept" : "order: sort");
      break;
    case Strategy::Scan: lines.push_back(table + "scan"); break;
  }
  return lines;
}

}  // namespace kevra::sql
