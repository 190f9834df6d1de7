// Placing the WHERE and ON terms of a join on its tables and steps.
#include "engine/sql/join_conditions.h"

#include <set>

#include "engine/expr/expression_tools.h"

namespace kevra::sql {
namespace {

void splitAnd(const Expr& e, std::vector<const Expr*>& out) {
  if (e.kind == ExprKind::Binary && e.op == "AND" && e.operands.size() == 2) {
    splitAnd(*e.operands[0], out);
    splitAnd(*e.operands[1], out);
    return;
  }
  out.push_back(&e);
}

void andInto(ExprPtr& target, ExprPtr term) {
  if (!target) {
    target = std::move(term);
    return;
  }
  auto both = std::make_unique<Expr>();
  both->kind = ExprKind::Binary;
  both->op = "AND";
  both->position = target->position;
  both->operands.push_back(std::move(target));
  both->operands.push_back(std::move(term));
  target = std::move(both);
}

void shiftColumns(Expr& e, int by) {
  if (e.kind == ExprKind::Column && e.columnIndex >= 0) e.columnIndex += by;
  for (auto& operand : e.operands) shiftColumns(*operand, by);
}

}  // namespace

JoinConditions placeJoinConditions(const SelectPlan& plan) {
  const size_t tables = plan.scanSources.size();
  std::vector<size_t> first(tables + 1, 0);
  for (size_t t = 0; t < tables; ++t) first[t + 1] = first[t] + plan.scanSources[t].def->columns.size();
  auto tableOf = [&](int column) {
    size_t t = 0;
    while (t + 1 < tables && size_t(column) >= first[t + 1]) ++t;
    return t;
  };
  auto tablesRead = [&](const Expr& e) {
    std::set<int> columns;
    collectColumnIndexes(e, columns);
    std::set<size_t> read;
    for (int c : columns) read.insert(tableOf(c));
    return read;
  };

  // A table the join may show as NULLs: the added side of a LEFT JOIN, and
  // every table before a RIGHT JOIN.
  std::vector<bool> mayBeNull(tables, false);
  for (size_t k = 0; k < plan.joins.size(); ++k) {
    if (plan.joins[k].kind == JoinKind::Left) mayBeNull[k + 1] = true;
    if (plan.joins[k].kind == JoinKind::Right)
      for (size_t t = 0; t <= k; ++t) mayBeNull[t] = true;
  }

  JoinConditions placed;
  placed.tableFilters.resize(tables);
  placed.tablePaths.resize(tables);
  placed.stepConditions.resize(plan.joins.size());
  for (const JoinStep& step : plan.joins) placed.stepKinds.push_back(step.kind);
  auto filterTable = [&](size_t t, const Expr& term) {
    ExprPtr own = cloneExpr(term);
    shiftColumns(*own, -int(first[t]));
    andInto(placed.tableFilters[t], std::move(own));
  };

  for (size_t k = 0; k < plan.joins.size(); ++k) {
    const JoinStep& step = plan.joins[k];
    if (!step.on) continue;
    placed.stepConditions[k] = cloneExpr(*step.on);
    if (step.kind != JoinKind::Inner && step.kind != JoinKind::Left) continue;
    std::vector<const Expr*> terms;
    splitAnd(*step.on, terms);
    for (const Expr* term : terms)
      if (tablesRead(*term) == std::set<size_t>{k + 1}) filterTable(k + 1, *term);
  }
  if (plan.where) {
    std::vector<const Expr*> terms;
    splitAnd(*plan.where, terms);
    for (const Expr* term : terms) {
      const std::set<size_t> read = tablesRead(*term);
      if (read.empty()) continue;
      bool fixed = true;
      for (size_t t : read) fixed = fixed && !mayBeNull[t];
      if (!fixed) continue;
      if (read.size() == 1) {
        filterTable(*read.begin(), *term);
      } else {
        const size_t k = *read.rbegin() - 1;
        andInto(placed.stepConditions[k], cloneExpr(*term));
        if (placed.stepKinds[k] == JoinKind::Cross) placed.stepKinds[k] = JoinKind::Inner;
      }
    }
  }
  for (size_t t = 0; t < tables; ++t)
    if (placed.tableFilters[t])
      placed.tablePaths[t] =
          chooseAccessPath(*plan.sources[t].def, *plan.scanSources[t].def, placed.tableFilters[t].get(), {});
  return placed;
}

std::string describeTableRead(const JoinConditions& conditions, size_t table) {
  const auto& path = conditions.tablePaths[table];
  std::string s = path ? describeAccessPath(*path) : "scan";
  if (conditions.tableFilters[table]) s += ", own conditions first";
  return s;
}

}  // namespace kevra::sql
