// Building, de-duplicating and sorting DISTINCT output.
#include "engine/sql/distinct_result_set.h"

#include <algorithm>
#include <numeric>

#include "engine/database.h"
#include "engine/sql/expression_evaluator.h"
#include "engine/sql/value_compare.h"

namespace kevra::sql {
namespace {

int compareRows(const std::vector<Value>& a, const std::vector<Value>& b) {
  for (size_t i = 0; i < a.size(); ++i)
    if (int c = compareForSort(a[i], b[i])) return c;
  return 0;
}

}  // namespace

DistinctResultSet::DistinctResultSet(std::unique_ptr<SelectPlan> plan) : plan_(std::move(plan)) {}

void DistinctResultSet::build() {
  if (built_) return;
  struct Entry {
    std::vector<Value> output;
    std::vector<Value> keys;
  };
  std::vector<Entry> entries;
  ExpressionEvaluator evaluator;
  auto cursor = plan_->db->openCursor(plan_->scanTable);
  std::vector<Value> row;
  while (cursor->next(row)) {
    if (plan_->where && !evaluator.isTrue(*plan_->where, row)) continue;
    Entry e;
    for (const auto& o : plan_->outputs) e.output.push_back(evaluator.evaluate(*o, row));
    for (const auto& o : plan_->orderBy) e.keys.push_back(evaluator.evaluate(*o.expr, row));
    entries.push_back(std::move(e));
  }

  // Sort indexes by row value (ties by first appearance) and keep the first of each run.
  std::vector<size_t> order(entries.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return compareRows(entries[a].output, entries[b].output) < 0; });
  std::vector<size_t> kept;
  for (size_t i = 0; i < order.size(); ++i)
    if (i == 0 || compareRows(entries[order[i - 1]].output, entries[order[i]].output) != 0) kept.push_back(order[i]);
  std::sort(kept.begin(), kept.end());
  std::stable_sort(kept.begin(), kept.end(), [&](size_t a, size_t b) {
    for (size_t k = 0; k < plan_->orderBy.size(); ++k) {
      const int c = compareForSort(entries[a].keys[k], entries[b].keys[k]);
      if (c != 0) return plan_->orderBy[k].descending ? c > 0 : c < 0;
    }
    return false;
  });
  rows_.reserve(kept.size());
  for (size_t i : kept) rows_.push_back(std::move(entries[i].output));
  built_ = true;
}

uint64_t DistinctResultSet::rowCount() {
  build();
  return rows_.size();
}

size_t DistinctResultSet::fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) {
  build();
  out.clear();
  for (uint64_t i = position; i < rows_.size() && out.size() < count; ++i) out.push_back(rows_[size_t(i)]);
  return out.size();
}

}  // namespace kevra::sql
