// TokenStream: the parser's read position over a token list, with the
// expect-or-fail helpers every grammar rule uses.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/token.h"

namespace kevra::expr {

class TokenStream {
 public:
  explicit TokenStream(std::vector<Token> tokens);

  const Token& peek(size_t ahead = 0) const;
  const Token& advance();  // returns the token it moved past
  bool atEnd() const { return peek().kind == TokenKind::End; }
  // The read position, and the statement's text from a position to the
  // current one as written (one space where the statement had blanks).
  size_t mark() const { return at_; }
  std::string sourceSince(size_t mark) const;

  bool acceptKeyword(std::string_view keyword);  // upper case
  bool acceptSymbol(std::string_view symbol);
  void expectKeyword(std::string_view keyword);
  void expectSymbol(std::string_view symbol);
  // A [bracketed] name or a bare word that is not reserved; `what` names the
  // thing expected in the error ("a table name").
  std::string expectName(std::string_view what);
  bool peekName() const;

  // Throws SyntaxError at the current token: "expected <what>".
  [[noreturn]] void fail(std::string_view expected) const;

 private:
  std::vector<Token> tokens_;
  size_t at_ = 0;
};

}  // namespace kevra::expr
