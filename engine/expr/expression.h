// Syntax tree of one expression of the expression language shared by column
// defaults, validation rules and SQL. Names are kept as written (without
// brackets); nothing here is checked against a database.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/format/value.h"

namespace kevra::expr {

enum class ExprKind {
  Literal,   // literal
  Column,    // qualifier.name; columnIndex filled in by binding
  Unary,     // op on operands[0]: "-", "NOT"
  Binary,    // operands[0] op operands[1]: = <> < <= > >= + - * / \ ^ & MOD AND OR
  Like,      // operands[0] LIKE operands[1]; negated for NOT LIKE
  IsNull,    // operands[0] IS NULL; negated for IS NOT NULL
  In,        // operands[0] IN (operands[1..]); negated for NOT IN
  Between,   // operands[0] BETWEEN operands[1] AND operands[2]; negated for NOT BETWEEN
  Function,  // name(operands...); Count(*) has op "*" and no operands
  Subquery,  // (SELECT ...): one value, or the list of IN (SELECT ...)
};

// A subquery is a statement of the layer above; expressions only carry it.
struct SubqueryStatement;

struct Expr {
  ExprKind kind = ExprKind::Literal;
  size_t position = 0;  // 1-based character offset where the expression starts
  Value literal;
  std::string qualifier;  // Column: table or alias before the dot, if any
  std::string name;       // Column and Function names
  std::string op;         // Unary/Binary operator, upper case for words
  bool negated = false;
  int columnIndex = -1;   // Column: index into the row, once bound
  std::vector<std::unique_ptr<Expr>> operands;
  std::shared_ptr<SubqueryStatement> subquery;  // Subquery
};
using ExprPtr = std::unique_ptr<Expr>;

}  // namespace kevra::expr
