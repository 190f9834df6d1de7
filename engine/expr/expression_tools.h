// Small utilities over expression trees: deep copies and the set of columns
// an expression reads.
#pragma once
#include <set>

#include "engine/expr/expression.h"

namespace kevra::expr {

ExprPtr cloneExpr(const Expr& e);
// Adds the columnIndex of every bound Column node under `e` to `out`.
void collectColumnIndexes(const Expr& e, std::set<int>& out);
// True when two bound expressions are the same computation (same shape,
// operators, literals and columns; names compared ignoring case).
bool sameExpression(const Expr& a, const Expr& b);
// A Column node naming `name`, unbound.
ExprPtr makeColumnExpr(const std::string& name, size_t position);

}  // namespace kevra::expr
