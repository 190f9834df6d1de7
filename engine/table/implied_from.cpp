// Making the FROM clause of a SELECT without one explicit.
#include "engine/table/implied_from.h"

#include <vector>

#include "engine/expr/lexer.h"
#include "engine/util/utf.h"

namespace kevra {

namespace {
bool isName(const expr::Token& t) { return t.kind == expr::TokenKind::Word || t.kind == expr::TokenKind::Name; }
std::string bracketed(const std::string& name) { return "[" + name + "]"; }
}  // namespace

namespace {
// One SELECT of the tokens [begin, end): rewritten with its implied FROM.
std::string completeSelect(const std::vector<expr::Token>& tokens, size_t begin, size_t end) {
  std::vector<std::string> tables;
  size_t insertAt = end;
  bool hasFrom = false;
  int depth = 0;
  for (size_t i = begin; i < end; ++i) {
    const expr::Token& t = tokens[i];
    if (t.isSymbol("(")) ++depth;
    if (t.isSymbol(")")) --depth;
    if (depth == 0 && t.isKeyword("FROM")) hasFrom = true;
    if (depth == 0 && insertAt == end &&
        (t.isKeyword("WHERE") || t.isKeyword("GROUP") || t.isKeyword("HAVING") || t.isKeyword("ORDER")))
      insertAt = i;
    // table.field: the table is a source.
    if (isName(t) && i + 2 < end && tokens[i + 1].isSymbol(".") && isName(tokens[i + 2]) &&
        (i == begin || !tokens[i - 1].isSymbol("."))) {
      bool known = false;
      for (const std::string& seen : tables) known = known || namesEqualCaseInsensitive(seen, t.text);
      if (!known) tables.push_back(t.text);
    }
  }
  std::string out;
  for (size_t i = begin; i < end; ++i) {
    if (i == insertAt && !hasFrom && !tables.empty()) {
      out += "FROM";
      for (size_t k = 0; k < tables.size(); ++k) out += (k ? ", " : " ") + bracketed(tables[k]);
      out += " ";
    }
    out += tokens[i].source + " ";
  }
  if (insertAt == end && !hasFrom && !tables.empty()) {
    out += "FROM";
    for (size_t k = 0; k < tables.size(); ++k) out += (k ? ", " : " ") + bracketed(tables[k]);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}
}  // namespace

std::string withImpliedFrom(const std::string& select) {
  std::vector<expr::Token> tokens;
  try {
    tokens = expr::tokenize(select);
  } catch (const std::exception&) {
    return select;  // the statement's own parse reports it
  }
  // The SELECTs a top-level UNION [ALL] joins are completed one by one.
  const size_t end = tokens.size() - 1;  // the End token
  std::string out;
  size_t begin = 0;
  int depth = 0;
  bool changed = false;
  for (size_t i = 0; i <= end; ++i) {
    if (i < end && tokens[i].isSymbol("(")) ++depth;
    if (i < end && tokens[i].isSymbol(")")) --depth;
    if (i < end && !(depth == 0 && tokens[i].isKeyword("UNION"))) continue;
    const std::string part = completeSelect(tokens, begin, i);
    std::string plain;
    for (size_t k = begin; k < i; ++k) plain += tokens[k].source + (k + 1 < i ? " " : "");
    changed = changed || part != plain;
    out += part;
    if (i == end) break;
    // The UNION and an ALL after it.
    out += " " + tokens[i].source + " ";
    begin = i + 1;
    if (begin < end && tokens[begin].isKeyword("ALL")) {
      out += tokens[begin].source + " ";
      ++begin;
      i = begin - 1;
    }
  }
  return changed ? out : select;
}

}  // namespace kevra
