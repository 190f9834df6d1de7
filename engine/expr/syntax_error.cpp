// Message layout for SQL syntax errors.
#include "engine/expr/syntax_error.h"

namespace kevra::expr {
namespace {

std::string describe(size_t position, std::string_view near, std::string_view problem) {
  std::string m = "Syntax error in SQL statement at position " + std::to_string(position);
  if (near.empty())
    m += " near end of statement";
  else
    m += " near '" + std::string(near) + "'";
  m += ": " + std::string(problem) + ".";
  return m;
}

}  // namespace

SyntaxError::SyntaxError(size_t position, std::string_view near, std::string_view problem)
    : EngineError(describe(position, near, problem)), position_(position) {}

}  // namespace kevra::expr
