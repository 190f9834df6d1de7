// In-memory result rows, and the builders for DISTINCT and joined rows.
#include "engine/sql/materialized_result_set.h"

#include "engine/expr/expression_evaluator.h"
#include "engine/sql/row_ordering.h"
#include "engine/sql/source_rows.h"

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

namespace {

// Qualifying output rows with their ORDER BY keys, sorted; DISTINCT keeps
// the first of equal rows.
std::vector<std::vector<Value>> buildRows(const SelectPlan& plan, bool distinct) {
  std::vector<std::vector<Value>> outputs, keys;
  ExpressionEvaluator evaluator;
  forEachSourceRow(plan, [&](const std::vector<Value>& row) {
    if (plan.where && !evaluator.isTrue(*plan.where, row)) return;
    std::vector<Value>& output = outputs.emplace_back();
    for (const auto& o : plan.outputs) output.push_back(evaluator.evaluate(*o, row));
    std::vector<Value>& key = keys.emplace_back();
    for (const auto& o : plan.orderBy) key.push_back(evaluator.evaluate(*o.expr, row));
  });
  return finishRows(outputs, keys, plan.orderBy, distinct);
}

}  // namespace

std::vector<std::vector<Value>> buildDistinctRows(SelectPlan& plan) { return buildRows(plan, true); }

std::vector<std::vector<Value>> buildFilteredRows(SelectPlan& plan) { return buildRows(plan, false); }

}  // namespace kevra::sql
