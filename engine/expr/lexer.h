// Lexer: cuts Jet SQL text into tokens. Knows literals (texts in either
// quote, #dates#, numbers), bare words, [bracketed names] and operators;
// knows nothing about statements.
#pragma once
#include <string_view>
#include <vector>

#include "engine/expr/token.h"

namespace kevra::expr {

// All tokens of `sql`, ending with one End token. Throws SyntaxError for an
// unterminated literal or name, an invalid date, or a stray character.
std::vector<Token> tokenize(std::string_view sql);

}  // namespace kevra::expr
