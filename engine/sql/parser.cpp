// Statement parser for SELECT, INSERT, UPDATE and DELETE, and the dispatch to
// the data-definition rules.
#include "engine/sql/parser.h"

#include "engine/sql/ddl_parser.h"
#include "engine/expr/expression_parser.h"
#include "engine/expr/lexer.h"
#include "engine/expr/token_stream.h"

namespace kevra::sql {
namespace {

TableRef parseTableRef(TokenStream& t, bool allowAlias) {
  TableRef ref;
  ref.position = t.peek().position;
  ref.name = t.expectName("a table name");
  if (allowAlias) {
    // CROSS is no reserved word: a bare CROSS before JOIN starts a join, not an alias.
    const bool crossJoinNext = t.peek().isKeyword("CROSS") && t.peek(1).isKeyword("JOIN");
    if (t.acceptKeyword("AS"))
      ref.alias = t.expectName("an alias");
    else if (t.peekName() && !crossJoinNext)
      ref.alias = t.advance().text;
  }
  return ref;
}

SelectItem parseSelectItem(TokenStream& t) {
  SelectItem item;
  if (t.acceptSymbol("*")) return item;
  if (t.peekName() && t.peek(1).isSymbol(".") && t.peek(2).isSymbol("*")) {
    item.starQualifier = t.advance().text;
    t.advance();
    t.advance();
    return item;
  }
  item.expr = parseSqlExpression(t);
  if (t.acceptKeyword("AS")) item.alias = t.expectName("an alias");
  return item;
}

// FROM a [, b | CROSS JOIN b] [INNER|LEFT|RIGHT JOIN c ON cond] ...; parentheses may wrap the
// joins made so far, as in FROM (a INNER JOIN b ON x) INNER JOIN c ON y.
void parseFrom(TokenStream& t, SelectStatement& s, bool first = true) {
  if (t.acceptSymbol("(")) {
    parseFrom(t, s, first);
    t.expectSymbol(")");
  } else if (first) {
    s.from = parseTableRef(t, true);
  } else {
    JoinClause cross;
    cross.table = parseTableRef(t, true);
    s.joins.push_back(std::move(cross));
  }
  while (true) {
    JoinClause join;
    if (t.acceptSymbol(",") || (t.peek().isKeyword("CROSS") && t.peek(1).isKeyword("JOIN"))) {
      if (t.acceptKeyword("CROSS")) t.expectKeyword("JOIN");
      join.kind = JoinKind::Cross;
      join.table = parseTableRef(t, true);
      s.joins.push_back(std::move(join));
      continue;
    }
    if (t.acceptKeyword("INNER")) {
      join.kind = JoinKind::Inner;
    } else if (t.acceptKeyword("LEFT")) {
      join.kind = JoinKind::Left;
      t.acceptKeyword("OUTER");
    } else if (t.acceptKeyword("RIGHT")) {
      join.kind = JoinKind::Right;
      t.acceptKeyword("OUTER");
    } else {
      return;
    }
    t.expectKeyword("JOIN");
    join.table = parseTableRef(t, true);
    t.expectKeyword("ON");
    join.on = parseSqlExpression(t);
    s.joins.push_back(std::move(join));
  }
}

// SELECT ... [HAVING ...], without UNION and ORDER BY.
SelectStatement parseSelectCore(TokenStream& t) {
  SelectStatement s;
  if (t.acceptKeyword("DISTINCT"))
    s.distinct = true;
  else if (!t.acceptKeyword("DISTINCTROW"))
    t.acceptKeyword("ALL");
  if (t.acceptKeyword("TOP")) {
    const Token& n = t.peek();
    if (n.kind != TokenKind::Integer || !std::holds_alternative<int32_t>(n.value) || std::get<int32_t>(n.value) < 0)
      t.fail("a row count");
    s.top = TopClause{uint64_t(std::get<int32_t>(t.advance().value)), false};
    s.top->percent = t.acceptKeyword("PERCENT");
  }
  do {
    s.items.push_back(parseSelectItem(t));
  } while (t.acceptSymbol(","));
  if (t.acceptKeyword("INTO")) {
    SelectInto into;
    into.table = t.expectName("a table name");
    if (t.acceptKeyword("IN")) {
      if (t.peek().kind != TokenKind::String) t.fail("a file path in quotes");
      into.externalPath = t.advance().text;
      if (t.peek().kind == TokenKind::String) into.connect = t.advance().text;
    }
    s.into = std::move(into);
  }
  t.expectKeyword("FROM");
  parseFrom(t, s);
  if (t.acceptKeyword("WHERE")) s.where = parseSqlExpression(t);
  if (t.acceptKeyword("GROUP")) {
    t.expectKeyword("BY");
    do {
      s.groupBy.push_back(parseSqlExpression(t));
    } while (t.acceptSymbol(","));
  }
  if (t.acceptKeyword("HAVING")) s.having = parseSqlExpression(t);
  return s;
}

// A SELECT with its UNION parts and the ORDER BY that closes it.
SelectStatement parseSelect(TokenStream& t) {
  SelectStatement s = parseSelectCore(t);
  while (t.acceptKeyword("UNION")) {
    UnionPart part;
    part.all = t.acceptKeyword("ALL");
    t.expectKeyword("SELECT");
    part.select = std::make_unique<SelectStatement>(parseSelectCore(t));
    s.unions.push_back(std::move(part));
  }
  if (t.acceptKeyword("ORDER")) {
    t.expectKeyword("BY");
    do {
      OrderItem o;
      o.expr = parseSqlExpression(t);
      if (t.acceptKeyword("DESC"))
        o.descending = true;
      else
        t.acceptKeyword("ASC");
      s.orderBy.push_back(std::move(o));
    } while (t.acceptSymbol(","));
  }
  return s;
}

InsertStatement parseInsert(TokenStream& t) {
  InsertStatement s;
  t.expectKeyword("INTO");
  s.table = parseTableRef(t, false);
  if (t.acceptSymbol("(")) {
    do {
      s.columns.push_back(t.expectName("a field name"));
    } while (t.acceptSymbol(","));
    t.expectSymbol(")");
  }
  if (t.acceptKeyword("SELECT")) {
    s.select = std::make_unique<SelectStatement>(parseSelect(t));
    return s;
  }
  if (!t.acceptKeyword("VALUES")) t.fail("VALUES or SELECT");
  t.expectSymbol("(");
  do {
    s.values.push_back(parseSqlExpression(t));
  } while (t.acceptSymbol(","));
  t.expectSymbol(")");
  return s;
}

UpdateStatement parseUpdate(TokenStream& t) {
  UpdateStatement s;
  s.table = parseTableRef(t, false);
  t.expectKeyword("SET");
  do {
    Assignment a;
    a.position = t.peek().position;
    a.column = t.expectName("a field name");
    if (t.acceptSymbol(".")) a.column = t.expectName("a field name");
    t.expectSymbol("=");
    a.value = parseSqlExpression(t);
    s.assignments.push_back(std::move(a));
  } while (t.acceptSymbol(","));
  if (t.acceptKeyword("WHERE")) s.where = parseSqlExpression(t);
  return s;
}

DeleteStatement parseDelete(TokenStream& t) {
  DeleteStatement s;
  if (!t.acceptSymbol("*") && t.peekName() && t.peek(1).isSymbol(".") && t.peek(2).isSymbol("*")) {
    t.advance();
    t.advance();
    t.advance();
  }
  t.expectKeyword("FROM");
  s.table = parseTableRef(t, false);
  if (t.acceptKeyword("WHERE")) s.where = parseSqlExpression(t);
  return s;
}

}  // namespace

ExprPtr parseSqlExpression(TokenStream& tokens) {
  static const SubqueryReader readSubquery = [](TokenStream& t) {
    return std::make_shared<SubqueryStatement>(parseSelect(t));
  };
  return parseExpression(tokens, readSubquery);
}

ExprPtr parseSqlExpressionText(std::string_view text) {
  TokenStream tokens(tokenize(text));
  ExprPtr e = parseSqlExpression(tokens);
  if (!tokens.atEnd()) tokens.fail("the end of the expression");
  return e;
}

Statement parseStatement(std::string_view sql) {
  TokenStream t(tokenize(sql));
  Statement result;
  if (t.acceptKeyword("SELECT"))
    result = parseSelect(t);
  else if (t.acceptKeyword("INSERT"))
    result = parseInsert(t);
  else if (t.acceptKeyword("UPDATE"))
    result = parseUpdate(t);
  else if (t.acceptKeyword("DELETE"))
    result = parseDelete(t);
  else if (t.acceptKeyword("CREATE"))
    result = parseCreate(t);
  else if (t.acceptKeyword("ALTER"))
    result = parseAlter(t);
  else if (t.acceptKeyword("DROP"))
    result = parseDrop(t);
  else
    t.fail("SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER or DROP");
  t.acceptSymbol(";");
  if (!t.atEnd()) t.fail("the end of the statement");
  return result;
}

}  // namespace kevra::sql
