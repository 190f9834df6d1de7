// In-memory result rows, and the DISTINCT builder.
#include "engine/sql/materialized_result_set.h"

#include "engine/database.h"
#include "engine/sql/expression_evaluator.h"
#include "engine/sql/row_ordering.h"

namespace kevra::sql {

MaterializedResultSet::MaterializedResultSet(std::unique_ptr<SelectPlan> plan, Builder builder)
    : plan_(std::move(plan)), builder_(std::move(builder)) {}

void MaterializedResultSet::build() {
  if (built_) return;
  rows_ = builder_(*plan_);
  built_ = true;
}

uint64_t MaterializedResultSet::rowCount() {
  build();
  return rows_.size();
}

size_t MaterializedResultSet::fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) {
  build();
  out.clear();
  for (uint64_t i = position; i < rows_.size() && out.size() < count; ++i) out.push_back(rows_[size_t(i)]);
  return out.size();
}

std::vector<std::vector<Value>> buildDistinctRows(SelectPlan& plan) {
  std::vector<std::vector<Value>> outputs, keys;
  ExpressionEvaluator evaluator;
  auto cursor = plan.db->openCursor(plan.scanTable);
  std::vector<Value> row;
  while (cursor->next(row)) {
    if (plan.where && !evaluator.isTrue(*plan.where, row)) continue;
    std::vector<Value>& output = outputs.emplace_back();
    for (const auto& o : plan.outputs) output.push_back(evaluator.evaluate(*o, row));
    std::vector<Value>& key = keys.emplace_back();
    for (const auto& o : plan.orderBy) key.push_back(evaluator.evaluate(*o.expr, row));
  }
  std::vector<size_t> kept = distinctRowIndexes(outputs);
  sortByKeys(kept, keys, plan.orderBy);
  std::vector<std::vector<Value>> rows;
  rows.reserve(kept.size());
  for (size_t i : kept) rows.push_back(std::move(outputs[i]));
  return rows;
}

}  // namespace kevra::sql
