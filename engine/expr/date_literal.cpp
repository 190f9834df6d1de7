// Date literal reader. Accepts y-m-d with a four-digit year, m/d/y (US order, a
// two-digit year maps 00-29 to 2000s and 30-99 to 1900s), English month names
// (31-Jan-2024, Jan 31, 2024, 31 January 2024), an optional time of h:m[:s]
// with an optional AM/PM (after a blank or ISO's T), or a time on its own (a
// serial below one).
#include "engine/expr/date_literal.h"

#include "engine/format/value_text.h"

#include <cctype>
#include <cmath>
#include <vector>

namespace kevra::expr {
namespace {

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leapYear(y) ? 29 : days[m - 1];
}

// Splits text into runs of digits, runs of letters, and single separators;
// blanks separate and are dropped.
struct Piece {
  std::string text;
  bool digits;
};

std::vector<Piece> split(std::string_view text) {
  std::vector<Piece> out;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = text[i];
    if (std::isspace(c)) {
      ++i;
    } else if (std::isdigit(c) || std::isalpha(c)) {
      bool digits = std::isdigit(c);
      size_t j = i;
      while (j < text.size() && (digits ? std::isdigit((unsigned char)text[j]) : std::isalpha((unsigned char)text[j])))
        ++j;
      out.push_back({std::string(text.substr(i, j - i)), digits});
      i = j;
    } else {
      out.push_back({std::string(1, char(c)), false});
      ++i;
    }
  }
  return out;
}

// 1-12 for an English month name or its first three letters, else 0.
int monthNumber(const std::string& word) {
  static const char* const names[] = {"january", "february", "march",     "april",   "may",      "june",
                                      "july",    "august",   "september", "october", "november", "december"};
  if (word.size() < 3) return 0;
  std::string lower;
  for (char c : word) lower += char(std::tolower(static_cast<unsigned char>(c)));
  for (int m = 0; m < 12; ++m) {
    const std::string full = names[m];
    if (lower == full || (lower.size() == 3 && full.compare(0, 3, lower) == 0)) return m + 1;
  }
  return 0;
}

bool isNumber(const std::vector<Piece>& p, size_t i) { return i < p.size() && p[i].digits && p[i].text.size() <= 9; }
bool isSep(const std::vector<Piece>& p, size_t i, char c) { return i < p.size() && p[i].text.size() == 1 && p[i].text[0] == c; }

}  // namespace

DateTime dateSerial(int year, int month, int day, int hour, int minute, int second) {
  return fromCivil(CivilDateTime{year, month, day, hour, minute, second, 0});
}

std::optional<DateTime> parseDateLiteral(std::string_view text) {
  const std::vector<Piece> p = split(text);
  size_t i = 0;
  bool haveDate = false;
  int year = 1899, month = 12, day = 30;

  auto twoDigitYear = [](const Piece& piece, int y) { return piece.text.size() <= 2 ? y + (y < 30 ? 2000 : 1900) : y; };
  if (isNumber(p, i) && (isSep(p, i + 1, '-') || isSep(p, i + 1, '/'))) {
    const char sep = p[i + 1].text[0];
    if (!isSep(p, i + 3, sep) || !isNumber(p, i + 4)) return std::nullopt;
    const int a = std::stoi(p[i].text), c = std::stoi(p[i + 4].text);
    if (isNumber(p, i + 2)) {
      const int b = std::stoi(p[i + 2].text);
      if (p[i].text.size() == 4)  // y-m-d or y/m/d
        year = a, month = b, day = c;
      else  // m/d/y or m-d-y
        month = a, day = b, year = twoDigitYear(p[i + 4], c);
    } else if (int m = monthNumber(p[i + 2].text)) {  // 31-Jan-2024
      day = a, month = m, year = twoDigitYear(p[i + 4], c);
    } else {
      return std::nullopt;
    }
    haveDate = true;
    i += 5;
  } else if (i < p.size() && monthNumber(p[i].text) && isNumber(p, i + 1)) {  // Jan 31, 2024
    month = monthNumber(p[i].text);
    day = std::stoi(p[i + 1].text);
    const size_t y = isSep(p, i + 2, ',') ? i + 3 : i + 2;
    if (!isNumber(p, y)) return std::nullopt;
    year = twoDigitYear(p[y], std::stoi(p[y].text));
    haveDate = true;
    i = y + 1;
  } else if (isNumber(p, i) && i + 1 < p.size() && monthNumber(p[i + 1].text) && isNumber(p, i + 2)) {
    day = std::stoi(p[i].text);  // 31 January 2024
    month = monthNumber(p[i + 1].text);
    year = twoDigitYear(p[i + 2], std::stoi(p[i + 2].text));
    haveDate = true;
    i += 3;
  }
  if (haveDate &&
      (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)))
    return std::nullopt;
  // ISO puts a T between date and time.
  if (haveDate && i < p.size() && (p[i].text == "T" || p[i].text == "t") && isNumber(p, i + 1)) ++i;

  int hour = 0, minute = 0, second = 0;
  bool haveTime = false;
  if (isNumber(p, i) && isSep(p, i + 1, ':')) {
    if (!isNumber(p, i + 2)) return std::nullopt;
    hour = std::stoi(p[i].text);
    minute = std::stoi(p[i + 2].text);
    i += 3;
    if (isSep(p, i, ':')) {
      if (!isNumber(p, i + 1)) return std::nullopt;
      second = std::stoi(p[i + 1].text);
      i += 2;
    }
    if (i < p.size() && !p[i].digits && p[i].text.size() == 2) {
      std::string w = p[i].text;
      for (char& ch : w) ch = char(std::toupper((unsigned char)ch));
      if (w == "AM" || w == "PM") {
        if (hour < 1 || hour > 12) return std::nullopt;
        if (w == "AM" && hour == 12) hour = 0;
        if (w == "PM" && hour != 12) hour += 12;
        ++i;
      }
    }
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    haveTime = true;
  }
  if (i != p.size() || (!haveDate && !haveTime)) return std::nullopt;
  return dateSerial(year, month, day, hour, minute, second);
}

}  // namespace kevra::expr
