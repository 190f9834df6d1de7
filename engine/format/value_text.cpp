// Canonical value texts: exact decimals, ISO dates, GUIDs, shortest floats.
#include "engine/format/value_text.h"

#include "engine/format/extended_date_time.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kevra {
namespace {

constexpr int64_t kOleEpochDays = -25569;  // 1899-12-30 relative to 1970-01-01
constexpr int64_t kMsPerDay = 86400000;

// Appends magnitude / 10^scale exactly, trailing fraction zeros trimmed.
// Most values fit 64 bits, whose division is far cheaper than 128 bits'.
void appendScaled(std::string& out, bool negative, unsigned __int128 magnitude, unsigned scale) {
  char buf[64];
  char* const end = buf + sizeof buf;
  char* p = end;
  unsigned digits = 0;
  if (uint64_t(magnitude >> 64) == 0) {
    uint64_t m = uint64_t(magnitude);
    do {
      *--p = char('0' + int(m % 10));
      m /= 10;
      ++digits;
    } while (m > 0 || digits <= scale);
  } else {
    do {
      *--p = char('0' + int(magnitude % 10));
      magnitude /= 10;
      ++digits;
    } while (magnitude > 0 || digits <= scale);
  }
  char* const integerEnd = end - scale;
  char* fractionEnd = end;
  while (fractionEnd > integerEnd && fractionEnd[-1] == '0') --fractionEnd;
  const bool zero = integerEnd - p == 1 && *p == '0' && fractionEnd == integerEnd;
  if (negative && !zero) out.push_back('-');
  out.append(p, integerEnd);
  if (fractionEnd > integerEnd) {
    out.push_back('.');
    out.append(integerEnd, fractionEnd);
  }
}

void put2(char* p, int v) {
  p[0] = char('0' + v / 10);
  p[1] = char('0' + v % 10);
}

}  // namespace

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = int64_t(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(yy + (m <= 2));
}

SerialDayTime splitSerial(DateTime d) {
  double serial = d.serial;
  if (!std::isfinite(serial) || serial > 2958465.99999999 || serial < -657434.0) serial = 0;  // years 100..9999
  double whole = std::trunc(serial);
  double fraction = std::fabs(serial - whole);
  int64_t day = int64_t(whole);
  int64_t ms = std::llround(fraction * double(kMsPerDay));
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    day += 1;
  }
  return {day + kOleEpochDays, ms};
}

CivilDateTime toCivil(DateTime d) {
  auto [day, ms] = splitSerial(d);
  CivilDateTime c{};
  civilFromDays(day, c.year, c.month, c.day);
  c.hour = int(ms / 3600000);
  c.minute = int(ms / 60000 % 60);
  c.second = int(ms / 1000 % 60);
  c.millisecond = int(ms % 1000);
  return c;
}

DateTime fromCivil(const CivilDateTime& c) {
  int64_t day = daysFromCivil(c.year, unsigned(c.month), unsigned(c.day)) - kOleEpochDays;
  double fraction = (c.hour * 3600000.0 + c.minute * 60000.0 + c.second * 1000.0 + c.millisecond) / double(kMsPerDay);
  // Before the epoch the time of day still counts forward from midnight.
  return DateTime{day >= 0 ? double(day) + fraction : double(day) - fraction};
}

