// Field display formats: named formats are spelled out as custom ones, then
// a number section or a date pattern is read token by token and written.
// Exact values (Currency, Decimal, whole numbers) are rounded as decimal
// digits, half away from zero; Single and Double through printf's rounding.
#include "engine/expr/format_text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <tuple>
#include <vector>

#include "engine/format/value_text.h"

namespace kevra::expr {

namespace {

bool sameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// ---- numbers -------------------------------------------------------------

// A number to write: exact decimal text (no sign, no exponent) or a double.
struct Number {
  bool negative = false;
  bool exact = false;
  std::string text;   // exact: "1234.5000"
  double binary = 0;  // otherwise, the magnitude
  bool isZero() const {
    if (!exact) return binary == 0;
    return text.find_first_not_of("0.") == std::string::npos;
  }
  double approximate() const { return exact ? std::strtod(text.c_str(), nullptr) : binary; }
};

std::optional<Number> numberOf(const kevra::Value& value) {
  Number n;
  auto exactFrom = [&](std::string text) {
    n.exact = true;
    if (!text.empty() && text[0] == '-') {
      n.negative = true;
      text.erase(0, 1);
    }
    n.text = std::move(text);
    return n;
  };
  if (const auto* b = std::get_if<bool>(&value)) return exactFrom(*b ? "-1" : "0");  // True is -1
  if (const auto* v = std::get_if<uint8_t>(&value)) return exactFrom(std::to_string(*v));
  if (const auto* v = std::get_if<int16_t>(&value)) return exactFrom(std::to_string(*v));
  if (const auto* v = std::get_if<int32_t>(&value)) return exactFrom(std::to_string(*v));
  if (const auto* v = std::get_if<int64_t>(&value)) return exactFrom(std::to_string(*v));
  if (const auto* v = std::get_if<kevra::Currency>(&value)) return exactFrom(kevra::currencyToString(*v));
  if (const auto* v = std::get_if<kevra::Decimal>(&value)) return exactFrom(kevra::decimalToString(*v));
  double d = 0;
  if (const auto* v = std::get_if<float>(&value)) d = *v;
  else if (const auto* v = std::get_if<double>(&value)) d = *v;
  else if (const auto* v = std::get_if<kevra::DateTime>(&value)) d = v->serial;
  else return std::nullopt;
  if (!std::isfinite(d)) return std::nullopt;
  n.negative = std::signbit(d) && d != 0;
  n.binary = std::fabs(d);
  return n;
}

// Adds one to the last digit of a run of digits.
void incrementDigits(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] == '9') {
      digits[i] = '0';
    } else {
      ++digits[i];
      return;
    }
  }
  digits.insert(digits.begin(), '1');
}

// The magnitude times 10^shift with `decimals` digits after the point:
// whole digits (no leading zeros, "" for zero) and the fraction's digits.
std::pair<std::string, std::string> roundedDigits(const Number& n, int decimals, int shift) {
  std::string whole, fraction;
  if (n.exact) {
    const size_t point = n.text.find('.');
    whole = n.text.substr(0, point);
    fraction = point == std::string::npos ? "" : n.text.substr(point + 1);
    for (int i = 0; i < shift; ++i) {
      whole += fraction.empty() ? '0' : fraction[0];
      if (!fraction.empty()) fraction.erase(0, 1);
    }
    bool up = false;
    if (int(fraction.size()) > decimals) {
      up = fraction[size_t(decimals)] >= '5';
      fraction.resize(size_t(decimals));
    }
    fraction.append(size_t(decimals) - fraction.size(), '0');
    if (up) {
      std::string all = whole + fraction;
      const size_t before = all.size();
      incrementDigits(all);
      const size_t wholeSize = whole.size() + (all.size() - before);
      whole = all.substr(0, wholeSize);
      fraction = all.substr(wholeSize);
    }
  } else {
    std::vector<char> buffer(400);
    const int length = std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, n.binary * std::pow(10.0, shift));
    const std::string text(buffer.data(), size_t(std::max(length, 0)));
    const size_t point = text.find('.');
    whole = text.substr(0, point);
    fraction = point == std::string::npos ? "" : text.substr(point + 1);
  }
  const size_t first = whole.find_first_not_of('0');
  whole = first == std::string::npos ? "" : whole.substr(first);
  return {whole, fraction};
}

