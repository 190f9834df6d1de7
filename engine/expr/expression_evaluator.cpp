// Expression evaluation over one row.
#include "engine/expr/expression_evaluator.h"

#include "engine/expr/aggregate_functions.h"
#include "engine/expr/builtin_functions.h"
#include "engine/expr/value_arithmetic.h"
#include "engine/expr/value_compare.h"
#include "engine/util/error.h"

namespace kevra::expr {
namespace {

Value fromTruth(std::optional<bool> t) { return t ? Value{*t} : Value{}; }

std::optional<bool> negate(std::optional<bool> t) {
  if (!t) return std::nullopt;
  return !*t;
}

std::optional<bool> comparisonResult(const std::string& op, std::optional<int> c) {
  if (!c) return std::nullopt;
  if (op == "=") return *c == 0;
  if (op == "<>") return *c != 0;
  if (op == "<") return *c < 0;
  if (op == "<=") return *c <= 0;
  if (op == ">") return *c > 0;
  return *c >= 0;
}

bool isComparison(const std::string& op) {
  return op == "=" || op == "<>" || op == "<" || op == "<=" || op == ">" || op == ">=";
}

}  // namespace

std::optional<bool> truthOf(const Value& v) {
  if (isNull(v)) return std::nullopt;
  if (auto* b = std::get_if<bool>(&v)) return *b;
  if (std::holds_alternative<std::string>(v) || std::holds_alternative<Binary>(v) || std::holds_alternative<Guid>(v))
    throw EngineError("Data type mismatch in criteria expression.");
  if (auto* d = std::get_if<DateTime>(&v)) return d->serial != 0;
  return compareValues(v, Value{int32_t(0)}) != 0;
}

bool ExpressionEvaluator::isTrue(const Expr& condition, const std::vector<Value>& row) {
  return truthOf(evaluate(condition, row)).value_or(false);
}

Value ExpressionEvaluator::evaluate(const Expr& e, const std::vector<Value>& row) {
  switch (e.kind) {
    case ExprKind::Literal:
      return e.literal;
    case ExprKind::Column:
      if (e.columnIndex < 0 || size_t(e.columnIndex) >= row.size())
        throw EngineError("The field '" + e.name + "' was used before it was matched to a table column.");
      return row[size_t(e.columnIndex)];
    case ExprKind::Unary: {
      const Value v = evaluate(*e.operands[0], row);
      if (e.op == "NOT") return fromTruth(negate(truthOf(v)));
      return negateValue(v);
    }
    case ExprKind::Binary:
      if (e.op == "AND" || e.op == "OR") return logical(e, row);
      if (isComparison(e.op))
        return fromTruth(
            comparisonResult(e.op, compareValues(evaluate(*e.operands[0], row), evaluate(*e.operands[1], row))));
      return applyBinaryArithmetic(e.op, evaluate(*e.operands[0], row), evaluate(*e.operands[1], row));
    case ExprKind::Like:
      return like(e, row);
    case ExprKind::IsNull: {
      const bool null = isNull(evaluate(*e.operands[0], row));
      return null != e.negated;
    }
    case ExprKind::In:
      return in(e, row);
    case ExprKind::Between:
      return between(e, row);
    case ExprKind::Subquery:
      throw EngineError("The subquery at position " + std::to_string(e.position) + " was not run before its statement.");
    case ExprKind::Function: {
      if (isAggregateName(e.name)) {
        if (aggregates_)
          if (auto found = aggregates_->find(&e); found != aggregates_->end()) return found->second;
        throw EngineError("The aggregate function '" + e.name + "' cannot be used here.");
      }
      std::vector<Value> args;
      args.reserve(e.operands.size());
      for (const auto& operand : e.operands) args.push_back(evaluate(*operand, row));
      return callBuiltinFunction(e.name, args);
    }
  }
  return Value{};
}

Value ExpressionEvaluator::logical(const Expr& e, const std::vector<Value>& row) {
  const bool isAnd = e.op == "AND";
  const std::optional<bool> left = truthOf(evaluate(*e.operands[0], row));
  // Short-circuit only where the answer cannot change: false AND x, true OR x.
  if (left && *left != isAnd) return *left;
  const std::optional<bool> right = truthOf(evaluate(*e.operands[1], row));
  if (right && *right != isAnd) return *right;
  if (!left || !right) return Value{};
  return isAnd;
}

const LikePattern& ExpressionEvaluator::patternFor(const Expr& patternExpr, const std::string& text) {
  auto& slot = literalPatterns_[&patternExpr];
  if (patternExpr.kind != ExprKind::Literal || !slot) slot = std::make_unique<LikePattern>(text);
  return *slot;
}

Value ExpressionEvaluator::like(const Expr& e, const std::vector<Value>& row) {
  const Value subject = evaluate(*e.operands[0], row);
  const Value pattern = evaluate(*e.operands[1], row);
  if (isNull(subject) || isNull(pattern)) return Value{};
  auto* patternText = std::get_if<std::string>(&pattern);
  if (!patternText) throw EngineError("Data type mismatch in criteria expression: LIKE needs a text pattern.");
  // A number or date is matched by its text form.
  auto* subjectText = std::get_if<std::string>(&subject);
  const std::string converted =
      subjectText ? std::string() : std::get<std::string>(applyBinaryArithmetic("&", subject, Value{}));
  const bool matched = patternFor(*e.operands[1], *patternText).matches(subjectText ? *subjectText : converted);
  return matched != e.negated;
}

Value ExpressionEvaluator::in(const Expr& e, const std::vector<Value>& row) {
  const Value subject = evaluate(*e.operands[0], row);
  if (isNull(subject)) return Value{};
  bool sawNull = false;
  for (size_t i = 1; i < e.operands.size(); ++i) {
    const std::optional<int> c = compareValues(subject, evaluate(*e.operands[i], row));
    if (!c)
      sawNull = true;
    else if (*c == 0)
      return !e.negated;
  }
  if (sawNull) return Value{};
  return e.negated;
}

Value ExpressionEvaluator::between(const Expr& e, const std::vector<Value>& row) {
  const Value subject = evaluate(*e.operands[0], row);
  const std::optional<int> low = compareValues(subject, evaluate(*e.operands[1], row));
  const std::optional<int> high = compareValues(subject, evaluate(*e.operands[2], row));
  std::optional<bool> result;
  // x >= low AND x <= high, in three-valued logic.
  const std::optional<bool> aboveLow = low ? std::optional<bool>(*low >= 0) : std::nullopt;
  const std::optional<bool> belowHigh = high ? std::optional<bool>(*high <= 0) : std::nullopt;
  if ((aboveLow && !*aboveLow) || (belowHigh && !*belowHigh))
    result = false;
  else if (aboveLow && belowHigh)
    result = true;
  if (e.negated) result = negate(result);
  return fromTruth(result);
}

}  // namespace kevra::expr
