// Accumulator implementation.
#include "engine/expr/aggregate_functions.h"

#include <array>
#include <utility>

#include "engine/expr/numeric_value.h"
#include "engine/expr/text_collation.h"
#include "engine/expr/value_arithmetic.h"
#include "engine/expr/value_compare.h"
#include "engine/util/error.h"

namespace kevra::expr {
namespace {

struct Named {
  const char* name;
  int kind;
};
constexpr std::array<Named, 7> kAggregates = {{{"Count", 0}, {"Sum", 1}, {"Avg", 2}, {"Min", 3}, {"Max", 4},
                                               {"First", 5}, {"Last", 6}}};

int kindOf(std::string_view name) {
  for (const Named& a : kAggregates)
    if (compareTextIgnoringCase(name, a.name) == 0) return a.kind;
  return -1;
}

}  // namespace

bool isAggregateName(std::string_view name) { return kindOf(name) >= 0; }

Accumulator::Accumulator(std::string_view name) {
  const int k = kindOf(name);
  if (k < 0) throw EngineError("'" + std::string(name) + "' is not an aggregate function.");
  kind_ = Kind(k);
}

void Accumulator::add(const Value& v) {
  if (kind_ == Kind::First) {
    if (!seen_) value_ = v;
    seen_ = true;
    return;
  }
  if (kind_ == Kind::Last) {
    value_ = v;
    seen_ = true;
    return;
  }
  if (isNull(v)) return;
  ++count_;
  switch (kind_) {
    case Kind::Count:
      break;
    case Kind::Sum:
    case Kind::Avg:
      if (!numericOf(v) && !std::holds_alternative<DateTime>(v))
        throw EngineError("Data type mismatch: Sum and Avg need numbers.");
      value_ = count_ == 1 ? v : applyBinaryArithmetic("+", value_, v);
      break;
    case Kind::Min:
      if (count_ == 1 || *compareValues(v, value_) < 0) value_ = v;
      break;
    case Kind::Max:
      if (count_ == 1 || *compareValues(v, value_) > 0) value_ = v;
      break;
    default:
      break;
  }
}

Value Accumulator::result() const {
  switch (kind_) {
    case Kind::Count:
      return int32_t(count_);
    case Kind::Avg:
      if (count_ == 0) return Value{};
      // The mean of Currency values is a Currency, rounded half away from zero.
      if (auto* c = std::get_if<Currency>(&value_)) {
        const int64_t n = int64_t(count_);
        int64_t q = c->scaled / n;
        const int64_t r = c->scaled % n;
        if (2 * (r < 0 ? -r : r) >= n) q += c->scaled < 0 ? -1 : 1;
        return Currency{q};
      }
      return applyBinaryArithmetic("/", value_, Value{int32_t(count_)});
    case Kind::Sum: {
      if (count_ == 0) return Value{};
      // Small integer types add up as a Long, as Jet does.
      if (std::holds_alternative<bool>(value_) || std::holds_alternative<uint8_t>(value_) ||
          std::holds_alternative<int16_t>(value_))
        return applyBinaryArithmetic("+", value_, Value{int32_t(0)});
      return value_;
    }
    default:
      return value_;
  }
}

}  // namespace kevra::expr
