// Date/Time Extended: the ASCII stored form and the ISO text.
#include "engine/format/extended_date_time.h"

#include <cstdio>

#include "engine/format/value_text.h"

namespace kevra {
namespace {

bool readDigits(ByteSpan b, size_t at, size_t count, int64_t& out) {
  out = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (b[i] < '0' || b[i] > '9') return false;
    out = out * 10 + (b[i] - '0');
  }
  return true;
}

void writeDigits(int64_t v, size_t at, size_t count, std::array<uint8_t, kExtendedDateTimeSize>& out) {
  for (size_t i = at + count; i-- > at; v /= 10) out[i] = uint8_t('0' + v % 10);
}

// Day 0 is 0001-01-01; the calendar helpers count from 1970-01-01.
constexpr int64_t kUnixEpochFromYearOne = 719162;

}  // namespace

std::optional<ExtendedDateTime> decodeExtendedDateTime(ByteSpan b) {
  if (b.size() < kExtendedDateTimeSize - 1 || b[19] != ':' || b[39] != ':') return std::nullopt;
  int64_t days, seconds, fraction;
  if (!readDigits(b, 0, 19, days) || !readDigits(b, 20, 12, seconds) || !readDigits(b, 32, 7, fraction))
    return std::nullopt;
  if (seconds >= 86400) return std::nullopt;
  return ExtendedDateTime{days, seconds * 10000000 + fraction};
}

std::array<uint8_t, kExtendedDateTimeSize> encodeExtendedDateTime(const ExtendedDateTime& value) {
  std::array<uint8_t, kExtendedDateTimeSize> out{};
  writeDigits(value.days, 0, 19, out);
  out[19] = ':';
  writeDigits(value.ticks / 10000000, 20, 12, out);
  writeDigits(value.ticks % 10000000, 32, 7, out);
  out[39] = ':';
  out[40] = '7';
  out[41] = 0;
  return out;
}

std::string extendedDateTimeToIso(const ExtendedDateTime& value) {
  CivilDateTime c{};
  civilFromDays(value.days - kUnixEpochFromYearOne, c.year, c.month, c.day);
  int64_t seconds = value.ticks / 10000000;
  int64_t fraction = value.ticks % 10000000;
  char buf[48];
  int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day, int(seconds / 3600),
                        int(seconds / 60 % 60), int(seconds % 60));
  std::string text(buf, size_t(n));
  if (fraction) {
    std::snprintf(buf, sizeof buf, ".%07lld", static_cast<long long>(fraction));
    std::string digits(buf);
    while (digits.back() == '0') digits.pop_back();
    text += digits;
  }
  return text;
}

ExtendedDateTime extendedFromDateTime(DateTime value) {
  CivilDateTime c = toCivil(value);
  int64_t days = daysFromCivil(c.year, unsigned(c.month), unsigned(c.day)) + kUnixEpochFromYearOne;
  int64_t ms = ((c.hour * 60 + c.minute) * 60 + c.second) * int64_t(1000) + c.millisecond;
  return ExtendedDateTime{days, ms * 10000};
}

std::optional<ExtendedDateTime> extendedDateTimeFromIso(std::string_view text) {
  int year, month, day, hour = 0, minute = 0, second = 0, used = 0;
  std::string s(text);
  if (std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) != 3 || used != 10) return std::nullopt;
  size_t pos = 10;
  int64_t fraction = 0;
  if (pos < s.size()) {
    if (s[pos] != 'T' && s[pos] != ' ') return std::nullopt;
    if (std::sscanf(s.c_str() + pos + 1, "%2d:%2d:%2d%n", &hour, &minute, &second, &used) != 3 || used != 8)
      return std::nullopt;
    pos += 9;
    if (pos < s.size()) {
      if (s[pos] != '.') return std::nullopt;
      size_t digits = 0;
      for (++pos; pos < s.size(); ++pos, ++digits) {
        if (s[pos] < '0' || s[pos] > '9' || digits == 7) return std::nullopt;
        fraction = fraction * 10 + (s[pos] - '0');
      }
      if (digits == 0) return std::nullopt;
      for (; digits < 7; ++digits) fraction *= 10;
    }
  }
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  int64_t days = daysFromCivil(year, unsigned(month), unsigned(day));
  CivilDateTime back{};
  civilFromDays(days, back.year, back.month, back.day);
  if (back.year != year || back.month != month || back.day != day) return std::nullopt;  // e.g. 02-30
  return ExtendedDateTime{days + kUnixEpochFromYearOne,
                          (hour * 3600 + minute * 60 + second) * int64_t(10000000) + fraction};
}

}  // namespace kevra
