// In-memory result rows, and the builders for DISTINCT and joined rows.
#include "engine/sql/materialized_result_set.h"

#include <limits>
#include <set>
#include <unordered_map>

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
// the first of equal rows, and only that one is ever held. DISTINCT under
// TOP n without ORDER BY stops at the nth distinct row.
std::vector<std::vector<Value>> buildRows(const SelectPlan& plan, bool distinct) {
  std::vector<std::vector<Value>> outputs, keys;
  auto less = [&](size_t a, size_t b) { return compareRows(outputs[a], outputs[b]) < 0; };
  std::set<size_t, decltype(less)> seen(less);
  const uint64_t limit = distinct && plan.orderBy.empty() && plan.top && !plan.top->percent
                             ? plan.top->count
                             : std::numeric_limits<uint64_t>::max();
  if (limit == 0) return {};
  ExpressionEvaluator evaluator;
  forEachSourceRow(plan, [&](const std::vector<Value>& row) {
    if (plan.where && !evaluator.isTrue(*plan.where, row)) return true;
    std::vector<Value>& output = outputs.emplace_back();
    for (const auto& o : plan.outputs) output.push_back(evaluator.evaluate(*o, row));
    if (distinct && !seen.insert(outputs.size() - 1).second) {
      outputs.pop_back();
      return true;
    }
    std::vector<Value>& key = keys.emplace_back();
    for (const auto& o : plan.orderBy) key.push_back(evaluator.evaluate(*o.expr, row));
    return outputs.size() < limit;
  });
  return finishRows(outputs, keys, plan.orderBy, false);
}

// SELECT TOP n without DISTINCT: the first n qualifying rows, or with ORDER
// BY the best n, holding no more than n rows at any time.
std::vector<std::vector<Value>> buildFirstRows(const SelectPlan& plan, uint64_t limit) {
  std::vector<std::vector<Value>> rows;
  ExpressionEvaluator evaluator;
  if (limit == 0) return rows;
  if (plan.orderBy.empty()) {
    forEachSourceRow(plan, [&](const std::vector<Value>& row) {
      if (plan.where && !evaluator.isTrue(*plan.where, row)) return true;
      std::vector<Value>& output = rows.emplace_back();
      for (const auto& o : plan.outputs) output.push_back(evaluator.evaluate(*o, row));
      return rows.size() < limit;
    });
    return rows;
  }
  BestRows best(plan.orderBy, size_t(limit));
  std::unordered_map<uint64_t, std::vector<Value>> kept;
  uint64_t id = 0;
  forEachSourceRow(plan, [&](const std::vector<Value>& row) {
    if (plan.where && !evaluator.isTrue(*plan.where, row)) return true;
    std::vector<Value> key;
    for (const auto& o : plan.orderBy) key.push_back(evaluator.evaluate(*o.expr, row));
    const std::optional<uint64_t> dropped = best.offer(id, key);
    if (dropped != id) {
      std::vector<Value>& output = kept[id];
      for (const auto& o : plan.outputs) output.push_back(evaluator.evaluate(*o, row));
    }
    if (dropped) kept.erase(*dropped);
    ++id;
    return true;
  });
  for (uint64_t i : best.takeInOrder()) rows.push_back(std::move(kept.at(i)));
  return rows;
}

}  // namespace

std::vector<std::vector<Value>> buildDistinctRows(SelectPlan& plan) { return buildRows(plan, true); }

std::vector<std::vector<Value>> buildFilteredRows(SelectPlan& plan) {
  if (plan.top && !plan.top->percent) return buildFirstRows(plan, plan.top->count);
  return buildRows(plan, false);
}

}  // namespace kevra::sql
