// Data-definition grammar: CREATE [UNIQUE] INDEX, CREATE TABLE, ALTER TABLE
// (ADD/ALTER/DROP COLUMN, ADD/DROP CONSTRAINT), DROP TABLE and DROP INDEX.
// Columns take DEFAULT and WITH COMPRESSION, foreign keys ON UPDATE and
// ON DELETE actions; CHECK constraints are read and refused.
#include "engine/sql/ddl_parser.h"

#include <limits>

#include "engine/expr/expression_parser.h"
#include "engine/expr/syntax_error.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

TableRef tableName(TokenStream& t) {
  TableRef ref;
  ref.position = t.peek().position;
  ref.name = t.expectName("a table name");
  return ref;
}

uint32_t unsignedNumber(TokenStream& t, std::string_view what) {
  const Token& tok = t.peek();
  if (tok.kind != TokenKind::Integer || !std::holds_alternative<int32_t>(tok.value)) t.fail(what);
  t.advance();
  return uint32_t(std::get<int32_t>(tok.value));
}

std::vector<std::string> nameList(TokenStream& t) {
  std::vector<std::string> names;
  t.expectSymbol("(");
  do {
    names.push_back(t.expectName("a field name"));
  } while (t.acceptSymbol(","));
  t.expectSymbol(")");
  return names;
}

// ON UPDATE {CASCADE | NO ACTION} and ON DELETE {CASCADE | SET NULL | NO ACTION}, each at most once.
void referentialActions(TokenStream& t, ColumnReference& r) {
  bool sawUpdate = false, sawDelete = false;
  while (t.peek().isKeyword("ON")) {
    t.advance();
    const bool update = t.peek().isKeyword("UPDATE") && !sawUpdate;
    if (!update && !(t.peek().isKeyword("DELETE") && !sawDelete))
      t.fail(sawDelete ? "UPDATE" : sawUpdate ? "DELETE" : "UPDATE or DELETE");
    t.advance();
    (update ? sawUpdate : sawDelete) = true;
    if (t.acceptKeyword("CASCADE")) {
      (update ? r.cascadeUpdates : r.cascadeDeletes) = true;
    } else if (!update && t.acceptKeyword("SET")) {
      t.expectKeyword("NULL");
      r.cascadeNull = true;
    } else if (t.acceptKeyword("NO")) {
      t.expectKeyword("ACTION");
    } else {
      t.fail(update ? "CASCADE or NO ACTION" : "CASCADE, SET NULL or NO ACTION");
    }
  }
}

ColumnReference references(TokenStream& t) {
  ColumnReference r;
  r.table = t.expectName("a table name");
  if (t.peek().isSymbol("(")) r.columns = nameList(t);
  referentialActions(t, r);
  return r;
}

// CHECK (condition), after CHECK: read so the refusal can quote it.
[[noreturn]] void refuseCheck(TokenStream& t, const std::string& name) {
  const size_t mark = t.mark();
  t.expectSymbol("(");
  expr::parseExpression(t);
  t.expectSymbol(")");
  throw UnsupportedError("CHECK constraints are not supported: " +
                         (name.empty() ? std::string() : "constraint '" + name + "', ") + "CHECK " +
                         t.sourceSince(mark) + ".");
}

// PRIMARY KEY | UNIQUE | REFERENCES t [(c)], for a single column.
std::optional<ConstraintClause> columnConstraint(TokenStream& t, const std::string& column) {
  ConstraintClause c;
  const bool named = t.acceptKeyword("CONSTRAINT");
  if (named) c.name = t.expectName("a constraint name");
  if (t.acceptKeyword("PRIMARY")) {
    t.expectKeyword("KEY");
    c.kind = ConstraintKind::PrimaryKey;
  } else if (t.acceptKeyword("UNIQUE")) {
    c.kind = ConstraintKind::Unique;
  } else if (t.acceptKeyword("REFERENCES")) {
    c.kind = ConstraintKind::ForeignKey;
    c.references = references(t);
  } else if (t.acceptKeyword("CHECK")) {
    refuseCheck(t, c.name);
  } else {
    if (named) t.fail("PRIMARY KEY, UNIQUE, REFERENCES or CHECK");
    return std::nullopt;
  }
  c.columns = {column};
  return c;
}

// name type[(n[, s])] then, in any order: [NOT NULL | NULL], [constraint],
// [DEFAULT expression], [WITH COMPRESSION | WITH COMP].
ColumnClause columnClause(TokenStream& t) {
  ColumnClause c;
  c.name = t.expectName("a field name");
  const Token& type = t.peek();
  if (type.kind != TokenKind::Word && type.kind != TokenKind::Name) t.fail("a data type");
  c.typeWord = type.text;
  c.typePosition = type.position;
  t.advance();
  if (t.acceptSymbol("(")) {
    c.size = unsignedNumber(t, "a size");
    if (t.acceptSymbol(",")) {
      const uint32_t scale = unsignedNumber(t, "a scale");
      if (scale > std::numeric_limits<uint8_t>::max()) t.fail("a scale up to 255");
      c.scale = uint8_t(scale);
    }
    t.expectSymbol(")");
  }
  bool sawNull = false;
  while (true) {
    if (!sawNull && t.peek().isKeyword("NOT") && t.peek(1).isKeyword("NULL")) {
      t.advance();
      t.advance();
      c.notNull = true;
      sawNull = true;
    } else if (!sawNull && t.acceptKeyword("NULL")) {
      sawNull = true;
    } else if (!c.defaultText && t.acceptKeyword("DEFAULT")) {
      const size_t mark = t.mark();
      expr::parseExpression(t);
      c.defaultText = t.sourceSince(mark);
    } else if (!c.compressed && t.peek().isKeyword("WITH") &&
               (t.peek(1).isKeyword("COMPRESSION") || t.peek(1).isKeyword("COMP"))) {
      t.advance();
      t.advance();
      c.compressed = true;
    } else if (t.acceptKeyword("CHECK")) {
      refuseCheck(t, "");
    } else if (!c.constraint && (c.constraint = columnConstraint(t, c.name))) {
    } else {
      return c;
    }
  }
}

