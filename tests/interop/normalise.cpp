#include "normalise.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kevra::interop {

std::optional<std::string> canonicalDecimal(std::string_view text) {
  bool negative = false;
  size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::string intPart, fracPart;
  bool seenDot = false, anyDigit = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' && !seenDot) {
      seenDot = true;
    } else if (c >= '0' && c <= '9') {
      (seenDot ? fracPart : intPart) += c;
      anyDigit = true;
    } else {
      return std::nullopt;
    }
  }
  if (!anyDigit) return std::nullopt;
  size_t firstNonZero = intPart.find_first_not_of('0');
  intPart = firstNonZero == std::string::npos ? "0" : intPart.substr(firstNonZero);
  while (!fracPart.empty() && fracPart.back() == '0') fracPart.pop_back();
  std::string out = intPart;
  if (!fracPart.empty()) out += "." + fracPart;
  if (negative && out != "0") out = "-" + out;
  return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < text.size(); i += 4) {
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      char c = text[i + k];
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        v[k] = 0;
        ++pad;
      } else {
        if (pad) return std::nullopt;
        v[k] = value(c);
        if (v[k] < 0) return std::nullopt;
      }
    }
    uint32_t bits = uint32_t(v[0]) << 18 | uint32_t(v[1]) << 12 | uint32_t(v[2]) << 6 | uint32_t(v[3]);
    out += char(bits >> 16);
    if (pad < 2) out += char((bits >> 8) & 0xFF);
    if (pad < 1) out += char(bits & 0xFF);
  }
  return out;
}

namespace {

// Serial day number in the proleptic Gregorian calendar (fixed, arbitrary origin).
long daysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + long(doe);
}

bool digits(std::string_view s, size_t pos, size_t count, long& out) {
  if (pos + count > s.size()) return false;
  out = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

std::string describe(const Json* v) { return v ? v->dump() : std::string("(left out)"); }

// What an absent mdb-json member allows on our side: NULL, or an empty value.
bool emptyOrNull(int adoType, const Json& ours) {
  if (ours.isNull()) return true;
  switch (adoType) {
    case ado::VarWChar:
    case ado::WChar:
    case ado::LongVarWChar:
    case ado::VarBinary:
    case ado::Binary:
    case ado::LongVarBinary:
      return ours.isString() && ours.text.empty();
    default:
      return false;
  }
}

// JSON has no NaN or infinity: ours prints them as the strings "NaN",
// "Infinity" and "-Infinity"; mdb-json prints printf's nan/inf unquoted.
// nullopt when neither side is non-finite, else whether both agree.
std::optional<bool> nonFinite(const Json& mdb, const Json& ours) {
  auto mdbKind = [&]() -> std::string {
    std::string t = mdb.text;
    if (t == "nan" || t == "-nan") return "NaN";
    if (t == "inf") return "Infinity";
    if (t == "-inf") return "-Infinity";
    return "";
  }();
  bool oursSpecial = ours.isString() && (ours.text == "NaN" || ours.text == "Infinity" || ours.text == "-Infinity");
  if (mdbKind.empty() && !oursSpecial) return std::nullopt;
  return oursSpecial && ours.text == mdbKind;
}

std::string stripDashesUpper(std::string s) {
  std::string out;
  for (char c : s) {
    if (c == '-' || c == '{' || c == '}') continue;
    out += char(toupper(uint8_t(c)));
  }
  return out;
}

}  // namespace

std::optional<double> isoToSeconds(std::string_view s) {
  long y, mo, d, h, mi, sec;
  if (s.size() < 19 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':') return std::nullopt;
  if (!digits(s, 0, 4, y) || !digits(s, 5, 2, mo) || !digits(s, 8, 2, d) || !digits(s, 11, 2, h) ||
      !digits(s, 14, 2, mi) || !digits(s, 17, 2, sec))
    return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 59) return std::nullopt;
  double fraction = 0;
  if (s.size() > 19) {
    long ms;
    if (s.size() != 23 || s[19] != '.' || !digits(s, 20, 3, ms)) return std::nullopt;
    fraction = ms / 1000.0;
  }
  return double(daysFromCivil(y, unsigned(mo), unsigned(d))) * 86400.0 + double(h * 3600 + mi * 60 + sec) + fraction;
}

