#include "json_lite.h"

#include <cstdint>
#include <stdexcept>

namespace kevra::interop {

namespace {

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}

  Json document() {
    Json v = value(0);
    skipSpace();
    if (pos_ != s_.size()) fail("trailing characters");
    return v;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
  }
  void skipSpace() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) ++pos_;
  }
  char peek() {
    skipSpace();
    if (pos_ >= s_.size()) fail("unexpected end");
    return s_[pos_];
  }
  void expect(char c) {
    if (peek() != c) fail(std::string("expected '") + c + "'");
    ++pos_;
  }
  bool literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  Json value(int depth) {
    if (depth > 64) fail("nesting too deep");
    Json v;
    char c = peek();
    if (c == '{') {
      v.kind = Json::Kind::Object;
      ++pos_;
      if (peek() == '}') {
        ++pos_;
        return v;
      }
      for (;;) {
        if (peek() != '"') fail("expected a member name");
        std::string name = string();
        expect(':');
        v.members.emplace_back(std::move(name), value(depth + 1));
        c = peek();
        ++pos_;
        if (c == '}') return v;
        if (c != ',') fail("expected ',' or '}'");
      }
    }
    if (c == '[') {
      v.kind = Json::Kind::Array;
      ++pos_;
      if (peek() == ']') {
        ++pos_;
        return v;
      }
      for (;;) {
        v.items.push_back(value(depth + 1));
        c = peek();
        ++pos_;
        if (c == ']') return v;
        if (c != ',') fail("expected ',' or ']'");
      }
    }
    if (c == '"') {
      v.kind = Json::Kind::String;
      v.text = string();
      return v;
    }
    if (literal("null")) return v;
    if (literal("true")) {
      v.kind = Json::Kind::Bool;
      v.boolean = true;
      return v;
    }
    if (literal("false")) {
      v.kind = Json::Kind::Bool;
      return v;
    }
    size_t start = pos_;
    if (pos_ < s_.size() && (s_[pos_] == '-' || s_[pos_] == '+')) ++pos_;
    while (pos_ < s_.size() && (isdigit(uint8_t(s_[pos_])) || s_[pos_] == '.' || s_[pos_] == 'e' ||
                                s_[pos_] == 'E' || s_[pos_] == '-' || s_[pos_] == '+'))
      ++pos_;
    // mdb-json may print non-finite doubles as they come from printf.
    if (pos_ == start || (pos_ == start + 1 && !isdigit(uint8_t(s_[start])))) {
      if (literal("inf") || literal("nan") || literal("-inf") || literal("-nan")) {
        v.kind = Json::Kind::Number;
        v.text = std::string(s_.substr(start, pos_ - start));
        return v;
      }
      fail("unexpected character");
    }
    v.kind = Json::Kind::Number;
    v.text = std::string(s_.substr(start, pos_ - start));
    return v;
  }

  uint32_t hex4() {
    if (pos_ + 4 > s_.size()) fail("short \\u escape");
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) {
      char h = s_[pos_++];
      u <<= 4;
      if (h >= '0' && h <= '9') u |= uint32_t(h - '0');
      else if (h >= 'a' && h <= 'f') u |= uint32_t(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') u |= uint32_t(h - 'A' + 10);
      else fail("bad hex digit");
    }
    return u;
  }

  static void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | (cp >> 6));
      out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += char(0xE0 | (cp >> 12));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xF0 | (cp >> 18));
      out += char(0x80 | ((cp >> 12) & 0x3F));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  }

  std::string string() {
    expect('"');
    std::string out;
    for (;;) {
      if (pos_ >= s_.size()) fail("unterminated string");
      char c = s_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) fail("unterminated escape");
      char e = s_[pos_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t cp = hex4();
          if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(pos_, 2) == "\\u") {
            pos_ += 2;
            uint32_t low = hex4();
            if (low >= 0xDC00 && low < 0xE000) cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            else fail("unpaired surrogate");
          }
          appendUtf8(out, cp);
          break;
        }
        default: fail("bad escape");
      }
    }
  }

  std::string_view s_;
  size_t pos_ = 0;
};

void dumpString(std::string& out, const std::string& s) {
  out += '"';
  for (char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (uint8_t(c) < 0x20) {
      static const char* hex = "0123456789abcdef";
      out += "\\u00";
      out += hex[uint8_t(c) >> 4];
      out += hex[uint8_t(c) & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

void dumpValue(std::string& out, const Json& v) {
  switch (v.kind) {
    case Json::Kind::Null: out += "null"; break;
    case Json::Kind::Bool: out += v.boolean ? "true" : "false"; break;
    case Json::Kind::Number: out += v.text; break;
    case Json::Kind::String: dumpString(out, v.text); break;
    case Json::Kind::Array:
      out += '[';
      for (size_t i = 0; i < v.items.size(); ++i) {
        if (i) out += ',';
        dumpValue(out, v.items[i]);
      }
      out += ']';
      break;
    case Json::Kind::Object:
      out += '{';
      for (size_t i = 0; i < v.members.size(); ++i) {
        if (i) out += ',';
        dumpString(out, v.members[i].first);
        out += ':';
        dumpValue(out, v.members[i].second);
      }
      out += '}';
      break;
  }
}

}  // namespace

const Json* Json::find(std::string_view name) const {
  for (const auto& [key, value] : members)
    if (key == name) return &value;
  return nullptr;
}

const Json& Json::at(std::string_view name) const {
  if (const Json* v = find(name)) return *v;
  throw std::runtime_error("JSON: no member '" + std::string(name) + "' in " + dump().substr(0, 200));
}

std::string Json::dump() const {
  std::string out;
  dumpValue(out, *this);
  return out;
}

Json parseJson(std::string_view text) { return Reader(text).document(); }

}  // namespace kevra::interop
