// Data-definition grammar: CREATE [UNIQUE] INDEX, CREATE TABLE, ALTER TABLE
// (ADD/ALTER/DROP COLUMN, ADD/DROP CONSTRAINT), DROP TABLE and DROP INDEX.
#include "engine/sql/ddl_parser.h"

#include <limits>

#include "engine/expr/syntax_error.h"

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

ColumnReference references(TokenStream& t) {
  ColumnReference r;
  r.table = t.expectName("a table name");
  if (t.peek().isSymbol("(")) r.columns = nameList(t);
  return r;
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
  } else {
    if (named) t.fail("PRIMARY KEY, UNIQUE or REFERENCES");
    return std::nullopt;
  }
  c.columns = {column};
  return c;
}

// name type[(n[, s])] [NOT NULL | NULL] [constraint], in either order after the type.
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
  } else {
    t.fail("PRIMARY KEY, UNIQUE or FOREIGN KEY");
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
        first.isKeyword("FOREIGN")) {
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
        t.peek().isKeyword("FOREIGN")) {
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
