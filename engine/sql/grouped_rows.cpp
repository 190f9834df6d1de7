// Grouping and aggregation.
#include "engine/sql/grouped_rows.h"

#include <algorithm>
#include <map>

#include "engine/expr/aggregate_functions.h"
#include "engine/expr/expression_evaluator.h"
#include "engine/expr/expression_tools.h"
#include "engine/sql/row_ordering.h"
#include "engine/sql/source_rows.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

void collectAggregates(const Expr& e, std::vector<const Expr*>& out) {
  if (e.kind == ExprKind::Function && isAggregateName(e.name)) {
    out.push_back(&e);
    return;
  }
  for (const auto& operand : e.operands) collectAggregates(*operand, out);
}

std::string describe(const Expr& e) { return e.qualifier.empty() ? e.name : e.qualifier + "." + e.name; }

// Every field read outside an aggregate must be a GROUP BY field, or stand
// inside an expression that GROUP BY lists as a whole (Year(d) for Year(d)).
void checkFieldsAreGrouped(const Expr& e, const std::vector<int>& grouped,
                           const std::vector<ExprPtr>& groupBy) {
  if (e.kind == ExprKind::Function && isAggregateName(e.name)) return;
  for (const auto& g : groupBy)
    if (sameExpression(e, *g)) return;
  if (e.kind == ExprKind::Column) {
    for (int g : grouped)
      if (g == e.columnIndex) return;
    throw EngineError("The query uses field '" + describe(e) +
                      "' outside an aggregate function without listing it in GROUP BY.");
  }
  for (const auto& operand : e.operands) checkFieldsAreGrouped(*operand, grouped, groupBy);
}

struct Group {
  std::vector<Value> firstRow;
  std::vector<Accumulator> accumulators;
};

struct RowsLess {
  bool operator()(const std::vector<Value>& a, const std::vector<Value>& b) const { return compareRows(a, b) < 0; }
};

}  // namespace

bool containsAggregate(const Expr& e) {
  if (e.kind == ExprKind::Function && isAggregateName(e.name)) return true;
  for (const auto& operand : e.operands)
    if (containsAggregate(*operand)) return true;
  return false;
}

void checkGrouping(const SelectPlan& plan) {
  if (plan.where && containsAggregate(*plan.where))
    throw EngineError("An aggregate function cannot stand in the WHERE clause; use HAVING.");
  std::vector<int> grouped;
  for (const auto& g : plan.groupBy) {
    if (containsAggregate(*g)) throw EngineError("An aggregate function cannot stand in the GROUP BY clause.");
    if (g->kind == ExprKind::Column) grouped.push_back(g->columnIndex);
  }
  for (const auto& o : plan.outputs) checkFieldsAreGrouped(*o, grouped, plan.groupBy);
  if (plan.having) checkFieldsAreGrouped(*plan.having, grouped, plan.groupBy);
  for (const auto& o : plan.orderBy) checkFieldsAreGrouped(*o.expr, grouped, plan.groupBy);
}

std::vector<std::vector<Value>> buildGroupedRows(SelectPlan& plan) {
  std::vector<const Expr*> aggregates;
  for (const auto& o : plan.outputs) collectAggregates(*o, aggregates);
  if (plan.having) collectAggregates(*plan.having, aggregates);
  for (const auto& o : plan.orderBy) collectAggregates(*o.expr, aggregates);

  // Groups in GROUP BY value order, which is the order Jet returns them in.
  std::map<std::vector<Value>, Group, RowsLess> groups;
  ExpressionEvaluator evaluator;
  size_t width = 0;
  forEachSourceRow(plan, [&](const std::vector<Value>& row) {
    width = row.size();
    if (plan.where && !evaluator.isTrue(*plan.where, row)) return true;
    std::vector<Value> key;
    for (const auto& g : plan.groupBy) key.push_back(evaluator.evaluate(*g, row));
    auto [it, added] = groups.try_emplace(std::move(key));
    Group& group = it->second;
    if (added) {
      group.firstRow = row;
      for (const Expr* a : aggregates) group.accumulators.emplace_back(a->name);
    }
    for (size_t i = 0; i < aggregates.size(); ++i) {
      const Expr& a = *aggregates[i];
      if (a.op == "*")
        group.accumulators[i].add(Value{true});
      else if (a.operands.size() != 1)
        throw EngineError("The aggregate function '" + a.name + "' takes one argument.");
      else
        group.accumulators[i].add(evaluator.evaluate(*a.operands[0], row));
    }
    return true;
  });
  if (groups.empty() && plan.groupBy.empty()) {
    Group& whole = groups[{}];
    size_t columns = 0;
    if (plan.joined())
      for (const auto& s : plan.scanSources) columns += s.def->columns.size();
    else
      columns = plan.scanTable->columns.size();
    whole.firstRow.assign(std::max(width, columns), Value{});
    for (const Expr* a : aggregates) whole.accumulators.emplace_back(a->name);
  }

  std::vector<std::vector<Value>> outputs, keys;
  std::map<const Expr*, Value> results;
  evaluator.setAggregateResults(&results);
  for (auto& [key, group] : groups) {
    results.clear();
    for (size_t i = 0; i < aggregates.size(); ++i) results[aggregates[i]] = group.accumulators[i].result();
    if (plan.having && !evaluator.isTrue(*plan.having, group.firstRow)) continue;
    std::vector<Value>& output = outputs.emplace_back();
    for (const auto& o : plan.outputs) output.push_back(evaluator.evaluate(*o, group.firstRow));
    std::vector<Value>& sortKey = keys.emplace_back();
    for (const auto& o : plan.orderBy) sortKey.push_back(evaluator.evaluate(*o.expr, group.firstRow));
  }
  return finishRows(outputs, keys, plan.orderBy, plan.distinct);
}

}  // namespace kevra::sql
