// Format codes are scanned outside quoted text, escapes and bracketed parts:
// y, m, d, h or s make a date; a currency sign (or a [$sign-locale] part)
// makes money.
#include "engine/isam/excel_number_format.h"

#include <cctype>

namespace kevra {

NumberKind classifyNumberFormat(uint16_t index, const std::string& code) {
  if (code.empty()) {
    if ((index >= 14 && index <= 22) || (index >= 45 && index <= 47)) return NumberKind::Date;
    if ((index >= 5 && index <= 8) || index == 42 || index == 44) return NumberKind::Currency;
    return NumberKind::Plain;
  }
  std::string lower;
  for (char c : code) lower.push_back(char(std::tolower(static_cast<unsigned char>(c))));
  if (lower == "general" || lower == "standard" || lower == "@") return NumberKind::Plain;
  bool date = false, money = false;
  for (size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') {
      const size_t end = code.find('"', i + 1);
      const std::string quoted = code.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      if (quoted.find('$') != std::string::npos || quoted.find("\xE2\x82\xAC") != std::string::npos ||
          quoted.find("\xC2\xA3") != std::string::npos || quoted.find("\xC2\xA5") != std::string::npos)
        money = true;
      if (end == std::string::npos) break;
      i = end;
    } else if (c == '\\' || c == '_' || c == '*') {
      if (c == '\\' && i + 1 < code.size() && code[i + 1] == '$') money = true;
      ++i;
    } else if (c == '[') {
      const size_t end = code.find(']', i);
      const std::string inside = code.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      if (!inside.empty() && inside[0] == '$') {
        const size_t dash = inside.find('-');
        if (dash != 1) money = true;  // [$€-407] names a currency sign; [$-409] only a locale
      } else if (inside == "h" || inside == "hh" || inside == "m" || inside == "mm" || inside == "s" || inside == "ss") {
        date = true;
      }
      if (end == std::string::npos) break;
      i = end;
    } else if (c == ';') {
      break;  // the first section decides
    } else {
      const char l = char(std::tolower(static_cast<unsigned char>(c)));
      if (l == 'y' || l == 'd' || l == 'h' || l == 's' || l == 'm') date = true;
      if (c == '$') money = true;
      if (static_cast<unsigned char>(c) >= 0x80 && (code.compare(i, 3, "\xE2\x82\xAC") == 0 ||
                                                    code.compare(i, 2, "\xC2\xA3") == 0 ||
                                                    code.compare(i, 2, "\xC2\xA5") == 0))
        money = true;
    }
  }
  if (date) return NumberKind::Date;
  if (money) return NumberKind::Currency;
  return NumberKind::Plain;
}

}  // namespace kevra
