// Conversions into NumericValue and exact comparison across scales.
#include "engine/expr/numeric_value.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

namespace kevra::expr {
namespace {

__int128 pow10(int n) {
  __int128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

double toDouble(__int128 scaled, int scale) { return scaledToDouble(scaled, scale); }

int sign(__int128 v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// The digits of plain decimal notation: [sign] digits [. digits] [e [sign] digits].
struct DecimalText {
  bool negative = false;
  std::string digits;  // integer and fraction digits, no point
  int scale = 0;       // digits after the point, less the exponent
};

std::optional<DecimalText> splitDecimalText(std::string_view s) {
  DecimalText d;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) d.negative = s[i++] == '-';
  bool any = false, point = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      d.digits += c;
      any = true;
      if (point) ++d.scale;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any) return std::nullopt;
  if (i < s.size()) {
    if (s[i] != 'e' && s[i] != 'E') return std::nullopt;
    ++i;
    bool negativeExponent = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negativeExponent = s[i++] == '-';
    if (i == s.size()) return std::nullopt;
    long exponent = 0;
    for (; i < s.size(); ++i) {
      if (s[i] < '0' || s[i] > '9') return std::nullopt;
      if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
    }
    d.scale -= int(negativeExponent ? -exponent : exponent);
  }
  return d;
}

// The exact scaled form of decimal text, when it has at most 29 significant
// digits and at most 28 of them after the point; trailing fraction zeros
// count only where there is room for them.
std::optional<NumericValue> exactFromDigits(const DecimalText& d, bool trimZeros = false) {
  std::string digits = d.digits;
  int scale = d.scale;
  if (trimZeros)
    while (scale > 0 && digits.size() > 1 && digits.back() == '0') digits.pop_back(), --scale;
  const size_t firstNonZero = digits.find_first_not_of('0');
  const size_t significant = firstNonZero == std::string::npos ? 0 : digits.size() - firstNonZero;
  if (significant == 0) return NumericValue::fromInteger(0);
  if (scale > 28 || significant + size_t(scale < 0 ? -scale : 0) > 29)
    return trimZeros ? std::nullopt : exactFromDigits(d, true);
  __int128 v = 0;
  for (size_t k = firstNonZero; k < digits.size(); ++k) v = v * 10 + (digits[k] - '0');
  if (scale < 0) v *= pow10(-scale), scale = 0;
  NumericValue n;
  n.scaled = d.negative ? -v : v;
  n.scale = scale;
  return n;
}

}  // namespace

double scaledToDouble(__int128 scaled, int scale) {
  static constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                            1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const __int128 magnitude = scaled < 0 ? -scaled : scaled;
  // Both operands exact as doubles: one division rounds once.
  if (magnitude < (__int128(1) << 53) && scale >= 0 && scale <= 22) return double(scaled) / kExactPowers[scale];
  // Otherwise the decimal digits go through the library's correctly rounded reader.
  std::string text;
  unsigned __int128 m = static_cast<unsigned __int128>(magnitude);
  do {
    text.insert(text.begin(), char('0' + int(m % 10)));
    m /= 10;
  } while (m > 0);
  text = (scaled < 0 ? "-" : "") + text + "e" + std::to_string(-scale);
  return std::strtod(text.c_str(), nullptr);
}

std::optional<Decimal> decimalOf(const NumericValue& n) {
  if (!n.exact) return std::nullopt;
  __int128 v = n.scaled;
  int scale = n.scale;
  const __int128 limit = pow10(28);
  auto dropDigit = [&] {
    const __int128 q = v / 10, r = v % 10;
    v = q + ((r >= 5) ? 1 : (r <= -5 ? -1 : 0));
    --scale;
  };
  while (scale > 28) dropDigit();
  while ((v >= limit || v <= -limit) && scale > 0) dropDigit();
  if (v >= limit || v <= -limit) return std::nullopt;
  Decimal d;
  d.negative = v < 0;
  d.magnitude = static_cast<unsigned __int128>(v < 0 ? -v : v);
  d.precision = 28;
  d.scale = uint8_t(scale);
  return d;
}

NumericValue NumericValue::fromInteger(int64_t v) {
  NumericValue n;
  n.scaled = v;
  n.approx = double(v);
  return n;
}

NumericValue NumericValue::fromDouble(double v) {
  NumericValue n;
  n.exact = false;
  n.approx = v;
  return n;
}

std::optional<NumericValue> numericOf(const Value& v) {
  if (auto* b = std::get_if<bool>(&v)) return NumericValue::fromInteger(*b ? -1 : 0);
  if (auto* x = std::get_if<uint8_t>(&v)) return NumericValue::fromInteger(*x);
  if (auto* x = std::get_if<int16_t>(&v)) return NumericValue::fromInteger(*x);
  if (auto* x = std::get_if<int32_t>(&v)) return NumericValue::fromInteger(*x);
  if (auto* x = std::get_if<int64_t>(&v)) return NumericValue::fromInteger(*x);
  if (auto* x = std::get_if<float>(&v)) return NumericValue::fromDouble(*x);
  if (auto* x = std::get_if<double>(&v)) return NumericValue::fromDouble(*x);
  if (auto* c = std::get_if<Currency>(&v)) {
    NumericValue n;
    n.scaled = c->scaled;
    n.scale = 4;
    n.approx = toDouble(n.scaled, 4);
    return n;
  }
  if (auto* d = std::get_if<Decimal>(&v)) {
    NumericValue n;
    // A 96-bit magnitude always fits a signed 128-bit integer.
    n.scaled = d->negative ? -static_cast<__int128>(d->magnitude) : static_cast<__int128>(d->magnitude);
    n.scale = d->scale;
    n.approx = toDouble(n.scaled, n.scale);
    return n;
  }
  return std::nullopt;
}

std::optional<NumericValue> numericFromText(std::string_view text) {
  std::string s(text);
  while (!s.empty() && std::isspace((unsigned char)s.back())) s.pop_back();
  size_t start = 0;
  while (start < s.size() && std::isspace((unsigned char)s[start])) ++start;
  s.erase(0, start);
  // Plain decimal notation only: no hex, no "inf" or "nan".
  if (s.empty() || s.find_first_not_of("0123456789+-.eE") != std::string::npos) return std::nullopt;
  const auto parts = splitDecimalText(s);
  if (!parts) return std::nullopt;
  const double d = std::strtod(s.c_str(), nullptr);
  if (!std::isfinite(d)) return std::nullopt;
  if (auto exact = exactFromDigits(*parts)) {
    exact->approx = d;
    return exact;
  }
  return NumericValue::fromDouble(d);
}

int compareNumeric(const NumericValue& a, const NumericValue& b) {
  if (!a.exact || !b.exact) return a.approx < b.approx ? -1 : (a.approx > b.approx ? 1 : 0);
  if (a.scale == b.scale) return a.scaled < b.scaled ? -1 : (a.scaled > b.scaled ? 1 : 0);
  // Compare whole parts first, then the fractions brought to the same scale;
  // scaling a whole 96-bit value up by 10^28 could overflow, a fraction cannot.
  const __int128 pa = pow10(a.scale), pb = pow10(b.scale);
  const __int128 wa = a.scaled / pa, wb = b.scaled / pb;
  if (wa != wb) return wa < wb ? -1 : 1;
  const int common = std::max(a.scale, b.scale);
  const __int128 fa = (a.scaled % pa) * pow10(common - a.scale);
  const __int128 fb = (b.scaled % pb) * pow10(common - b.scale);
  return sign(fa - fb);
}

}  // namespace kevra::expr
