// Conversion functions reuse the rules for storing a value in a column of the
// target type; number functions keep exact types exact where they can.
#include "engine/expr/conversion_functions.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/format/value_text.h"
#include "engine/expr/expression_evaluator.h"
#include "engine/expr/function_arguments.h"
#include "engine/expr/value_arithmetic.h"
#include "engine/expr/value_coercion.h"

namespace kevra::expr {
namespace {

struct Conversion {
  const char* name;
  ColumnType type;
};
constexpr Conversion kConversions[] = {
    {"CStr", ColumnType::Memo},      {"CLng", ColumnType::Long},   {"CInt", ColumnType::Integer},
    {"CByte", ColumnType::Byte},     {"CDbl", ColumnType::Double}, {"CSng", ColumnType::Single},
    {"CCur", ColumnType::Currency},  {"CDate", ColumnType::DateTime}, {"CBool", ColumnType::Boolean},
};

// Val: the number at the start of the text ("12abc" is 12, "abc" is 0).
double leadingNumber(const std::string& text) {
  const char* start = text.c_str();
  while (*start == ' ' || *start == '\t') ++start;
  char* end = nullptr;
  const double d = std::strtod(start, &end);
  return end == start || !std::isfinite(d) ? 0.0 : d;
}

bool isWhole(const Value& v) {
  return std::holds_alternative<bool>(v) || std::holds_alternative<uint8_t>(v) ||
         std::holds_alternative<int16_t>(v) || std::holds_alternative<int32_t>(v);
}

// Int (toward minus infinity) and Fix (toward zero).
Value wholePart(const Value& v, bool towardZero, std::string_view name) {
  if (isWhole(v)) return v;
  if (auto* c = std::get_if<Currency>(&v)) {
    int64_t whole = c->scaled / 10000;
    if (!towardZero && c->scaled < 0 && c->scaled % 10000 != 0) --whole;
    return Currency{whole * 10000};
  }
  if (auto* d = std::get_if<Decimal>(&v)) {
    Decimal r = *d;
    unsigned __int128 p = 1;
    for (int i = 0; i < d->scale; ++i) p *= 10;
    const bool fraction = d->magnitude % p != 0;
    r.magnitude = d->magnitude / p * p;
    if (!towardZero && d->negative && fraction) r.magnitude += p;
    return r;
  }
  const double d = numberArgument(v, name).approx;
  return towardZero ? std::trunc(d) : std::floor(d);
}

// CDec: exact numbers and number text as they are; a Double or Single as
// its shortest text (0.1 gives 0.1, not the binary fraction's digits).
Decimal decimalArgument(const Value& v) {
  std::optional<NumericValue> n;
  if (std::holds_alternative<float>(v) || std::holds_alternative<double>(v))
    n = numericFromText(valueToText(v));
  else if (!std::holds_alternative<DateTime>(v))
    n = numberArgument(v, "CDec");
  else
    n = numericFromText(doubleToShortest(std::get<DateTime>(v).serial));
  if (n)
    if (auto d = decimalOf(*n)) return *d;
  throw EngineError("CDec cannot convert '" + valueToText(v) + "'.");
}

// Round for the exact types: half to even on the scaled digits.
std::optional<Value> roundExact(const Value& v, int places) {
  const NumericValue n = *numericOf(v);
  if (places >= n.scale) return v;
  __int128 p = 1;
  for (int i = places; i < n.scale; ++i) p *= 10;
  __int128 q = n.scaled / p;
  const __int128 r = n.scaled % p, twice = (r < 0 ? -r : r) * 2;
  if (twice > p || (twice == p && q % 2 != 0)) q += n.scaled < 0 ? -1 : 1;
  q *= p;
  if (std::holds_alternative<Currency>(v)) {
    if (q > std::numeric_limits<int64_t>::max() || q < std::numeric_limits<int64_t>::min())
      throw EngineError("Overflow.");
    return Currency{int64_t(q)};
  }
  Decimal d = std::get<Decimal>(v);
  d.negative = q < 0;
  d.magnitude = static_cast<unsigned __int128>(q < 0 ? -q : q);
  return d;
}

}  // namespace

std::optional<Value> callConversionFunction(std::string_view name, const std::vector<Value>& args) {
  auto is = [&](const char* n) { return sameFunctionName(name, n); };
  if (is("IIf")) {
    requireArgumentCount(name, args, 3, 3);
    return truthOf(args[0]).value_or(false) ? args[1] : args[2];
  }
  for (const Conversion& c : kConversions) {
    if (!is(c.name)) continue;
    requireArgumentCount(name, args, 1, 1);
    if (isNull(args[0])) throw EngineError("Invalid use of Null in " + std::string(c.name) + ".");
    ColumnDef target;
    target.name = c.name;
    target.type = c.type;
    try {
      return coerceToColumn(args[0], target);
    } catch (const EngineError&) {
      throw EngineError(std::string(c.name) + " cannot convert '" + valueToText(args[0]) + "'.");
    }
  }
  if (is("CDec")) {
    requireArgumentCount(name, args, 1, 1);
    if (isNull(args[0])) throw EngineError("Invalid use of Null in CDec.");
    return decimalArgument(args[0]);
  }
  if (!(is("Val") || is("Int") || is("Fix") || is("Round") || is("Sgn") || is("Abs"))) return std::nullopt;
  requireArgumentCount(name, args, 1, is("Round") ? 2 : 1);
  for (const Value& a : args)
    if (isNull(a)) return Value{};
  if (is("Val")) {
    if (auto* s = std::get_if<std::string>(&args[0])) return leadingNumber(*s);
    return numberArgument(args[0], name).approx;
  }
  if (is("Int") || is("Fix")) return wholePart(args[0], is("Fix"), name);
  const NumericValue n = numberArgument(args[0], name);
  if (is("Sgn")) return int32_t(n.approx > 0 ? 1 : (n.approx < 0 ? -1 : 0));
  if (is("Abs")) return n.approx < 0 ? negateValue(args[0]) : args[0];
  // Round(x[, places]): half to even, as VBA rounds.
  const double places = args.size() == 2 ? numberArgument(args[1], name).approx : 0;
  if (!(places >= 0 && places <= 15)) throw EngineError("An argument of Round is out of range.");
  if (isWhole(args[0])) return args[0];
  if (std::holds_alternative<Currency>(args[0]) || std::holds_alternative<Decimal>(args[0]))
    return *roundExact(args[0], int(places));
  const double scale = std::pow(10.0, std::trunc(places));
  return std::nearbyint(n.approx * scale) / scale;
}

}  // namespace kevra::expr
