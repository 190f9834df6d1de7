// Tokens of Jet SQL text as the lexer hands them to the parser. Every token
// remembers where it started so errors can point at it.
#pragma once
#include <cstddef>
#include <string>

#include "engine/format/value.h"

namespace kevra::expr {

enum class TokenKind {
  Word,         // bare identifier or keyword; `text` as written
  Name,         // [bracketed name]; `text` without the brackets
  String,       // 'text' or "text"; `text` with doubled quotes collapsed
  Date,         // #...#; `value` holds the DateTime, `text` the inside
  Integer,      // `value` holds int32_t; past a Long a Decimal, or a double past 28 digits
  Number,       // with a point: a Decimal (a double past 28 digits); with an exponent: a double
  Symbol,       // operator or punctuation; `text` is the symbol ("<=", ",")
  End,          // end of the statement
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;    // see TokenKind
  std::string source;  // the characters exactly as they stand in the statement
  Value value;         // literals only
  size_t position = 0;  // 1-based character offset in the statement

  bool isSymbol(std::string_view s) const { return kind == TokenKind::Symbol && text == s; }
  // True for a bare word equal to `keyword` ignoring case (keyword given in upper case).
  bool isKeyword(std::string_view keyword) const;
};

// Words that cannot stand bare as a name; they need [brackets].
bool isReservedWord(std::string_view word);

}  // namespace kevra::expr
