// Column type conversion for stored values.
#include "engine/expr/value_coercion.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/format/extended_date_time.h"
#include "engine/format/value_text.h"
#include "engine/expr/date_literal.h"
#include "engine/expr/expression_evaluator.h"
#include "engine/expr/numeric_value.h"
#include "engine/util/error.h"

namespace kevra::expr {
namespace {

[[noreturn]] void cannotConvert(const Value& v, const ColumnDef& column) {
  std::string shown = valueToText(v);
  if (shown.size() > 40) shown = shown.substr(0, 40) + "...";
  throw EngineError("The value '" + shown + "' cannot be stored in field '" + column.name + "' (" +
                    columnTypeName(column.type) + ").");
}

NumericValue numberOf(const Value& v, const ColumnDef& column) {
  if (auto n = numericOf(v)) return *n;
  if (auto* s = std::get_if<std::string>(&v))
    if (auto n = numericFromText(*s)) return *n;
  if (auto* d = std::get_if<DateTime>(&v)) return NumericValue::fromDouble(d->serial);
  cannotConvert(v, column);
}

__int128 pow10(int n) {
  __int128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// The number scaled to `scale` digits, rounded half away from zero.
__int128 scaledTo(const NumericValue& n, int scale, const Value& v, const ColumnDef& column) {
  if (!n.exact) {
    const long double x = std::roundl(static_cast<long double>(n.approx) * static_cast<long double>(pow10(scale)));
    if (!std::isfinite(static_cast<double>(x)) || std::fabs(x) > 1e37L) cannotConvert(v, column);
    return static_cast<__int128>(x);
  }
  if (n.scale <= scale) return n.scaled * pow10(scale - n.scale);
  const __int128 d = pow10(n.scale - scale);
  __int128 q = n.scaled / d, r = n.scaled % d;
  if (2 * (r < 0 ? -r : r) >= d) q += n.scaled < 0 ? -1 : 1;
  return q;
}

template <typename T>
T integerIn(const Value& v, const ColumnDef& column, int64_t low, int64_t high) {
  const NumericValue n = numberOf(v, column);
  const double rounded = std::nearbyint(n.approx);  // banker's rounding, as Jet stores
  if (!(rounded >= double(low) && rounded <= double(high))) cannotConvert(v, column);
  return T(rounded);
}

// Large Number: exact numbers stay exact (a double holds only 53 bits).
int64_t bigIntOf(const Value& v, const ColumnDef& column) {
  const NumericValue n = numberOf(v, column);
  __int128 whole;
  if (n.exact) {
    __int128 p = 1;
    for (int i = 0; i < n.scale; ++i) p *= 10;
    whole = n.scaled / p;
    const __int128 rest = n.scaled % p;
    const __int128 twice = (rest < 0 ? -rest : rest) * 2;
    if (twice > p || (twice == p && (whole % 2) != 0)) whole += n.scaled < 0 ? -1 : 1;  // half to even
  } else {
    const double rounded = std::nearbyint(n.approx);
    if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) cannotConvert(v, column);
    whole = __int128(rounded);
  }
  if (whole < std::numeric_limits<int64_t>::min() || whole > std::numeric_limits<int64_t>::max())
    cannotConvert(v, column);
  return int64_t(whole);
}

std::string trimmedLower(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  std::string s;
  for (size_t i = begin; i < end; ++i) s += char(std::tolower(static_cast<unsigned char>(text[i])));
  return s;
}

// The texts export writes for the floating-point values that are no number:
// "NaN", "Infinity" and "-Infinity".
std::optional<double> specialFloat(const Value& v) {
  const auto* s = std::get_if<std::string>(&v);
  if (!s) return std::nullopt;
  const std::string word = trimmedLower(*s);
  if (word == "nan") return std::numeric_limits<double>::quiet_NaN();
  if (word == "infinity") return std::numeric_limits<double>::infinity();
  if (word == "-infinity") return -std::numeric_limits<double>::infinity();
  return std::nullopt;
}

float singleFromText(const std::string& text) {
  size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  return std::strtof(text.c_str() + start, nullptr);
}

size_t charCount(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

std::optional<Guid> guidFromText(std::string_view text) {
  std::string hex;
  for (char c : text)
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    else if (c != '{' && c != '}' && c != '-')
      return std::nullopt;
  if (hex.size() != 32) return std::nullopt;
  uint8_t b[16];
  for (int i = 0; i < 16; ++i) b[i] = uint8_t(std::stoi(hex.substr(size_t(i) * 2, 2), nullptr, 16));
  // Text order is big-endian for the first three fields; storage keeps them little-endian.
  Guid g;
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) g.bytes[size_t(i)] = b[order[i]];
  return g;
}

}  // namespace

Value coerceToColumn(const Value& v, const ColumnDef& column) {
  if (isNull(v)) return v;
  switch (column.type) {
    case ColumnType::Boolean: {
      if (auto* s = std::get_if<std::string>(&v)) {
        if (auto n = numericFromText(*s)) return n->approx != 0;
        // The words export writes, and the ones Jet takes besides.
        const std::string word = trimmedLower(*s);
        if (word == "true" || word == "yes" || word == "on") return true;
        if (word == "false" || word == "no" || word == "off") return false;
        cannotConvert(v, column);
      }
      return truthOf(v).value_or(false);
    }
    case ColumnType::Byte:
      return integerIn<uint8_t>(v, column, 0, 255);
    case ColumnType::Integer:
      return integerIn<int16_t>(v, column, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max());
    case ColumnType::Long:
      return integerIn<int32_t>(v, column, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    case ColumnType::BigInt:
      return bigIntOf(v, column);
    case ColumnType::Complex:
      return integerIn<int32_t>(v, column, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    case ColumnType::ExtendedDateTime: {
      if (std::holds_alternative<ExtendedDateTime>(v)) return v;
      if (auto* d = std::get_if<DateTime>(&v)) return extendedFromDateTime(*d);
      if (auto* s = std::get_if<std::string>(&v)) {
        if (auto e = extendedDateTimeFromIso(*s)) return *e;
        if (auto d = parseDateLiteral(*s)) return extendedFromDateTime(*d);
      }
      cannotConvert(v, column);
    }
    case ColumnType::Currency: {
      const __int128 s = scaledTo(numberOf(v, column), 4, v, column);
      if (s < std::numeric_limits<int64_t>::min() || s > std::numeric_limits<int64_t>::max()) cannotConvert(v, column);
      return Currency{int64_t(s)};
    }
    case ColumnType::Single: {
      if (auto special = specialFloat(v)) return float(*special);
      const double d = numberOf(v, column).approx;
      // A stored infinity or NaN (a Double's or a Single's) stays what it is.
      if (!std::isfinite(d) && (std::holds_alternative<float>(v) || std::holds_alternative<double>(v)))
        return float(d);
      // Whatever rounds to the largest Single (as its shortest text does)
      // fits; from the midpoint to the next power of two up it would not.
      if (!(std::fabs(d) < 0x1.ffffffp+127)) cannotConvert(v, column);
      // Text is read as a Single directly: through a double it could round twice.
      const auto* text = std::get_if<std::string>(&v);
      const float f = text ? singleFromText(*text) : float(d);
      if (std::isinf(f)) cannotConvert(v, column);
      return f;
    }
    case ColumnType::Double:
      if (auto special = specialFloat(v)) return *special;
      return numberOf(v, column).approx;
    case ColumnType::Decimal: {
      const __int128 s = scaledTo(numberOf(v, column), column.scale, v, column);
      const int precision = column.precision ? column.precision : 18;
      if ((s < 0 ? -s : s) >= pow10(precision)) cannotConvert(v, column);
      Decimal d;
      d.negative = s < 0;
      d.magnitude = static_cast<unsigned __int128>(s < 0 ? -s : s);
      d.precision = uint8_t(precision);
      d.scale = column.scale;
      return d;
    }
    case ColumnType::DateTime: {
      if (std::holds_alternative<DateTime>(v)) return v;
      if (auto* s = std::get_if<std::string>(&v)) {
        if (auto d = parseDateLiteral(*s)) return *d;
        cannotConvert(v, column);
      }
      // A number stands for a date only within the years 100 to 9999, as a
      // date literal does; outside them it would be stored and read as
      // another date.
      const double serial = numberOf(v, column).approx;
      if (!(serial >= -657434.0 && serial < 2958466.0))
        throw EngineError("The value " + valueToText(v) + " for field '" + column.name +
                          "' is not a date between the years 100 and 9999.");
      return DateTime{serial};
    }
    case ColumnType::Text:
    case ColumnType::Memo: {
      if (std::holds_alternative<Binary>(v)) cannotConvert(v, column);
      std::string text = valueToText(v);
      if (column.type == ColumnType::Text && column.length > 0 && charCount(text) > column.length / 2u)
        throw EngineError("The text for field '" + column.name + "' is longer than its size of " +
                          std::to_string(column.length / 2) + " characters.");
      return text;
    }
    case ColumnType::Binary:
    case ColumnType::OLE:
      if (std::holds_alternative<Binary>(v)) return v;
      cannotConvert(v, column);
    case ColumnType::Guid:
      if (std::holds_alternative<Guid>(v)) return v;
      if (auto* s = std::get_if<std::string>(&v))
        if (auto g = guidFromText(*s)) return *g;
      cannotConvert(v, column);
    default:
      // Types the engine knows only as bytes take bytes as they were read.
      if (std::holds_alternative<Binary>(v)) return v;
      throw UnsupportedError("Field '" + column.name + "' has a type (" + columnTypeName(column.type) +
                             ") that cannot be written.");
  }
}

}  // namespace kevra::expr
