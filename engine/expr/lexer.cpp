// Lexer implementation: a single forward pass over UTF-8 text.
#include "engine/expr/lexer.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "engine/expr/date_literal.h"
#include "engine/expr/numeric_value.h"
#include "engine/expr/syntax_error.h"

namespace kevra::expr {
namespace {

class Lexer {
 public:
  explicit Lexer(std::string_view sql) : sql_(sql) {}

  std::vector<Token> run() {
    std::vector<Token> out;
    while (true) {
      skipBlanks();
      if (at_ >= sql_.size()) {
        Token end;
        end.kind = TokenKind::End;
        end.position = charPosition(at_);
        out.push_back(std::move(end));
        return out;
      }
      out.push_back(next());
    }
  }

 private:
  // 1-based character (not byte) position of `byte`. Tokens are asked for in
  // order, so counting continues from the previous answer.
  size_t charPosition(size_t byte) const {
    if (byte < countedBytes_) countedBytes_ = 0, countedChars_ = 0;
    for (; countedBytes_ < byte && countedBytes_ < sql_.size(); ++countedBytes_)
      if ((static_cast<unsigned char>(sql_[countedBytes_]) & 0xC0) != 0x80) ++countedChars_;
    return countedChars_ + 1;
  }

  void skipBlanks() {
    while (at_ < sql_.size() && std::isspace(static_cast<unsigned char>(sql_[at_]))) ++at_;
  }

  static bool wordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
  static bool wordPart(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

  Token make(TokenKind kind, size_t start, std::string text) const {
    Token t;
    t.kind = kind;
    t.text = std::move(text);
    t.source = std::string(sql_.substr(start, at_ - start));
    t.position = charPosition(start);
    return t;
  }

  [[noreturn]] void fail(size_t start, std::string_view problem) const {
    std::string_view near = sql_.substr(start, std::min<size_t>(20, sql_.size() - start));
    throw SyntaxError(charPosition(start), near, problem);
  }

  Token next() {
    const size_t start = at_;
    const unsigned char c = sql_[at_];
    if (c == '[') return bracketName(start);
    if (c == '\'' || c == '"') return quoted(start, char(c));
    if (c == '#') return date(start);
    if (std::isdigit(c) || (c == '.' && at_ + 1 < sql_.size() && std::isdigit((unsigned char)sql_[at_ + 1])))
      return number(start);
    if (wordStart(c)) {
      while (at_ < sql_.size() && wordPart(static_cast<unsigned char>(sql_[at_]))) ++at_;
      return make(TokenKind::Word, start, std::string(sql_.substr(start, at_ - start)));
    }
    static const char* const twoChar[] = {"<=", ">=", "<>"};
    for (const char* s : twoChar) {
      if (sql_.substr(at_, 2) == s) {
        at_ += 2;
        return make(TokenKind::Symbol, start, s);
      }
    }
    if (std::string_view("=<>(),.*+-/\\&^;!").find(char(c)) != std::string_view::npos) {
      ++at_;
      return make(TokenKind::Symbol, start, std::string(1, char(c)));
    }
    fail(start, "unexpected character");
  }

  Token bracketName(size_t start) {
    const size_t close = sql_.find(']', start + 1);
    if (close == std::string_view::npos) fail(start, "the name has no closing ']'");
    at_ = close + 1;
    std::string name(sql_.substr(start + 1, close - start - 1));
    if (name.empty()) fail(start, "a name in brackets cannot be empty");
    return make(TokenKind::Name, start, std::move(name));
  }

  Token quoted(size_t start, char quote) {
    std::string text;
    size_t i = start + 1;
    while (true) {
      if (i >= sql_.size()) fail(start, "the text has no closing quote");
      if (sql_[i] == quote) {
        if (i + 1 < sql_.size() && sql_[i + 1] == quote) {
          text += quote;
          i += 2;
          continue;
        }
        break;
      }
      text += sql_[i++];
    }
    at_ = i + 1;
    Token t = make(TokenKind::String, start, text);
    t.value = std::move(text);
    return t;
  }

  Token date(size_t start) {
    const size_t close = sql_.find('#', start + 1);
    if (close == std::string_view::npos) fail(start, "the date has no closing '#'");
    at_ = close + 1;
    std::string inside(sql_.substr(start + 1, close - start - 1));
    std::optional<DateTime> serial = parseDateLiteral(inside);
    if (!serial) fail(start, "not a valid date");
    Token t = make(TokenKind::Date, start, inside);
    t.value = *serial;
    return t;
  }

  Token number(size_t start) {
    bool decimal = false;
    while (at_ < sql_.size() && std::isdigit((unsigned char)sql_[at_])) ++at_;
    if (at_ < sql_.size() && sql_[at_] == '.') {
      decimal = true;
      ++at_;
      while (at_ < sql_.size() && std::isdigit((unsigned char)sql_[at_])) ++at_;
    }
    if (at_ < sql_.size() && (sql_[at_] == 'e' || sql_[at_] == 'E')) {
      size_t e = at_ + 1;
      if (e < sql_.size() && (sql_[e] == '+' || sql_[e] == '-')) ++e;
      if (e < sql_.size() && std::isdigit((unsigned char)sql_[e])) {
        decimal = true;
        at_ = e;
        while (at_ < sql_.size() && std::isdigit((unsigned char)sql_[at_])) ++at_;
      }
    }
    if (at_ < sql_.size() && wordStart((unsigned char)sql_[at_])) fail(start, "not a valid number");
    std::string text(sql_.substr(start, at_ - start));
    Token t = make(decimal ? TokenKind::Number : TokenKind::Integer, start, text);
    const double d = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(d)) fail(start, "a number too large");
    if (!decimal && d <= double(std::numeric_limits<int32_t>::max())) {
      t.value = int32_t(std::strtol(text.c_str(), nullptr, 10));
      return t;
    }
    // Without an exponent a number is exact: a Decimal while its digits fit
    // one (a whole number past a Long too), so that 0.1 + 0.2 is 0.3 and a
    // literal reaches a Currency or Decimal field as written. An exponent
    // makes it a Double.
    const bool exponent = text.find_first_of("eE") != std::string::npos;
    if (!exponent)
      if (auto n = numericFromText(text))
        if (auto dec = decimalOf(*n); dec && n->scale <= 28) {
          t.value = *dec;
          return t;
        }
    t.value = d;
    return t;
  }

  std::string_view sql_;
  size_t at_ = 0;
  mutable size_t countedBytes_ = 0;
  mutable size_t countedChars_ = 0;
};

}  // namespace

std::vector<Token> tokenize(std::string_view sql) { return Lexer(sql).run(); }

}  // namespace kevra::expr