// One section of a custom number format, read into its parts.
struct NumberSection {
  struct Item {
    enum Kind { Literal, Digit, Point, Exponent } kind = Literal;
    std::string text;      // Literal: the text; Exponent: "E+" etc.
    bool zero = false;     // Digit: '0' (always shown) rather than '#'
    bool fraction = false; // Digit: after the point
    int digits = 0;        // Exponent: digits the exponent shows at least
  };
  std::vector<Item> items;
  bool grouping = false;
  bool percent = false;
  bool textFormat = false;  // '@', '&', '<' or '>': a text format, not ours
  int wholeDigits = 0, wholeZeros = 0, fractionDigits = 0;
  bool hasExponent = false;
};

NumberSection readNumberSection(std::string_view format) {
  NumberSection s;
  bool afterPoint = false, afterExponent = false;
  auto literal = [&](std::string text) {
    if (!s.items.empty() && s.items.back().kind == NumberSection::Item::Literal) s.items.back().text += text;
    else s.items.push_back({NumberSection::Item::Literal, std::move(text)});
  };
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c == '"') {
      const size_t end = format.find('"', i + 1);
      literal(std::string(format.substr(i + 1, end == std::string_view::npos ? end : end - i - 1)));
      i = end == std::string_view::npos ? format.size() : end;
    } else if (c == '\\' && i + 1 < format.size()) {
      literal(std::string(1, format[++i]));
    } else if (c == '[') {
      const size_t end = format.find(']', i);  // a colour: not shown in text
      i = end == std::string_view::npos ? format.size() : end;
    } else if (c == '*' || c == '_') {
      if (i + 1 < format.size()) ++i;
      if (c == '_') literal(" ");
    } else if (c == '!') {
    } else if (c == '@' || c == '&' || c == '<' || c == '>') {
      s.textFormat = true;
    } else if (c == '0' || c == '#') {
      if (afterExponent) {
        s.items.back().digits += c == '0' ? 1 : 0;
        continue;
      }
      NumberSection::Item digit{NumberSection::Item::Digit, {}};
      digit.zero = c == '0';
      digit.fraction = afterPoint;
      s.items.push_back(digit);
      if (afterPoint) {
        ++s.fractionDigits;
      } else {
        ++s.wholeDigits;
        s.wholeZeros += digit.zero;
      }
    } else if (c == '.' && !afterPoint && !afterExponent) {
      afterPoint = true;
      s.items.push_back({NumberSection::Item::Point, {}});
    } else if (c == ',' && !afterPoint && s.wholeDigits > 0) {
      s.grouping = true;
    } else if (c == '%') {
      s.percent = true;
      literal("%");
    } else if ((c == 'E' || c == 'e') && i + 2 < format.size() && (format[i + 1] == '+' || format[i + 1] == '-') &&
               (format[i + 2] == '0' || format[i + 2] == '#') && !afterExponent) {
      NumberSection::Item exponent{NumberSection::Item::Exponent, std::string(format.substr(i, 2))};
      s.items.push_back(exponent);
      s.hasExponent = afterExponent = true;
      ++i;
    } else {
      literal(std::string(1, c));
    }
  }
  return s;
}

