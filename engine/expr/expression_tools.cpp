// Expression tree utilities.
#include "engine/expr/expression_tools.h"

#include "engine/expr/text_collation.h"
#include "engine/expr/value_compare.h"

namespace kevra::expr {

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

bool sameExpression(const Expr& a, const Expr& b) {
  if (a.kind != b.kind || a.op != b.op || a.negated != b.negated || a.operands.size() != b.operands.size())
    return false;
  switch (a.kind) {
    case ExprKind::Column:
      return a.columnIndex == b.columnIndex;
    case ExprKind::Literal:
      if (a.literal.index() != b.literal.index()) return false;
      return isNull(a.literal) || compareForSort(a.literal, b.literal) == 0;
    case ExprKind::Function:
      if (compareTextIgnoringCase(a.name, b.name) != 0) return false;
      break;
    case ExprKind::Subquery:
      return false;
    default:
      break;
  }
  for (size_t i = 0; i < a.operands.size(); ++i)
    if (!sameExpression(*a.operands[i], *b.operands[i])) return false;
  return true;
}

ExprPtr makeColumnExpr(const std::string& name, size_t position) {
  auto e = std::make_unique<Expr>();
  e->kind = ExprKind::Column;
  e->name = name;
  e->position = position;
  return e;
}

}  // namespace kevra::expr