namespace {

// Whether `text` reads back as `value` and no text with fewer significant
// digits does. Read is strtod or strtof.
template <typename F, typename Read>
bool isShortest(const std::string& text, F value, Read read) {
  char* end = nullptr;
  F back = read(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !(back == value || (std::isnan(back) && std::isnan(value)))) return false;
  if (!std::isfinite(value)) return true;
  // A whole number written out in full is the value itself, digit for digit
  // (-349809312 for a Single whose shortest digits are 3.4980931e+08): the
  // shortest text without an exponent, which is what the export prints.
  if (text.find_first_of(".eE") == std::string::npos && std::strtod(text.c_str(), nullptr) == double(value)) return true;
  int significant = 0;
  bool leading = true;
  for (char c : text) {
    if (c == 'e' || c == 'E') break;
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++significant;
  }
  // Trailing zeros of an integer part ("1000") are not significant.
  if (text.find_first_of(".eE") == std::string::npos) {
    for (size_t i = text.size(); i > 0 && text[i - 1] == '0' && significant > 1; --i) --significant;
  }
  for (int p = 1; p < significant; ++p) {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*g", p, double(value));
    if (read(buf, nullptr) == value) return false;
  }
  return true;
}

}  // namespace

bool isShortestDouble(const std::string& text, double value) {
  return isShortest(text, value, [](const char* s, char** e) { return std::strtod(s, e); });
}

bool isShortestFloat(const std::string& text, float value) {
  return isShortest(text, value, [](const char* s, char** e) { return std::strtof(s, e); });
}

