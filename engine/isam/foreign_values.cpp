// Reading and guessing typed values from the texts of text and HTML files.
#include "engine/isam/foreign_values.h"

#include <charconv>
#include <cmath>
#include <set>

#include "engine/format/value_text.h"
#include "engine/table/object_names.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Takes a leading sign: '-', '+' or U+2212.
bool takeSign(std::string_view& s) {
  if (s.starts_with("\xE2\x88\x92")) {
    s.remove_prefix(3);
    return true;
  }
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    bool neg = s.front() == '-';
    s.remove_prefix(1);
    return neg;
  }
  return false;
}

bool takeCurrencySign(std::string_view& s) {
  for (std::string_view sign : {"$", "\xE2\x82\xAC", "\xC2\xA3", "\xC2\xA5"})
    if (s.starts_with(sign)) {
      s.remove_prefix(sign.size());
      return true;
    }
  return false;
}

// Digits with optional thousands groups, optional fraction: the digits
// without separators into `whole` and `fraction`. Rest stays in `s`.
bool takeDecimal(std::string_view& s, char decimalSymbol, std::string& whole, std::string& fraction) {
  const char group = decimalSymbol == '.' ? ',' : (decimalSymbol == ',' ? '.' : '\0');
  size_t i = 0, digitsInGroup = 0;
  bool grouped = false;
  while (i < s.size()) {
    char c = s[i];
    if (isDigit(c)) {
      whole.push_back(c);
      ++digitsInGroup;
      ++i;
    } else if (group && c == group && !whole.empty() && i + 1 < s.size() && isDigit(s[i + 1])) {
      if ((grouped && digitsInGroup != 3) || (!grouped && digitsInGroup > 3)) return false;
      grouped = true;
      digitsInGroup = 0;
      ++i;
    } else {
      break;
    }
  }
  if (grouped && digitsInGroup != 3) return false;
  if (i < s.size() && s[i] == decimalSymbol) {
    ++i;
    while (i < s.size() && isDigit(s[i])) fraction.push_back(s[i++]);
  }
  s.remove_prefix(i);
  return !whole.empty() || !fraction.empty();
}

int daysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return kDays[m - 1];
}

std::optional<DateTime> makeDate(const CivilDateTime& c) {
  if (c.year < 100 || c.year > 9999 || c.month < 1 || c.month > 12 || c.day < 1 || c.day > daysInMonth(c.year, c.month))
    return std::nullopt;
  if (c.hour > 23 || c.minute > 59 || c.second > 59 || c.millisecond > 999) return std::nullopt;
  return fromCivil(c);
}

// Reads up to `maxDigits` digits (at least one).
bool takeNumber(std::string_view& s, size_t maxDigits, int& out, size_t minDigits = 1) {
  size_t n = 0;
  int v = 0;
  while (n < s.size() && n < maxDigits && isDigit(s[n])) v = v * 10 + (s[n++] - '0');
  if (n < minDigits) return false;
  s.remove_prefix(n);
  out = v;
  return true;
}

bool takeChar(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

// hh:mm[:ss[.fff]] after a date.
bool takeTime(std::string_view& s, CivilDateTime& c) {
  if (!takeNumber(s, 2, c.hour) || !takeChar(s, ':') || !takeNumber(s, 2, c.minute, 2)) return false;
  if (takeChar(s, ':')) {
    if (!takeNumber(s, 2, c.second, 2)) return false;
    if (takeChar(s, '.')) {
      int ms = 0;
      size_t before = s.size();
      if (!takeNumber(s, 3, ms)) return false;
      for (size_t d = before - s.size(); d < 3; ++d) ms *= 10;
      c.millisecond = ms;
    }
  }
  return true;
}

std::optional<DateTime> parseIso(std::string_view s) {
  CivilDateTime c{};
  if (!takeNumber(s, 4, c.year, 4) || !takeChar(s, '-') || !takeNumber(s, 2, c.month) || !takeChar(s, '-') ||
      !takeNumber(s, 2, c.day))
    return std::nullopt;
  if (!s.empty()) {
    if (s.front() != ' ' && s.front() != 'T') return std::nullopt;
    s.remove_prefix(1);
    if (!takeTime(s, c) || !s.empty()) return std::nullopt;
  }
  return makeDate(c);
}

// Schema.ini patterns: d/dd day, m/mm month (minutes after an hour), yy/yyyy
// year, h/hh hour, n/nn minutes, s/ss seconds; anything else separates.
std::optional<DateTime> parseWithPattern(std::string_view s, std::string_view p) {
  CivilDateTime c{};
  bool sawHour = false, sawDate = false;
  size_t i = 0;
  while (i < p.size()) {
    char k = char(std::tolower(static_cast<unsigned char>(p[i])));
    size_t run = 1;
    while (i + run < p.size() && std::tolower(static_cast<unsigned char>(p[i + run])) == k) ++run;
    if (std::string_view("dmyhns").find(k) == std::string_view::npos) {
      if (s.empty()) return sawDate ? makeDate(c) : std::nullopt;  // a date without its time part
      if (isDigit(s.front())) return std::nullopt;
      s.remove_prefix(1);
      i += 1;
      continue;
    }
    int v = 0;
    if (s.empty() && sawDate && (k == 'h' || k == 'n' || k == 's' || (k == 'm' && sawHour))) return makeDate(c);
    if (!takeNumber(s, k == 'y' ? (run >= 3 ? 4 : 2) : 2, v)) return std::nullopt;
    switch (k) {
      case 'd': c.day = v; break;
      case 'y': c.year = run >= 3 ? v : (v < 30 ? 2000 + v : 1900 + v); break;
      case 'h': c.hour = v; sawHour = true; break;
      case 'n': c.minute = v; break;
      case 's': c.second = v; break;
      case 'm':
        if (sawHour) c.minute = v;
        else c.month = v;
        break;
    }
    if (c.year && c.month && c.day) sawDate = true;
    i += run;
  }
  if (!s.empty()) return std::nullopt;
  return makeDate(c);
}

}  // namespace