std::string grouped(const std::string& digits, const std::string& separator) {
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

// The magnitude of `n` written by one section; the sign is the caller's.
std::string writeNumber(const Number& n, const NumberSection& s, const FormatSymbols& symbols, bool& shownZero) {
  std::string whole, fraction;
  int exponent = 0;
  if (s.hasExponent) {
    // Mantissa with as many whole digits as the section shows (at least one).
    const int leading = std::max(1, s.wholeDigits);
    const double value = n.approximate() * (s.percent ? 100.0 : 1.0);
    if (value != 0) exponent = int(std::floor(std::log10(value))) - (leading - 1);
    Number mantissa;
    mantissa.binary = value / std::pow(10.0, exponent);
    auto [w, f] = roundedDigits(mantissa, s.fractionDigits, 0);
    if (int(w.size()) > leading) {  // 9.99 rounded up to 10.0
      ++exponent;
      mantissa.binary = value / std::pow(10.0, exponent);
      std::tie(w, f) = roundedDigits(mantissa, s.fractionDigits, 0);
    }
    whole = w;
    fraction = f;
  } else {
    std::tie(whole, fraction) = roundedDigits(n, s.fractionDigits, s.percent ? 2 : 0);
  }
  shownZero = whole.empty() && fraction.find_first_not_of('0') == std::string::npos;
  if (int(whole.size()) < s.wholeZeros) whole.insert(0, size_t(s.wholeZeros) - whole.size(), '0');
  if (s.grouping) whole = grouped(whole, symbols.groupSeparator);
  // '#' places at the end of the fraction drop their zeros.
  size_t keep = fraction.size();
  {
    size_t digit = fraction.size();
    for (auto it = s.items.rbegin(); it != s.items.rend() && digit > 0; ++it) {
      if (it->kind != NumberSection::Item::Digit || !it->fraction) continue;
      if (it->zero || fraction[digit - 1] != '0') break;
      keep = --digit;
    }
  }

  // Whole digits fill the places from the right; the first place takes the
  // rest. Without any place, they go where the point is.
  std::vector<std::string> wholeParts(size_t(s.wholeDigits));
  {
    std::string rest = whole;
    for (int place = s.wholeDigits - 1; place >= 0; --place) {
      if (place == 0) {
        wholeParts[0] = rest;
      } else if (!rest.empty()) {
        // A group separator rides with the digit before it.
        size_t take = 1;
        while (take < rest.size() && !std::isdigit(static_cast<unsigned char>(rest[rest.size() - take]))) ++take;
        wholeParts[size_t(place)] = rest.substr(rest.size() - take);
        rest.resize(rest.size() - take);
      }
    }
  }
  std::string out;
  int wholePlace = 0;
  size_t fractionPlace = 0;
  for (const auto& item : s.items) {
    switch (item.kind) {
      case NumberSection::Item::Literal: out += item.text; break;
      case NumberSection::Item::Digit:
        if (!item.fraction) {
          out += wholeParts[size_t(wholePlace++)];
        } else {
          if (fractionPlace < keep) out += fraction[fractionPlace];
          ++fractionPlace;
        }
        break;
      case NumberSection::Item::Point:
        if (s.wholeDigits == 0) out += whole;
        out += symbols.decimalPoint;
        break;
      case NumberSection::Item::Exponent: {
        std::string digits = std::to_string(std::abs(exponent));
        if (int(digits.size()) < item.digits) digits.insert(0, size_t(item.digits) - digits.size(), '0');
        out += item.text[0];
        if (exponent < 0) out += '-';
        else if (item.text[1] == '+') out += '+';
        out += digits;
        break;
      }
    }
  }
  return out;
}

// Splits at ';' outside quotes and after no backslash.
std::vector<std::string_view> sectionsOf(std::string_view format) {
  std::vector<std::string_view> sections;
  size_t start = 0;
  bool quoted = false;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '"') quoted = !quoted;
    else if (format[i] == '\\' && !quoted) ++i;
    else if (format[i] == ';' && !quoted) {
      sections.push_back(format.substr(start, i - start));
      start = i + 1;
    }
  }
  sections.push_back(format.substr(start));
  return sections;
}

