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

double toDouble(__int128 scaled, int scale) { return double(static_cast<long double>(scaled) / static_cast<long double>(pow10(scale))); }

int sign(__int128 v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

}  // namespace

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
  char* end = nullptr;
  const double d = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(d)) return std::nullopt;
  if (s.find_first_of(".eE") == std::string::npos && s.size() <= 18)
    return NumericValue::fromInteger(std::strtoll(s.c_str(), nullptr, 10));
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