std::optional<int64_t> parseIntegerText(std::string_view text) {
  std::string_view s = trimmed(text);
  bool negative = takeSign(s);
  if (s.empty() || s.size() > 18) return std::nullopt;
  int64_t v = 0;
  for (char c : s) {
    if (!isDigit(c)) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

std::optional<double> parseNumberText(std::string_view text, char decimalSymbol) {
  std::string_view s = trimmed(text);
  bool negative = takeSign(s);
  std::string whole, fraction;
  if (!takeDecimal(s, decimalSymbol, whole, fraction)) return std::nullopt;
  std::string plain = (negative ? "-" : "") + (whole.empty() ? "0" : whole) + "." + fraction + "0";
  if (!s.empty() && (s.front() == 'e' || s.front() == 'E')) {
    plain.push_back('e');
    s.remove_prefix(1);
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
      plain.push_back(s.front());
      s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    while (!s.empty() && isDigit(s.front())) {
      plain.push_back(s.front());
      s.remove_prefix(1);
    }
  }
  if (!s.empty()) return std::nullopt;
  double v = 0;
  auto r = std::from_chars(plain.data(), plain.data() + plain.size(), v);
  if (r.ec != std::errc() || r.ptr != plain.data() + plain.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<Currency> parseCurrencyText(std::string_view text, char decimalSymbol, bool* sawSymbol) {
  std::string_view s = trimmed(text);
  bool negative = takeSign(s);
  bool sign = takeCurrencySign(s);
  if (sign && !negative) negative = takeSign(s);
  if (sawSymbol) *sawSymbol = sign;
  std::string whole, fraction;
  if (!takeDecimal(s, decimalSymbol, whole, fraction) || !s.empty()) return std::nullopt;
  if (whole.size() > 15) return std::nullopt;
  __int128 scaled = 0;
  for (char c : whole) scaled = scaled * 10 + (c - '0');
  for (size_t i = 0; i < 4; ++i) scaled = scaled * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  if (fraction.size() > 4 && fraction[4] >= '5') scaled += 1;  // half away from zero
  if (scaled > INT64_MAX) return std::nullopt;
  return Currency{negative ? -int64_t(scaled) : int64_t(scaled)};
}

std::optional<bool> parseBooleanText(std::string_view text) {
  std::string_view s = trimmed(text);
  for (std::string_view t : {"true", "yes", "on", "1", "-1", "t", "y"})
    if (namesEqualCaseInsensitive(s, t)) return true;
  for (std::string_view f : {"false", "no", "off", "0", "f", "n"})
    if (namesEqualCaseInsensitive(s, f)) return false;
  return std::nullopt;
}

std::optional<DateTime> parseDateTimeText(std::string_view text, std::string_view pattern) {
  std::string_view s = trimmed(text);
  if (auto iso = parseIso(s)) return iso;
  if (!pattern.empty()) return parseWithPattern(s, pattern);
  return std::nullopt;
}

std::optional<Value> readTextAs(ColumnType type, std::string_view text, const TextValueRules& rules) {
  auto integral = [&](int64_t lo, int64_t hi) -> std::optional<int64_t> {
    auto v = parseIntegerText(text);
    if (!v) {
      auto d = parseNumberText(text, rules.decimalSymbol);
      if (!d || std::trunc(*d) != *d || std::fabs(*d) > 9.2e18) return std::nullopt;
      v = int64_t(*d);
    }
    if (*v < lo || *v > hi) return std::nullopt;
    return v;
  };
  switch (type) {
    case ColumnType::Text:
    case ColumnType::Memo:
      return Value(std::string(text));
    case ColumnType::Boolean:
      if (auto b = parseBooleanText(text)) return Value(*b);
      return std::nullopt;
    case ColumnType::Byte:
      if (auto v = integral(0, 255)) return Value(uint8_t(*v));
      return std::nullopt;
    case ColumnType::Integer:
      if (auto v = integral(INT16_MIN, INT16_MAX)) return Value(int16_t(*v));
      return std::nullopt;
    case ColumnType::Long:
      if (auto v = integral(INT32_MIN, INT32_MAX)) return Value(int32_t(*v));
      return std::nullopt;
    case ColumnType::Single:
      if (auto d = parseNumberText(text, rules.decimalSymbol)) return Value(float(*d));
      return std::nullopt;
    case ColumnType::Double:
      if (auto d = parseNumberText(text, rules.decimalSymbol)) return Value(*d);
      return std::nullopt;
    case ColumnType::Currency:
      if (auto c = parseCurrencyText(text, rules.decimalSymbol)) return Value(*c);
      return std::nullopt;
    case ColumnType::DateTime:
      if (auto d = parseDateTimeText(text, rules.dateTimeFormat)) return Value(*d);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

void ColumnGuess::see(std::string_view text) {
  any_ = true;
  longest_ = std::max(longest_, utf8Length(text));
  if (integer_) {
    auto v = parseIntegerText(text);
    integer_ = v && *v >= INT32_MIN && *v <= INT32_MAX;
  }
  if (number_ && !parseNumberText(text, rules_->decimalSymbol)) number_ = false;
  if (currency_) {
    bool symbol = false;
    if (!parseCurrencyText(text, rules_->decimalSymbol, &symbol))
      currency_ = false;
    else
      sign_ = sign_ || symbol;
  }
  if (date_ && !parseDateTimeText(text, rules_->dateTimeFormat)) date_ = false;
}

ResultColumn ColumnGuess::column(std::string name) const {
  ResultColumn c;
  c.name = std::move(name);
  if (any_ && integer_) {
    c.type = ColumnType::Long;
    c.length = 4;
  } else if (any_ && currency_ && sign_) {
    c.type = ColumnType::Currency;
    c.length = 8;
  } else if (any_ && number_) {
    c.type = ColumnType::Double;
    c.length = 8;
  } else if (any_ && date_) {
    c.type = ColumnType::DateTime;
    c.length = 8;
  } else if (longest_ > 255) {
    c.type = ColumnType::Memo;
  } else {
    c.type = ColumnType::Text;
    c.length = 510;
  }
  return c;
}

std::vector<std::string> usableFieldNames(const std::vector<std::string>& names, std::vector<std::string>* renamed) {
  std::vector<std::string> out;
  std::set<std::string> seen;
  auto key = [](const std::string& s) {
    std::string k;
    for (char c : s) k.push_back(char(std::tolower(static_cast<unsigned char>(c))));
    return k;
  };
  for (size_t i = 0; i < names.size(); ++i) {
    std::string n = legalObjectName(names[i]);
    while (!n.empty() && n.back() == ' ') n.pop_back();
    if (n.empty()) n = "F" + std::to_string(i + 1);
    std::string candidate = n;
    for (int k = 1; seen.count(key(candidate)); ++k) candidate = n + std::to_string(k);
    seen.insert(key(candidate));
    if (renamed && !names[i].empty() && candidate != names[i])
      renamed->push_back("The field '" + names[i] + "' is named '" + candidate + "'.");
    out.push_back(candidate);
  }
  return out;
}

void makeFieldNamesUsable(std::vector<ResultColumn>& columns, std::vector<std::string>& renamed) {
  std::vector<std::string> names;
  for (const ResultColumn& c : columns) names.push_back(c.name);
  names = usableFieldNames(names, &renamed);
  for (size_t i = 0; i < columns.size(); ++i) columns[i].name = std::move(names[i]);
}

std::string dateTimeToText(DateTime d) {
  std::string iso = dateTimeToIso(d);
  if (iso.size() >= 19 && iso[10] == 'T') {
    iso[10] = ' ';
    if (iso.compare(11, 8, "00:00:00") == 0 && iso.size() == 19) iso.resize(10);
  }
  return iso;
}

size_t utf8Length(std::string_view text) {
  size_t n = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace kevra