// [CONSTRAINT name] PRIMARY KEY (cols) | UNIQUE (cols) | FOREIGN KEY (cols) REFERENCES t [(cols)]
ConstraintClause tableConstraint(TokenStream& t, bool nameRequired) {
  ConstraintClause c;
  if (nameRequired || t.peek().isKeyword("CONSTRAINT")) {
    t.expectKeyword("CONSTRAINT");
    c.name = t.expectName("a constraint name");
  }
  if (t.acceptKeyword("PRIMARY")) {
    t.expectKeyword("KEY");
    c.kind = ConstraintKind::PrimaryKey;
    c.columns = nameList(t);
  } else if (t.acceptKeyword("UNIQUE")) {
    c.kind = ConstraintKind::Unique;
    c.columns = nameList(t);
  } else if (t.acceptKeyword("FOREIGN")) {
    t.expectKeyword("KEY");
    c.kind = ConstraintKind::ForeignKey;
    c.columns = nameList(t);
    t.expectKeyword("REFERENCES");
    c.references = references(t);
  } else if (t.acceptKeyword("CHECK")) {
    refuseCheck(t, c.name);
  } else {
    t.fail("PRIMARY KEY, UNIQUE, FOREIGN KEY or CHECK");
  }
  return c;
}

CreateIndexStatement createIndex(TokenStream& t, bool unique) {
  CreateIndexStatement s;
  s.unique = unique;
  s.index = t.expectName("an index name");
  t.expectKeyword("ON");
  s.table = tableName(t);
  t.expectSymbol("(");
  do {
    IndexColumn c;
    c.name = t.expectName("a field name");
    if (t.acceptKeyword("DESC"))
      c.descending = true;
    else
      t.acceptKeyword("ASC");
    s.columns.push_back(std::move(c));
  } while (t.acceptSymbol(","));
  t.expectSymbol(")");
  if (t.acceptKeyword("WITH")) {
    do {
      if (t.acceptKeyword("PRIMARY")) {
        s.primary = true;
      } else if (t.peek().isKeyword("DISALLOW")) {
        t.advance();
        t.expectKeyword("NULL");
        s.disallowNull = true;
      } else if (t.peek().isKeyword("IGNORE")) {
        t.advance();
        t.expectKeyword("NULL");
        s.ignoreNull = true;
      } else {
        t.fail("PRIMARY, DISALLOW NULL or IGNORE NULL");
      }
    } while (t.peek().isKeyword("PRIMARY") || t.peek().isKeyword("DISALLOW") || t.peek().isKeyword("IGNORE"));
  }
  return s;
}

CreateTableStatement createTable(TokenStream& t) {
  CreateTableStatement s;
  s.table = tableName(t);
  t.expectSymbol("(");
  do {
    const Token& first = t.peek();
    if (first.isKeyword("CONSTRAINT") || first.isKeyword("PRIMARY") || first.isKeyword("UNIQUE") ||
        first.isKeyword("FOREIGN") || first.isKeyword("CHECK")) {
      s.constraints.push_back(tableConstraint(t, false));
    } else {
      s.columns.push_back(columnClause(t));
    }
  } while (t.acceptSymbol(","));
  t.expectSymbol(")");
  return s;
}

}  // namespace

Statement parseCreate(TokenStream& t) {
  if (t.acceptKeyword("TABLE")) return createTable(t);
  const bool unique = t.acceptKeyword("UNIQUE");
  t.expectKeyword("INDEX");
  return createIndex(t, unique);
}

Statement parseAlter(TokenStream& t) {
  AlterTableStatement s;
  t.expectKeyword("TABLE");
  s.table = tableName(t);
  if (t.acceptKeyword("ADD")) {
    if (t.peek().isKeyword("CONSTRAINT") || t.peek().isKeyword("PRIMARY") || t.peek().isKeyword("UNIQUE") ||
        t.peek().isKeyword("FOREIGN") || t.peek().isKeyword("CHECK")) {
      s.action = AlterTableStatement::Action::AddConstraint;
      s.constraint = tableConstraint(t, false);
    } else {
      t.acceptKeyword("COLUMN");
      s.action = AlterTableStatement::Action::AddColumn;
      s.column = columnClause(t);
    }
  } else if (t.acceptKeyword("ALTER")) {
    t.acceptKeyword("COLUMN");
    s.action = AlterTableStatement::Action::AlterColumn;
    s.column = columnClause(t);
  } else if (t.acceptKeyword("DROP")) {
    if (t.acceptKeyword("CONSTRAINT")) {
      s.action = AlterTableStatement::Action::DropConstraint;
      s.dropName = t.expectName("a constraint name");
    } else {
      t.acceptKeyword("COLUMN");
      s.action = AlterTableStatement::Action::DropColumn;
      s.dropName = t.expectName("a field name");
    }
  } else {
    t.fail("ADD, ALTER or DROP");
  }
  return s;
}

Statement parseDrop(TokenStream& t) {
  if (t.acceptKeyword("TABLE")) return DropTableStatement{tableName(t)};
  t.expectKeyword("INDEX");
  DropIndexStatement s;
  s.index = t.expectName("an index name");
  t.expectKeyword("ON");
  s.table = tableName(t);
  return s;
}

}  // namespace kevra::sql