std::optional<std::string> formatNumber(const kevra::Value& value, std::string_view format,
                                        const FormatSymbols& symbols) {
  const std::vector<std::string_view> sections = sectionsOf(format);
  if (kevra::isNull(value)) {
    if (sections.size() < 4) return std::nullopt;
    bool unused = false;
    return writeNumber(Number{false, true, "0"}, readNumberSection(sections[3]), symbols, unused);
  }
  const std::optional<Number> number = numberOf(value);
  if (!number) return std::nullopt;
  // The section: positive (and the rest when alone), negative, zero.
  std::string_view section = sections[0];
  bool signShown = true;
  if (number->isZero() && sections.size() >= 3 && !sections[2].empty()) {
    section = sections[2];
    signShown = false;
  } else if (number->negative && sections.size() >= 2 && !sections[1].empty()) {
    section = sections[1];
    signShown = false;
  }
  const NumberSection parsed = readNumberSection(section);
  if (parsed.textFormat) return std::nullopt;
  bool shownZero = false;
  std::string text = writeNumber(*number, parsed, symbols, shownZero);
  if (signShown && number->negative && !shownZero) text.insert(0, "-");
  return text;
}

// The number as General Number writes it: every digit, no grouping.
std::optional<std::string> generalNumber(const kevra::Value& value, const FormatSymbols& symbols) {
  std::optional<Number> number = numberOf(value);
  if (!number) return std::nullopt;
  std::string text;
  if (number->exact) {
    text = number->text;
    const size_t point = text.find('.');
    if (point != std::string::npos) {
      while (text.back() == '0') text.pop_back();
      if (text.back() == '.') text.pop_back();
    }
  } else {
    text = kevra::doubleToShortest(number->binary);
  }
  const size_t point = text.find('.');
  if (point != std::string::npos) text.replace(point, 1, symbols.decimalPoint);
  return (number->negative && !number->isZero() ? "-" : "") + text;
}

// ---- dates ---------------------------------------------------------------

struct When {
  kevra::CivilDateTime civil;
  int weekday;  // 0 = Sunday
  int dayOfYear;
  bool hasDate, hasTime;
};

std::optional<When> whenOf(const kevra::Value& value) {
  double serial = 0;
  if (const auto* d = std::get_if<kevra::DateTime>(&value)) serial = d->serial;
  else if (const std::optional<Number> n = numberOf(value)) serial = n->negative ? -n->approximate() : n->approximate();
  else return std::nullopt;
  // Years 100 to 9999, as far as the calendar of dates goes.
  if (!std::isfinite(serial) || serial < -657434.0 || serial >= 2958466.0) return std::nullopt;
  When w{};
  w.civil = kevra::toCivil(kevra::DateTime{serial});
  const int64_t days = kevra::daysFromCivil(w.civil.year, unsigned(w.civil.month), unsigned(w.civil.day));
  w.weekday = int(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  w.dayOfYear = int(days - kevra::daysFromCivil(w.civil.year, 1, 1)) + 1;
  w.hasTime = w.civil.hour != 0 || w.civil.minute != 0 || w.civil.second != 0;
  w.hasDate = std::trunc(serial) != 0;
  return w;
}

std::string twoDigits(int value) { return (value < 10 ? "0" : "") + std::to_string(value); }

std::string writeDate(const When& w, std::string_view pattern, const FormatSymbols& symbols);

constexpr std::string_view kShortDate = "m/d/yyyy";
constexpr std::string_view kLongDate = "dddd, mmmm d, yyyy";
constexpr std::string_view kLongTime = "h:nn:ss AM/PM";

std::string generalDate(const When& w, const FormatSymbols& symbols) {
  if (!w.hasTime) return writeDate(w, kShortDate, symbols);
  if (!w.hasDate) return writeDate(w, kLongTime, symbols);
  return writeDate(w, kShortDate, symbols) + " " + writeDate(w, kLongTime, symbols);
}

// How many times `c` repeats from `at`, letters compared without case.
size_t runOf(std::string_view text, size_t at, char c) {
  size_t n = 0;
  while (at + n < text.size() && std::tolower(static_cast<unsigned char>(text[at + n])) == c) ++n;
  return n;
}

// The AM/PM marker at `at` and its length, if there is one.
size_t meridiemAt(std::string_view pattern, size_t at) {
  for (std::string_view marker : {"am/pm", "a/p", "ampm"})
    if (at + marker.size() <= pattern.size() && sameWord(pattern.substr(at, marker.size()), marker))
      return marker.size();
  return 0;
}

bool hasMeridiem(std::string_view pattern) {
  bool quoted = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '"') quoted = !quoted;
    else if (!quoted && pattern[i] == '\\') ++i;
    else if (!quoted && meridiemAt(pattern, i)) return true;
  }
  return false;
}

