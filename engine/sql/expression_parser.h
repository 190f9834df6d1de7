// Expression grammar of Jet SQL, loosest binding first:
//   OR, AND, NOT, comparisons (= <> < <= > >= LIKE IS IN BETWEEN), &, + -,
//   MOD, \, * /, unary -, ^, then literals, names, calls and parentheses.
#pragma once
#include <string_view>

#include "engine/sql/ast.h"
#include "engine/sql/token_stream.h"

namespace kevra::sql {

// Reads one expression starting at the stream's position.
ExprPtr parseExpression(TokenStream& tokens);

// Parses text that holds exactly one expression (e.g. a filter).
ExprPtr parseExpressionText(std::string_view text);

}  // namespace kevra::sql
