// Expression grammar of Jet SQL, loosest binding first:
//   OR, AND, NOT, comparisons (= <> < <= > >= LIKE IS IN BETWEEN), &, + -,
//   MOD, \, * /, unary -, ^, then literals, names, calls and parentheses.
#pragma once
#include <functional>
#include <memory>
#include <string_view>

#include "engine/expr/expression.h"
#include "engine/expr/token_stream.h"

namespace kevra::expr {

// Reads the statement of a subquery once "(SELECT" has been read, up to but
// not including its ")". The statement layer gives one; without it a
// subquery is refused as a syntax error.
using SubqueryReader = std::function<std::shared_ptr<SubqueryStatement>(TokenStream&)>;

// Reads one expression starting at the stream's position.
ExprPtr parseExpression(TokenStream& tokens, const SubqueryReader& readSubquery = {});

// Parses text that holds exactly one expression (e.g. a default or a filter).
ExprPtr parseExpressionText(std::string_view text, const SubqueryReader& readSubquery = {});

}  // namespace kevra::expr
