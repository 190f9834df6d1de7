// Implementation of the arithmetic operators.
#include "engine/expr/value_arithmetic.h"

#include <cmath>
#include <limits>

#include "engine/format/value_text.h"
#include "engine/expr/numeric_value.h"
#include "engine/util/error.h"

namespace kevra::expr {
namespace {

// Result classes in widening order.
enum class NumClass { Integer, Currency, Decimal, Double };

NumClass classOf(const Value& v) {
  if (std::holds_alternative<Currency>(v)) return NumClass::Currency;
  if (std::holds_alternative<Decimal>(v)) return NumClass::Decimal;
  if (std::holds_alternative<float>(v) || std::holds_alternative<double>(v)) return NumClass::Double;
  return NumClass::Integer;
}

[[noreturn]] void mismatch() { throw EngineError("Data type mismatch in criteria expression."); }
[[noreturn]] void overflow() { throw EngineError("Overflow."); }

__int128 pow10(int n) {
  __int128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// Rescales a scaled integer, rounding half away from zero when dropping digits.
__int128 rescale(__int128 v, int from, int to) {
  if (to >= from) return v * pow10(to - from);
  const __int128 d = pow10(from - to);
  __int128 q = v / d, r = v % d;
  if (2 * (r < 0 ? -r : r) >= d) q += v < 0 ? -1 : 1;
  return q;
}

// Operand as a number (text that reads as a number is accepted); NumClass is
// the class it contributes to the result.
NumericValue operand(const Value& v, NumClass& cls) {
  if (auto* s = std::get_if<std::string>(&v)) {
    auto n = numericFromText(*s);
    if (!n) mismatch();
    // Text that reads as a whole number counts as one; any other as a Double.
    const __int128 limit = std::numeric_limits<int64_t>::max();
    if (n->exact && n->scale == 0 && n->scaled <= limit && n->scaled >= -limit) {
      cls = NumClass::Integer;
      return *n;
    }
    cls = NumClass::Double;
    return NumericValue::fromDouble(n->approx);
  }
  auto n = numericOf(v);
  if (!n) mismatch();
  cls = classOf(v);
  return *n;
}

Value exactResult(__int128 scaled, int scale, NumClass cls) {
  switch (cls) {
    case NumClass::Integer:
      if (scaled >= std::numeric_limits<int32_t>::min() && scaled <= std::numeric_limits<int32_t>::max())
        return int32_t(scaled);
      return double(scaled);
    case NumClass::Currency: {
      const __int128 c = rescale(scaled, scale, 4);
      if (c < std::numeric_limits<int64_t>::min() || c > std::numeric_limits<int64_t>::max()) overflow();
      return Currency{int64_t(c)};
    }
    case NumClass::Decimal: {
      if (scale > 28) scaled = rescale(scaled, scale, 28), scale = 28;
      // At most 28 digits: give up fraction digits (rounding) before overflowing.
      const __int128 limit = pow10(28);
      while ((scaled >= limit || scaled <= -limit) && scale > 0) scaled = rescale(scaled, scale, scale - 1), --scale;
      if (scaled >= limit || scaled <= -limit) overflow();
      Decimal d;
      d.negative = scaled < 0;
      d.magnitude = static_cast<unsigned __int128>(scaled < 0 ? -scaled : scaled);
      d.precision = 28;
      d.scale = uint8_t(scale);
      return d;
    }
    case NumClass::Double:
      break;
  }
  return double(static_cast<long double>(scaled) / static_cast<long double>(pow10(scale)));
}

int64_t roundToInteger(const NumericValue& n) {
  const double r = std::nearbyint(n.approx);  // banker's rounding, as Jet's \ and Mod do
  // 2^63 itself does not fit; -2^63 does.
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) overflow();
  return int64_t(r);
}

// a / b as a Decimal: long division to one digit past the 28 a Decimal
// holds, which exactResult() then rounds away.
Value decimalQuotient(const NumericValue& a, const NumericValue& b) {
  using U = unsigned __int128;
  const U x = U(a.scaled < 0 ? -a.scaled : a.scaled), y = U(b.scaled < 0 ? -b.scaled : b.scaled);
  U q = x / y, r = x % y;
  int scale = a.scale - b.scale;
  const U digitLimit = U(pow10(29));
  while (r != 0 && q < digitLimit && scale < 30) {
    q = q * 10 + (r * 10) / y;
    r = (r * 10) % y;
    ++scale;
  }
  __int128 v = __int128(q);
  if (scale < 0) {
    if (v > std::numeric_limits<__int128>::max() / pow10(-scale)) overflow();
    v *= pow10(-scale);
    scale = 0;
  }
  return exactResult((a.scaled < 0) != (b.scaled < 0) ? -v : v, scale, NumClass::Decimal);
}

Value numericUnchecked(std::string_view op, const Value& a, const Value& b);

// Arithmetic whose Double result must stay finite: 1E300 * 1E300 overflows.
Value numeric(std::string_view op, const Value& a, const Value& b) {
  Value r = numericUnchecked(op, a, b);
  if (auto* d = std::get_if<double>(&r); d && !std::isfinite(*d)) overflow();
  return r;
}

Value numericUnchecked(std::string_view op, const Value& a, const Value& b) {
  NumClass ca, cb;
  const NumericValue na = operand(a, ca), nb = operand(b, cb);
  const NumClass cls = std::max(ca, cb);

  if (op == "/") {
    if (nb.approx == 0) throw EngineError("Division by zero.");
    if (cls == NumClass::Decimal && na.exact && nb.exact) return decimalQuotient(na, nb);
    return na.approx / nb.approx;
  }
  if (op == "^") return std::pow(na.approx, nb.approx);
  if (op == "\\" || op == "MOD") {
    const int64_t x = roundToInteger(na), y = roundToInteger(nb);
    if (y == 0) throw EngineError("Division by zero.");
    if (x == std::numeric_limits<int64_t>::min() && y == -1) overflow();
    return exactResult(op == "\\" ? x / y : x % y, 0, NumClass::Integer);
  }
  if (cls == NumClass::Double || !na.exact || !nb.exact) {
    if (op == "+") return na.approx + nb.approx;
    if (op == "-") return na.approx - nb.approx;
    return na.approx * nb.approx;
  }
  // Exact arithmetic on scaled integers; Currency and Decimal results are
  // checked against their limits before they leave.
  if (op == "*") {
    // Drop fraction digits (rounding) until the product of the scaled
    // integers fits 128 bits; only then is a true overflow reported.
    __int128 x = na.scaled, y = nb.scaled;
    int sx = na.scale, sy = nb.scale;
    while (std::fabs(static_cast<long double>(x) * static_cast<long double>(y)) > 1e37L) {
      if (sx >= sy && sx > 0)
        x = rescale(x, sx, sx - 1), --sx;
      else if (sy > 0)
        y = rescale(y, sy, sy - 1), --sy;
      else
        overflow();
    }
    return exactResult(x * y, sx + sy, cls);
  }
  // A common scale; lowered (rounding the finer operand) while bringing an
  // operand up to it would not leave room in 128 bits for the sum.
  int scale = std::max(na.scale, nb.scale);
  auto tooBig = [&](const NumericValue& n) {
    if (scale <= n.scale) return false;
    const __int128 limit = (std::numeric_limits<__int128>::max() / pow10(scale - n.scale)) / 4;
    return n.scaled > limit || n.scaled < -limit;
  };
  while (scale > std::min(na.scale, nb.scale) && (tooBig(na) || tooBig(nb))) --scale;
  if (tooBig(na) || tooBig(nb)) overflow();
  const __int128 x = rescale(na.scaled, na.scale, scale), y = rescale(nb.scaled, nb.scale, scale);
  return exactResult(op == "+" ? x + y : x - y, scale, cls);
}

std::string textOf(const Value& v) { return isNull(v) ? std::string() : valueToText(v); }

}  // namespace

Value applyBinaryArithmetic(std::string_view op, const Value& a, const Value& b) {
  if (op == "&") {
    if (isNull(a) && isNull(b)) return Value{};
    return textOf(a) + textOf(b);
  }
  if (isNull(a) || isNull(b)) return Value{};
  const bool ta = std::holds_alternative<std::string>(a), tb = std::holds_alternative<std::string>(b);
  if (op == "+" && ta && tb) return std::get<std::string>(a) + std::get<std::string>(b);

  const bool da = std::holds_alternative<DateTime>(a), db = std::holds_alternative<DateTime>(b);
  if (da || db) {
    const double sa = da ? std::get<DateTime>(a).serial : numericOf(a) ? numericOf(a)->approx : (mismatch(), 0.0);
    const double sb = db ? std::get<DateTime>(b).serial : numericOf(b) ? numericOf(b)->approx : (mismatch(), 0.0);
    if (op == "+" && !(da && db)) return DateTime{sa + sb};
    if (op == "-") return da && db ? Value{sa - sb} : (da ? Value{DateTime{sa - sb}} : Value{sa - sb});
    return numeric(op, Value{sa}, Value{sb});
  }
  if (std::holds_alternative<Binary>(a) || std::holds_alternative<Binary>(b) || std::holds_alternative<Guid>(a) ||
      std::holds_alternative<Guid>(b))
    mismatch();
  return numeric(op, a, b);
}

Value negateValue(const Value& v) {
  if (isNull(v)) return Value{};
  if (auto* d = std::get_if<DateTime>(&v)) return DateTime{-d->serial};
  if (auto* f = std::get_if<float>(&v)) return -*f;
  if (auto* d = std::get_if<double>(&v)) return -*d;
  if (auto* dec = std::get_if<Decimal>(&v)) {
    Decimal r = *dec;
    r.negative = !r.negative && r.magnitude != 0;
    return r;
  }
  if (auto* c = std::get_if<Currency>(&v)) {
    if (c->scaled == std::numeric_limits<int64_t>::min()) overflow();
    return Currency{-c->scaled};
  }
  return applyBinaryArithmetic("-", Value{int32_t(0)}, v);
}

}  // namespace kevra::expr