std::string writeDate(const When& w, std::string_view pattern, const FormatSymbols& symbols) {
  const kevra::CivilDateTime& c = w.civil;
  const bool twelveHour = hasMeridiem(pattern);
  const int hour12 = c.hour % 12 == 0 ? 12 : c.hour % 12;
  std::string out;
  bool afterHour = false;  // m just after an hour means minutes
  for (size_t i = 0; i < pattern.size();) {
    const char raw = pattern[i];
    const char c0 = char(std::tolower(static_cast<unsigned char>(raw)));
    if (raw == '"') {
      const size_t end = pattern.find('"', i + 1);
      out += pattern.substr(i + 1, end == std::string_view::npos ? end : end - i - 1);
      i = end == std::string_view::npos ? pattern.size() : end + 1;
      continue;
    }
    if (raw == '\\' && i + 1 < pattern.size()) {
      out += pattern[i + 1];
      i += 2;
      continue;
    }
    if (const size_t marker = meridiemAt(pattern, i)) {
      const bool pm = c.hour >= 12;
      const std::string_view written = pattern.substr(i, marker);
      if (sameWord(written, "a/p")) {
        const char letter = pm ? written[2] : written[0];
        out += letter;
      } else {
        const bool lower = std::islower(static_cast<unsigned char>(written[0]));
        out += pm ? (lower ? "pm" : "PM") : (lower ? "am" : "AM");
      }
      i += marker;
      continue;
    }
    size_t n = 1;
    switch (c0) {
      case 'd':
        n = runOf(pattern, i, 'd');
        if (n == 1) out += std::to_string(c.day);
        else if (n == 2) out += twoDigits(c.day);
        else if (n == 3) out += symbols.dayAbbreviations[size_t(w.weekday)];
        else if (n == 4) out += symbols.dayNames[size_t(w.weekday)];
        else if (n == 5) out += writeDate(w, kShortDate, symbols);
        else out += writeDate(w, kLongDate, symbols);
        break;
      case 'm':
        n = runOf(pattern, i, 'm');
        if (afterHour && n <= 2) out += n == 1 ? std::to_string(c.minute) : twoDigits(c.minute);
        else if (n == 1) out += std::to_string(c.month);
        else if (n == 2) out += twoDigits(c.month);
        else if (n == 3) out += symbols.monthAbbreviations[size_t(c.month - 1)];
        else out += symbols.monthNames[size_t(c.month - 1)];
        break;
      case 'y':
        n = runOf(pattern, i, 'y');
        if (n == 1) out += std::to_string(w.dayOfYear);
        else if (n == 2) out += twoDigits(c.year % 100);
        else out += std::to_string(c.year);
        break;
      case 'h':
        n = std::min<size_t>(runOf(pattern, i, 'h'), 2);
        out += n == 1 ? std::to_string(twelveHour ? hour12 : c.hour) : twoDigits(twelveHour ? hour12 : c.hour);
        break;
      case 'n':
        n = std::min<size_t>(runOf(pattern, i, 'n'), 2);
        out += n == 1 ? std::to_string(c.minute) : twoDigits(c.minute);
        break;
      case 's':
        n = std::min<size_t>(runOf(pattern, i, 's'), 2);
        out += n == 1 ? std::to_string(c.second) : twoDigits(c.second);
        break;
      case 'q': out += std::to_string((c.month - 1) / 3 + 1); break;
      case 'w':
        n = std::min<size_t>(runOf(pattern, i, 'w'), 2);
        if (n == 1) {
          out += std::to_string(w.weekday + 1);
        } else {
          const int januaryFirst = ((w.weekday - (w.dayOfYear - 1)) % 7 + 7) % 7;
          out += std::to_string((w.dayOfYear - 1 + januaryFirst) / 7 + 1);
        }
        break;
      case 'c': out += generalDate(w, symbols); break;
      case 't':
        n = runOf(pattern, i, 't');
        if (n >= 5) out += writeDate(w, kLongTime, symbols);
        else out.append(pattern.substr(i, n));
        break;
      default: out += raw; break;
    }
    if (c0 == 'h') afterHour = true;
    else if (std::isalpha(static_cast<unsigned char>(c0))) afterHour = false;
    i += n;
  }
  return out;
}