std::string compareWithMdbJson(int adoType, const Json* mdb, const Json& ours) {
  auto mismatch = [&](const std::string& why) {
    return why + ": mdb-json " + describe(mdb) + ", kevra " + ours.dump();
  };
  if (!mdb) return emptyOrNull(adoType, ours) ? "" : mismatch("mdb-json has NULL or empty");
  if (ours.isNull()) return mismatch("kevra has NULL");

  switch (adoType) {
    case ado::Boolean: {
      if (!ours.isBool()) return mismatch("Yes/No must be true/false");
      bool theirs = mdb->isBool() ? mdb->boolean : (mdb->isNumber() && mdb->text != "0");
      return theirs == ours.boolean ? "" : mismatch("different Yes/No");
    }
    case ado::UnsignedTinyInt:
    case ado::SmallInt:
    case ado::Integer: {
      if (!ours.isNumber()) return mismatch("integers must be JSON numbers");
      if (ours.text.find_first_of(".eE") != std::string::npos) return mismatch("integer printed with a fraction");
      return canonicalDecimal(ours.text) == canonicalDecimal(mdb->text) ? "" : mismatch("different integer");
    }
    case ado::Currency:
    case ado::Numeric: {
      if (!ours.isString()) return mismatch("Currency/Decimal must be JSON strings");
      auto a = canonicalDecimal(ours.text), b = canonicalDecimal(mdb->text);
      if (!a) return mismatch("not an exact decimal");
      return a == b ? "" : mismatch("different decimal");
    }
    case ado::Single: {
      if (auto special = nonFinite(*mdb, ours)) return *special ? "" : mismatch("different non-finite Single");
      if (!ours.isNumber()) return mismatch("Single must be a JSON number");
      float f = std::strtof(ours.text.c_str(), nullptr);
      if (!isShortestFloat(ours.text, f)) return mismatch("not the shortest text of the Single");
      char buf[400];
      std::snprintf(buf, sizeof buf, "%.8g", double(f));
      return mdb->text == buf ? "" : mismatch(std::string("different Single (ours as %.8g: ") + buf + ")");
    }
    case ado::Double: {
      if (auto special = nonFinite(*mdb, ours)) return *special ? "" : mismatch("different non-finite Double");
      if (!ours.isNumber()) return mismatch("Double must be a JSON number");
      double d = std::strtod(ours.text.c_str(), nullptr);
      if (!isShortestDouble(ours.text, d)) return mismatch("not the shortest text of the Double");
      char buf[400];
      std::snprintf(buf, sizeof buf, "%.16g", d);
      return mdb->text == buf ? "" : mismatch(std::string("different Double (ours as %.16g: ") + buf + ")");
    }
    case ado::Date: {
      if (!ours.isString()) return mismatch("Date/Time must be a JSON string");
      auto ourSeconds = isoToSeconds(ours.text);
      if (!ourSeconds) return mismatch("Date/Time not in the form YYYY-MM-DDTHH:MM:SS[.mmm]");
      if (mdb->text == kMdbtoolsNegativeDate) {
        // mdbtools cannot print dates before 1899-12-30; ours must be such a date.
        return *ourSeconds < *isoToSeconds("1899-12-30T00:00:00") ? "" : mismatch("mdbtools saw a negative serial");
      }
      auto theirSeconds = isoToSeconds(mdb->text);
      if (!theirSeconds) return mismatch("unexpected mdb-json date text");
      // mdbtools rounds the time of day to whole seconds; ours keeps milliseconds.
      return std::fabs(*ourSeconds - *theirSeconds) <= 0.5005 ? "" : mismatch("different Date/Time");
    }
    case ado::VarWChar:
    case ado::WChar:
    case ado::LongVarWChar:
      if (!ours.isString()) return mismatch("text must be a JSON string");
      return mdb->isString() && mdb->text == ours.text ? "" : mismatch("different text");
    case ado::VarBinary:
    case ado::Binary:
    case ado::LongVarBinary: {
      if (!ours.isString()) return mismatch("binary must be a base64 JSON string");
      const Json* b64 = mdb->find("$binary");
      if (!b64) return mismatch("mdb-json printed no $binary");
      if (!base64Decode(ours.text)) return mismatch("not valid base64");
      return b64->text == ours.text ? "" : mismatch("different bytes");
    }
    case ado::Guid: {
      if (!ours.isString()) return mismatch("GUID must be a JSON string");
      const std::string& g = ours.text;
      static const size_t dashes[] = {9, 14, 19, 24};
      bool shaped = g.size() == 38 && g.front() == '{' && g.back() == '}';
      for (size_t d : dashes) shaped = shaped && g[d] == '-';
      for (size_t i = 1; shaped && i + 1 < g.size(); ++i)
        if (g[i] != '-' && !(isdigit(uint8_t(g[i])) || (g[i] >= 'A' && g[i] <= 'F'))) shaped = false;
      if (!shaped) return mismatch("GUID not in the form {8-4-4-4-12} upper case");
      const Json* b64 = mdb->find("$binary");
      auto text = b64 ? base64Decode(b64->text) : std::nullopt;
      if (!text) return mismatch("mdb-json GUID not decodable");
      return stripDashesUpper(*text) == stripDashesUpper(g) ? "" : mismatch("different GUID");
    }
    default:
      return mismatch("column type " + std::to_string(adoType) + " has no comparison");
  }
}

std::string alignmentKey(int adoType, const Json* value, bool fromMdbJson) {
  if (!value || value->isNull()) return "";
  const Json& v = *value;
  char buf[400];
  switch (adoType) {
    case ado::Boolean:
      return (v.isBool() ? v.boolean : v.text != "0") ? "1" : "0";
    case ado::Single:
    case ado::Double: {
      if (v.isString() || v.text.find_first_of("ni") != std::string::npos) return "special";
      std::snprintf(buf, sizeof buf, "%.6g", std::strtod(v.text.c_str(), nullptr));
      return buf;
    }
    case ado::Date:
      if (v.text == kMdbtoolsNegativeDate || v.text < "1899-12-30") return "negative";
      return v.text.substr(0, 10);
    case ado::VarBinary:
    case ado::Binary:
    case ado::LongVarBinary:
      return fromMdbJson ? (v.find("$binary") ? v.find("$binary")->text : "") : v.text;
    case ado::Guid: {
      if (!fromMdbJson) return stripDashesUpper(v.text);
      const Json* b64 = v.find("$binary");
      auto text = b64 ? base64Decode(b64->text) : std::nullopt;
      return text ? stripDashesUpper(*text) : "";
    }
    default: {
      if (v.isNumber()) return canonicalDecimal(v.text).value_or(v.text);
      if (adoType == ado::Currency || adoType == ado::Numeric) return canonicalDecimal(v.text).value_or(v.text);
      return v.text;
    }
  }
}

}  // namespace kevra::interop