namespace {

void appendCurrency(std::string& out, Currency c) {
  bool negative = c.scaled < 0;
  unsigned __int128 magnitude = negative ? (unsigned __int128)(-(__int128)c.scaled) : (unsigned __int128)c.scaled;
  appendScaled(out, negative, magnitude, 4);
}

void appendDecimal(std::string& out, const Decimal& d) {
  appendScaled(out, d.negative, d.magnitude, d.scale > 38 ? 38 : d.scale);
}

void appendDateTimeIso(std::string& out, DateTime d) {
  // Outside the years 100 to 9999 no calendar date is meant: the serial
  // number itself, never some other date.
  if (!(d.serial >= -657434.0 && d.serial < 2958466.0)) {
    if (!std::isfinite(d.serial)) {
      out += std::isnan(d.serial) ? "NaN" : d.serial > 0 ? "Infinity" : "-Infinity";
      return;
    }
    char number[400];  // the shortest plain decimal form of any double fits
    const auto end = std::to_chars(number, number + sizeof number, d.serial, std::chars_format::fixed).ptr;
    out.append(number, end);
    return;
  }
  CivilDateTime c = toCivil(d);
  char buf[24] = "0000-00-00T00:00:00.000";
  int y = c.year;
  for (int i = 3; i >= 0; --i, y /= 10) buf[i] = char('0' + y % 10);
  put2(buf + 5, c.month);
  put2(buf + 8, c.day);
  put2(buf + 11, c.hour);
  put2(buf + 14, c.minute);
  put2(buf + 17, c.second);
  if (!c.millisecond) {
    out.append(buf, 19);
    return;
  }
  buf[20] = char('0' + c.millisecond / 100);
  put2(buf + 21, c.millisecond % 100);
  out.append(buf, 23);
}

template <typename Number>
void appendShortest(std::string& out, Number v) {
  if (std::isnan(v)) {
    out += "NaN";
  } else if (std::isinf(v)) {
    out += v > 0 ? "Infinity" : "-Infinity";
  } else {
    char buf[64];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
  }
}

template <typename Integer>
void appendInteger(std::string& out, Integer v) {
  char buf[24];
  out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

}  // namespace

std::string currencyToString(Currency c) {
  std::string text;
  appendCurrency(text, c);
  return text;
}

std::string decimalToString(const Decimal& d) {
  std::string text;
  appendDecimal(text, d);
  return text;
}

std::string dateTimeToIso(DateTime d) {
  std::string text;
  appendDateTimeIso(text, d);
  return text;
}

std::string guidToString(const Guid& g) {
  const auto& b = g.bytes;
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2],
                b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return buf;
}

std::string doubleToShortest(double v) {
  std::string text;
  appendShortest(text, v);
  return text;
}

std::string floatToShortest(float v) {
  std::string text;
  appendShortest(text, v);
  return text;
}

std::string base64Encode(const Binary& data) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    uint32_t n = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
    out.push_back(kAlphabet[n >> 18]);
    out.push_back(kAlphabet[(n >> 12) & 63]);
    out.push_back(kAlphabet[(n >> 6) & 63]);
    out.push_back(kAlphabet[n & 63]);
  }
  if (i < data.size()) {
    uint32_t n = uint32_t(data[i]) << 16;
    if (i + 1 < data.size()) n |= uint32_t(data[i + 1]) << 8;
    out.push_back(kAlphabet[n >> 18]);
    out.push_back(kAlphabet[(n >> 12) & 63]);
    out.push_back(i + 1 < data.size() ? kAlphabet[(n >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

std::string valueToText(const Value& v) {
  struct Visitor {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(uint8_t x) const { return std::to_string(x); }
    std::string operator()(int16_t x) const { return std::to_string(x); }
    std::string operator()(int32_t x) const { return std::to_string(x); }
    std::string operator()(Currency c) const { return currencyToString(c); }
    std::string operator()(float f) const { return floatToShortest(f); }
    std::string operator()(double d) const { return doubleToShortest(d); }
    std::string operator()(DateTime d) const { return dateTimeToIso(d); }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(const Binary& b) const { return base64Encode(b); }
    std::string operator()(const Guid& g) const { return guidToString(g); }
    std::string operator()(const Decimal& d) const { return decimalToString(d); }
    std::string operator()(int64_t x) const { return std::to_string(x); }
    std::string operator()(const ExtendedDateTime& d) const { return extendedDateTimeToIso(d); }
  };
  return std::visit(Visitor{}, v);
}

void appendValueText(std::string& out, const Value& v) {
  struct Visitor {
    std::string& out;
    void operator()(std::monostate) const {}
    void operator()(bool b) const { out += b ? "true" : "false"; }
    void operator()(uint8_t x) const { appendInteger(out, x); }
    void operator()(int16_t x) const { appendInteger(out, x); }
    void operator()(int32_t x) const { appendInteger(out, x); }
    void operator()(Currency c) const { appendCurrency(out, c); }
    void operator()(float f) const { appendShortest(out, f); }
    void operator()(double d) const { appendShortest(out, d); }
    void operator()(DateTime d) const { appendDateTimeIso(out, d); }
    void operator()(const std::string& s) const { out += s; }
    void operator()(const Binary& b) const { out += base64Encode(b); }
    void operator()(const Guid& g) const { out += guidToString(g); }
    void operator()(const Decimal& d) const { appendDecimal(out, d); }
    void operator()(int64_t x) const { appendInteger(out, x); }
    void operator()(const ExtendedDateTime& d) const { out += extendedDateTimeToIso(d); }
  };
  std::visit(Visitor{out}, v);
}

}  // namespace kevra