// A custom format meant for dates: date codes outside quotes and no digit
// placeholders.
bool isDatePattern(std::string_view format) {
  bool codes = false, quoted = false;
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = char(std::tolower(static_cast<unsigned char>(format[i])));
    if (format[i] == '"') quoted = !quoted;
    else if (quoted) continue;
    else if (c == '\\') ++i;
    else if (c == '0' || c == '#') return false;
    else if (std::string_view("dmyhnsqwct").find(c) != std::string_view::npos) codes = true;
  }
  return codes;
}

std::optional<std::string> namedFormat(const kevra::Value& value, std::string_view name,
                                       const FormatSymbols& symbols, bool& known) {
  known = true;
  const std::string money = symbols.currencySymbol + "#,##0.00";
  static const std::pair<std::string_view, std::string_view> kNumbers[] = {
      {"Fixed", "0.00"}, {"Standard", "#,##0.00"}, {"Percent", "0.00%"}, {"Scientific", "0.00E+00"}};
  for (const auto& [named, pattern] : kNumbers)
    if (sameWord(name, named)) return formatNumber(value, pattern, symbols);
  if (sameWord(name, "Currency")) return formatNumber(value, money + ";(" + money + ")", symbols);
  if (sameWord(name, "Euro")) return formatNumber(value, "\\\xE2\x82\xAC#,##0.00;(\\\xE2\x82\xAC#,##0.00)", symbols);
  if (sameWord(name, "General Number")) return generalNumber(value, symbols);

  static const std::pair<std::string_view, std::string_view> kDates[] = {
      {"Long Date", kLongDate},       {"Medium Date", "dd-mmm-yy"},       {"Short Date", kShortDate},
      {"Long Time", kLongTime},       {"Medium Time", "h:nn AM/PM"},      {"Short Time", "hh:nn"}};
  for (const auto& [named, pattern] : kDates)
    if (sameWord(name, named)) {
      const std::optional<When> when = whenOf(value);
      if (!when) return std::nullopt;
      return writeDate(*when, pattern, symbols);
    }
  if (sameWord(name, "General Date")) {
    const std::optional<When> when = whenOf(value);
    if (!when) return std::nullopt;
    return generalDate(*when, symbols);
  }

  static const std::array<std::string_view, 3> kTruths[] = {
      {"Yes/No", "Yes", "No"}, {"True/False", "True", "False"}, {"On/Off", "On", "Off"}};
  for (const auto& words : kTruths)
    if (sameWord(name, words[0])) {
      const std::optional<Number> number = numberOf(value);
      if (!number) return std::nullopt;
      return std::string(number->isZero() ? words[2] : words[1]);
    }
  known = false;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> formatValue(const kevra::Value& value, std::string_view format,
                                       const FormatSymbols& symbols) {
  format = trimmed(format);
  if (format.empty()) return std::nullopt;
  if (std::holds_alternative<std::string>(value) || std::holds_alternative<kevra::Binary>(value) ||
      std::holds_alternative<kevra::Guid>(value) || std::holds_alternative<kevra::ExtendedDateTime>(value))
    return std::nullopt;
  bool known = false;
  std::optional<std::string> named = namedFormat(value, format, symbols, known);
  if (known) return named;
  if (isDatePattern(sectionsOf(format)[0])) {
    if (kevra::isNull(value)) return std::nullopt;
    const std::optional<When> when = whenOf(value);
    if (!when) return std::nullopt;
    return writeDate(*when, sectionsOf(format)[0], symbols);
  }
  return formatNumber(value, format, symbols);
}

}  // namespace kevra::expr
