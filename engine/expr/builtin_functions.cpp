// Built-in function table. Text functions count characters, not bytes.
#include "engine/expr/builtin_functions.h"

#include <cstdlib>
#include <functional>
#include <string>

#include "engine/expr/conversion_functions.h"
#include "engine/expr/date_functions.h"
#include "engine/expr/numeric_value.h"
#include "engine/expr/text_collation.h"
#include "engine/expr/value_arithmetic.h"
#include "engine/util/error.h"

namespace kevra::expr {
namespace {

std::string asText(const Value& v) {
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  return std::get<std::string>(applyBinaryArithmetic("&", v, Value{}));
}

int64_t asInteger(const Value& v, std::string_view function) {
  auto n = numericOf(v);
  if (!n) {
    if (auto* s = std::get_if<std::string>(&v)) n = numericFromText(*s);
    if (!n) throw EngineError("Data type mismatch in the arguments of " + std::string(function) + ".");
  }
  // Text positions and lengths fit a Long; anything beyond is refused rather than wrapped.
  if (!(n->approx > -2147483649.0 && n->approx < 2147483648.0))
    throw EngineError("An argument of " + std::string(function) + " is out of range.");
  return int64_t(n->approx);
}

// Byte offset of the character at `index` (0-based) in UTF-8 text, or size().
size_t byteOfChar(const std::string& s, int64_t index) {
  size_t i = 0;
  for (int64_t seen = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (seen == index) return i;
      ++seen;
    }
  }
  return s.size();
}

int64_t charCount(const std::string& s) {
  int64_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// ASCII and Latin-1 letters change case; other characters are kept.
std::string changeCase(const std::string& s, bool upper) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      out += char(upper ? std::toupper(c) : std::tolower(c));
    } else if (c == 0xC3 && i + 1 < s.size()) {  // U+00C0..U+00FF
      unsigned char next = s[++i];
      const char32_t cp = 0xC0 + (next & 0x3F);
      if (upper && cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) next -= 0x20;
      if (!upper && cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) next += 0x20;
      out += char(c);
      out += char(next);
    } else {
      out += char(c);
    }
  }
  return out;
}

std::string trim(const std::string& s, bool left, bool right) {
  size_t b = 0, e = s.size();
  if (left)
    while (b < e && s[b] == ' ') ++b;
  if (right)
    while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

void requireArgs(std::string_view name, const std::vector<Value>& args, size_t low, size_t high) {
  if (args.size() < low || args.size() > high)
    throw EngineError("Wrong number of arguments used with function '" + std::string(name) + "' in query expression.");
}

bool sameName(std::string_view a, std::string_view b) { return compareTextIgnoringCase(a, b) == 0; }

// InStr([start, ]text, sought): 1-based character position of `sought` in
// `text` from `start` on, ignoring case; 0 when absent.
Value inStr(const std::vector<Value>& args) {
  requireArgs("InStr", args, 2, 3);
  for (const Value& a : args)
    if (isNull(a)) return Value{};
  const bool withStart = args.size() == 3;
  const int64_t start = withStart ? asInteger(args[0], "InStr") : 1;
  if (start < 1) throw EngineError("Invalid procedure call: InStr starts at position 1.");
  const std::u32string text = foldedCodePoints(asText(args[withStart ? 1 : 0]));
  const std::u32string sought = foldedCodePoints(asText(args[withStart ? 2 : 1]));
  if (size_t(start - 1) > text.size()) return int32_t(0);
  const size_t at = text.find(sought, size_t(start - 1));
  return int32_t(at == std::u32string::npos ? 0 : at + 1);
}

// Replace(text, find, with): every occurrence of `find`, matched ignoring case.
Value replaceText(const std::vector<Value>& args) {
  requireArgs("Replace", args, 3, 3);
  if (isNull(args[0])) return Value{};
  const std::u32string text = codePoints(asText(args[0]));
  const std::u32string foldedText = foldedCodePoints(asText(args[0]));
  const std::u32string find = isNull(args[1]) ? std::u32string() : foldedCodePoints(asText(args[1]));
  const std::u32string with = isNull(args[2]) ? std::u32string() : codePoints(asText(args[2]));
  if (find.empty()) return utf8Of(text);
  std::u32string out;
  size_t from = 0;
  for (size_t at = foldedText.find(find); at != std::u32string::npos; at = foldedText.find(find, from)) {
    out.append(text, from, at - from);
    out += with;
    from = at + find.size();
  }
  out.append(text, from, std::u32string::npos);
  return utf8Of(out);
}

}  // namespace

Value callBuiltinFunction(std::string_view name, const std::vector<Value>& args) {
  if (auto v = callDateFunction(name, args)) return *v;
  if (auto v = callConversionFunction(name, args)) return *v;
  if (sameName(name, "Nz")) {
    requireArgs(name, args, 1, 2);
    if (!isNull(args[0])) return args[0];
    return args.size() == 2 ? args[1] : Value{std::string()};
  }
  if (sameName(name, "IsNull")) {
    requireArgs(name, args, 1, 1);
    return isNull(args[0]);
  }
  using TextFunction = std::function<Value(const std::string&, const std::vector<Value>&)>;
  struct Entry {
    const char* name;
    size_t low, high;
    TextFunction fn;
  };
  static const Entry textFunctions[] = {
      {"UCase", 1, 1, [](const std::string& s, auto&) { return Value{changeCase(s, true)}; }},
      {"LCase", 1, 1, [](const std::string& s, auto&) { return Value{changeCase(s, false)}; }},
      {"Len", 1, 1, [](const std::string& s, auto&) { return Value{int32_t(charCount(s))}; }},
      {"Trim", 1, 1, [](const std::string& s, auto&) { return Value{trim(s, true, true)}; }},
      {"LTrim", 1, 1, [](const std::string& s, auto&) { return Value{trim(s, true, false)}; }},
      {"RTrim", 1, 1, [](const std::string& s, auto&) { return Value{trim(s, false, true)}; }},
      {"Left", 2, 2,
       [](const std::string& s, auto& a) {
         return Value{s.substr(0, byteOfChar(s, std::max<int64_t>(0, asInteger(a[1], "Left"))))};
       }},
      {"Right", 2, 2,
       [](const std::string& s, auto& a) {
         const int64_t keep = std::max<int64_t>(0, asInteger(a[1], "Right"));
         return Value{s.substr(byteOfChar(s, std::max<int64_t>(0, charCount(s) - keep)))};
       }},
      {"Mid", 2, 3,
       [](const std::string& s, auto& a) {
         const int64_t start = asInteger(a[1], "Mid");
         if (start < 1) throw EngineError("Invalid procedure call: Mid starts at position 1.");
         const size_t from = byteOfChar(s, start - 1);
         if (a.size() < 3) return Value{s.substr(from)};
         const size_t to = byteOfChar(s, start - 1 + std::max<int64_t>(0, asInteger(a[2], "Mid")));
         return Value{s.substr(from, to - from)};
       }},
  };
  if (sameName(name, "InStr")) return inStr(args);
  if (sameName(name, "Replace")) return replaceText(args);
  for (const Entry& f : textFunctions) {
    if (!sameName(name, f.name)) continue;
    requireArgs(name, args, f.low, f.high);
    for (const Value& a : args)
      if (isNull(a)) return Value{};
    return f.fn(asText(args[0]), args);
  }
  throw EngineError("Undefined function '" + std::string(name) + "' in expression.");
}

}  // namespace kevra::expr
