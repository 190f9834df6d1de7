// Keyword recognition for tokens.
#include "engine/expr/token.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace kevra::expr {
namespace {

bool equalsUpper(std::string_view word, std::string_view upper) {
  if (word.size() != upper.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(word[i])) != upper[i]) return false;
  return true;
}

}  // namespace

bool Token::isKeyword(std::string_view keyword) const {
  return kind == TokenKind::Word && equalsUpper(text, keyword);
}

bool isReservedWord(std::string_view word) {
  static constexpr std::array<std::string_view, 53> reserved = {
      "ADD",    "ALL",     "ALTER",   "AND",        "AS",     "ASC",    "BETWEEN", "BY",      "COLUMN",
      "CONSTRAINT", "CREATE", "DELETE", "DESC",   "DISTINCT", "DISTINCTROW", "DROP", "FALSE",   "FOREIGN",
      "FROM",   "GROUP",   "HAVING",   "IN",      "INDEX",   "INNER",   "INSERT",     "INTO",   "IS",     "JOIN",    "KEY",     "LEFT",    "LIKE",    "MOD",
      "NOT",    "NULL",    "ON",      "OR",         "ORDER",  "OUTER",  "PERCENT",  "PRIMARY", "REFERENCES", "RIGHT",  "SELECT", "SET",
      "TABLE",  "TOP",     "TRUE",    "UNION",   "UNIQUE",     "UPDATE", "VALUES", "WHERE",   "WITH"};
  return std::any_of(reserved.begin(), reserved.end(), [&](std::string_view r) { return equalsUpper(word, r); });
}

}  // namespace kevra::expr
