// ExpressionEvaluator: computes a bound expression (see column_binding.h)
// against one row of values, with Jet's three-valued logic: comparisons with
// NULL are NULL, AND/OR/NOT follow the unknown truth table, and a WHERE
// clause keeps a row only when its condition is true.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "engine/format/value.h"
#include "engine/expr/expression.h"
#include "engine/expr/like_pattern.h"

namespace kevra::expr {

// Truth of a value: NULL is unknown (nullopt), numbers are true unless zero.
// Throws EngineError for values that have no truth (text, binary, ...).
std::optional<bool> truthOf(const Value& v);

class ExpressionEvaluator {
 public:
  Value evaluate(const Expr& e, const std::vector<Value>& row);
  // True only when the condition evaluates to true (not false, not NULL).
  bool isTrue(const Expr& condition, const std::vector<Value>& row);
  // Values of the aggregate calls (Count, Sum, ...) for the group now being
  // evaluated; without them an aggregate call is an error.
  void setAggregateResults(const std::map<const Expr*, Value>* results) { aggregates_ = results; }

 private:
  Value logical(const Expr& e, const std::vector<Value>& row);
  Value like(const Expr& e, const std::vector<Value>& row);
  Value in(const Expr& e, const std::vector<Value>& row);
  Value between(const Expr& e, const std::vector<Value>& row);
  const LikePattern& patternFor(const Expr& patternExpr, const std::string& text);

  // Patterns compiled once per LIKE node whose pattern is a literal.
  std::map<const Expr*, std::unique_ptr<LikePattern>> literalPatterns_;
  const std::map<const Expr*, Value>* aggregates_ = nullptr;
};

}  // namespace kevra::expr
