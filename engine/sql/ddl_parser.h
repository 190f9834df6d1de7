// Grammar rules for the data-definition statements, used by the statement
// parser once it has read the leading CREATE, ALTER or DROP.
#pragma once
#include "engine/sql/ast.h"
#include "engine/expr/token_stream.h"

namespace kevra::sql {

Statement parseCreate(TokenStream& t);  // after CREATE
Statement parseAlter(TokenStream& t);   // after ALTER
Statement parseDrop(TokenStream& t);    // after DROP

}  // namespace kevra::sql
