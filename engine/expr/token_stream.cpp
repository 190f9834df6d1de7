// TokenStream implementation.
#include "engine/expr/token_stream.h"

#include "engine/expr/syntax_error.h"

namespace kevra::expr {

TokenStream::TokenStream(std::vector<Token> tokens) : tokens_(std::move(tokens)) {
  if (tokens_.empty() || tokens_.back().kind != TokenKind::End) {
    Token end;
    end.position = tokens_.empty() ? 1 : tokens_.back().position + tokens_.back().source.size();
    tokens_.push_back(end);
  }
}

const Token& TokenStream::peek(size_t ahead) const {
  return tokens_[std::min(at_ + ahead, tokens_.size() - 1)];
}

const Token& TokenStream::advance() {
  const Token& t = tokens_[at_];
  if (at_ + 1 < tokens_.size()) ++at_;
  return t;
}

bool TokenStream::acceptKeyword(std::string_view keyword) {
  if (!peek().isKeyword(keyword)) return false;
  advance();
  return true;
}

bool TokenStream::acceptSymbol(std::string_view symbol) {
  if (!peek().isSymbol(symbol)) return false;
  advance();
  return true;
}

void TokenStream::expectKeyword(std::string_view keyword) {
  if (!acceptKeyword(keyword)) fail(keyword);
}

void TokenStream::expectSymbol(std::string_view symbol) {
  if (!acceptSymbol(symbol)) fail("'" + std::string(symbol) + "'");
}

bool TokenStream::peekName() const {
  const Token& t = peek();
  return t.kind == TokenKind::Name || (t.kind == TokenKind::Word && !isReservedWord(t.text));
}

std::string TokenStream::expectName(std::string_view what) {
  if (!peekName()) fail(what);
  return advance().text;
}

std::string TokenStream::sourceSince(size_t mark) const {
  std::string text;
  size_t end = 0;  // character position just past the previous token
  for (size_t i = mark; i < at_ && i < tokens_.size(); ++i) {
    const Token& t = tokens_[i];
    if (i > mark && t.position != end) text += ' ';
    text += t.source;
    size_t chars = 0;
    for (unsigned char c : t.source) chars += (c & 0xC0) != 0x80;
    end = t.position + chars;
  }
  return text;
}

void TokenStream::fail(std::string_view expected) const {
  const Token& t = peek();
  throw SyntaxError(t.position, t.kind == TokenKind::End ? std::string_view() : std::string_view(t.source),
                    "expected " + std::string(expected));
}

}  // namespace kevra::expr
