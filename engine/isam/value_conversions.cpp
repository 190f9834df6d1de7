// Value conversions shared by the foreign-file writers.
#include "engine/isam/value_conversions.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cmath>

#include "engine/format/value_text.h"

namespace kevra {
namespace {

std::optional<double> parseNumber(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  if (begin == end) return std::nullopt;
  double v = 0;
  const char* first = text.data() + begin;
  if (*first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, text.data() + end, v);
  if (ec != std::errc() || ptr != text.data() + end || !std::isfinite(v)) return std::nullopt;
  return v;
}

double decimalAsDouble(const Decimal& d) {
  double v = 0;
  unsigned __int128 m = d.magnitude;
  double place = 1;
  while (m > 0) {
    v += double(uint64_t(m % 10)) * place;
    place *= 10;
    m /= 10;
  }
  v /= std::pow(10.0, d.scale);
  return d.negative ? -v : v;
}

}  // namespace

std::optional<double> valueAsDouble(const Value& v) {
  struct Visitor {
    std::optional<double> operator()(std::monostate) const { return std::nullopt; }
    std::optional<double> operator()(bool b) const { return b ? -1.0 : 0.0; }
    std::optional<double> operator()(uint8_t x) const { return double(x); }
    std::optional<double> operator()(int16_t x) const { return double(x); }
    std::optional<double> operator()(int32_t x) const { return double(x); }
    std::optional<double> operator()(Currency c) const { return double(c.scaled) / 10000.0; }
    std::optional<double> operator()(float x) const { return double(x); }
    std::optional<double> operator()(double x) const { return x; }
    std::optional<double> operator()(DateTime d) const { return d.serial; }
    std::optional<double> operator()(const std::string& s) const { return parseNumber(s); }
    std::optional<double> operator()(const Binary&) const { return std::nullopt; }
    std::optional<double> operator()(const Guid&) const { return std::nullopt; }
    std::optional<double> operator()(const Decimal& d) const { return decimalAsDouble(d); }
    std::optional<double> operator()(int64_t x) const { return double(x); }
    std::optional<double> operator()(const ExtendedDateTime&) const { return std::nullopt; }
  };
  return std::visit(Visitor{}, v);
}

std::optional<double> valueAsDateSerial(const Value& v) {
  if (auto* d = std::get_if<DateTime>(&v)) return d->serial;
  if (auto* s = std::get_if<std::string>(&v)) {
    // YYYY-MM-DD[ HH:MM[:SS]]
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    const int n = std::sscanf(s->c_str(), "%4d-%2d-%2d%*[ T]%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &se);
    if (n >= 3 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && y >= 100)
      return fromCivil({y, mo, d, h, mi, se, 0}).serial;
    return std::nullopt;
  }
  if (std::holds_alternative<std::monostate>(v) || std::holds_alternative<bool>(v)) return std::nullopt;
  return valueAsDouble(v);
}

std::optional<bool> valueAsBool(const Value& v) {
  if (auto* b = std::get_if<bool>(&v)) return *b;
  if (auto* s = std::get_if<std::string>(&v)) {
    std::string t;
    for (char c : *s)
      if (!std::isspace(static_cast<unsigned char>(c))) t.push_back(char(std::tolower(static_cast<unsigned char>(c))));
    if (t == "true" || t == "yes" || t == "t" || t == "y" || t == "1" || t == "-1") return true;
    if (t == "false" || t == "no" || t == "f" || t == "n" || t == "0") return false;
    return std::nullopt;
  }
  if (auto d = valueAsDouble(v)) return *d != 0;
  return std::nullopt;
}

std::string valueAsText(const Value& v) {
  if (auto* b = std::get_if<Binary>(&v)) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (uint8_t x : *b) {
      out.push_back(digits[x >> 4]);
      out.push_back(digits[x & 15]);
    }
    return out;
  }
  return valueToText(v);
}

}  // namespace kevra
