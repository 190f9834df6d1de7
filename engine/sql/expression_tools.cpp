// Expression tree utilities.
#include "engine/sql/expression_tools.h"

namespace kevra::sql {

ExprPtr cloneExpr(const Expr& e) {
  auto copy = std::make_unique<Expr>();
  copy->kind = e.kind;
  copy->position = e.position;
  copy->literal = e.literal;
  copy->qualifier = e.qualifier;
  copy->name = e.name;
  copy->op = e.op;
  copy->negated = e.negated;
  copy->columnIndex = e.columnIndex;
  copy->subquery = e.subquery;  // shared: a subquery is run once, when the statement is planned
  for (const auto& operand : e.operands) copy->operands.push_back(cloneExpr(*operand));
  return copy;
}

void collectColumnIndexes(const Expr& e, std::set<int>& out) {
  if (e.kind == ExprKind::Column && e.columnIndex >= 0) out.insert(e.columnIndex);
  for (const auto& operand : e.operands) collectColumnIndexes(*operand, out);
}

ExprPtr makeColumnExpr(const std::string& name, size_t position) {
  auto e = std::make_unique<Expr>();
  e->kind = ExprKind::Column;
  e->name = name;
  e->position = position;
  return e;
}

}  // namespace kevra::sql
