// Parser: turns the text of one Jet SQL statement into its syntax tree.
// SELECT, INSERT, UPDATE, DELETE and the DDL forms (CREATE/DROP TABLE and
// INDEX, ALTER TABLE) are recognised; a trailing ';' is allowed.
#pragma once
#include <string_view>

#include "engine/expr/token_stream.h"
#include "engine/sql/ast.h"

namespace kevra::sql {

// Throws SyntaxError (an EngineError) naming the position and the offending
// text when `sql` is not one well-formed statement.
Statement parseStatement(std::string_view sql);

// An expression inside a statement: like expr::parseExpression, with
// subqueries allowed. The Text form parses text that holds one expression.
ExprPtr parseSqlExpression(TokenStream& tokens);
ExprPtr parseSqlExpressionText(std::string_view text);

}  // namespace kevra::sql
