// Parser: turns the text of one Jet SQL statement into its syntax tree.
// SELECT, INSERT, UPDATE, DELETE and the DDL forms (CREATE/DROP TABLE and
// INDEX, ALTER TABLE) are recognised; a trailing ';' is allowed.
#pragma once
#include <string_view>

#include "engine/sql/ast.h"

namespace kevra::sql {

// Throws SyntaxError (an EngineError) naming the position and the offending
// text when `sql` is not one well-formed statement.
Statement parseStatement(std::string_view sql);

class TokenStream;
// The rest of a SELECT once its SELECT keyword has been read (for subqueries).
SelectStatement parseSelectBody(TokenStream& tokens);

}  // namespace kevra::sql
