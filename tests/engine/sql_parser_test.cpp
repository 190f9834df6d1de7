// Parsing statements into syntax trees, and refusing malformed ones with the
// position and text of the fault.
#include <gtest/gtest.h>

#include "engine/expr/expression_parser.h"
#include "engine/sql/parser.h"
#include "engine/sql/sql_type_words.h"
#include "engine/expr/syntax_error.h"

using namespace kevra;
using namespace kevra::sql;
using namespace kevra::expr;

namespace {

template <typename T>
T parseAs(std::string_view sql) {
  Statement s = parseStatement(sql);
  EXPECT_TRUE(std::holds_alternative<T>(s)) << sql;
  return std::get<T>(std::move(s));
}

// The error message for `sql`, or "" when it parses.
std::string errorOf(std::string_view sql) {
  try {
    parseStatement(sql);
  } catch (const SyntaxError& e) {
    return e.what();
  }
  return "";
}

// Renders an expression tree with explicit parentheses, to check precedence.
std::string shape(const Expr& e) {
  switch (e.kind) {
    case ExprKind::Literal:
      if (isNull(e.literal)) return "NULL";
      if (auto* s = std::get_if<std::string>(&e.literal)) return "'" + *s + "'";
      if (auto* b = std::get_if<bool>(&e.literal)) return *b ? "TRUE" : "FALSE";
      if (auto* i = std::get_if<int32_t>(&e.literal)) return std::to_string(*i);
      return "lit";
    case ExprKind::Column:
      return e.qualifier.empty() ? e.name : e.qualifier + "." + e.name;
    case ExprKind::Unary:
      return "(" + e.op + " " + shape(*e.operands[0]) + ")";
    case ExprKind::Binary:
      return "(" + shape(*e.operands[0]) + " " + e.op + " " + shape(*e.operands[1]) + ")";
    case ExprKind::Like:
      return "(" + shape(*e.operands[0]) + (e.negated ? " NOT" : "") + " LIKE " + shape(*e.operands[1]) + ")";
    case ExprKind::IsNull:
      return "(" + shape(*e.operands[0]) + (e.negated ? " IS NOT NULL)" : " IS NULL)");
    case ExprKind::In: {
      std::string s = "(" + shape(*e.operands[0]) + (e.negated ? " NOT" : "") + " IN";
      for (size_t i = 1; i < e.operands.size(); ++i) s += " " + shape(*e.operands[i]);
      return s + ")";
    }
    case ExprKind::Between:
      return "(" + shape(*e.operands[0]) + (e.negated ? " NOT" : "") + " BETWEEN " + shape(*e.operands[1]) +
             " AND " + shape(*e.operands[2]) + ")";
    case ExprKind::Subquery:
      return "(SELECT ... FROM " + e.subquery->from.name + ")";
    case ExprKind::Function: {
      std::string s = e.name + "(";
      for (size_t i = 0; i < e.operands.size(); ++i) s += (i ? ", " : "") + shape(*e.operands[i]);
      return s + ")";
    }
  }
  return "?";
}

std::string shapeOf(std::string_view text) { return shape(*parseSqlExpressionText(text)); }

}  // namespace

TEST(SqlParserSelect, GridStatementOnABracketedTable) {
  auto s = parseAs<SelectStatement>("select * from [Order Details]");
  EXPECT_FALSE(s.distinct);
  ASSERT_EQ(s.items.size(), 1u);
  EXPECT_TRUE(s.items[0].isStar());
  EXPECT_EQ(s.from.name, "Order Details");
  EXPECT_FALSE(s.where);
  EXPECT_TRUE(s.orderBy.empty());
  EXPECT_FALSE(s.into);
}

TEST(SqlParserSelect, ColumnsAliasesQualifiersAndClauses) {
  auto s = parseAs<SelectStatement>(
      "SELECT DISTINCT t.A, [B c] AS Bee, t.*, D+1 FROM Table1 AS t WHERE A > 1 ORDER BY A DESC, [B c];");
  EXPECT_TRUE(s.distinct);
  ASSERT_EQ(s.items.size(), 4u);
  EXPECT_EQ(shape(*s.items[0].expr), "t.A");
  EXPECT_EQ(s.items[1].alias, "Bee");
  EXPECT_EQ(shape(*s.items[1].expr), "B c");
  EXPECT_TRUE(s.items[2].isStar());
  EXPECT_EQ(s.items[2].starQualifier, "t");
  EXPECT_EQ(shape(*s.items[3].expr), "(D + 1)");
  EXPECT_EQ(s.from.name, "Table1");
  EXPECT_EQ(s.from.alias, "t");
  EXPECT_EQ(shape(*s.where), "(A > 1)");
  ASSERT_EQ(s.orderBy.size(), 2u);
  EXPECT_TRUE(s.orderBy[0].descending);
  EXPECT_FALSE(s.orderBy[1].descending);
  // An alias may also follow the table without AS.
  EXPECT_EQ(parseAs<SelectStatement>("select x.a from T x").from.alias, "x");
}

TEST(SqlParserSelect, SelectIntoAnotherFileWithConnectText) {
  auto s = parseAs<SelectStatement>(
      "select * into [Orders] in \"C:\\out\" \"dBase 5.0;\" from [Orders]");
  ASSERT_TRUE(s.into);
  EXPECT_EQ(s.into->table, "Orders");
  EXPECT_EQ(s.into->externalPath, "C:\\out");
  EXPECT_EQ(s.into->connect, "dBase 5.0;");
  EXPECT_EQ(s.from.name, "Orders");

  s = parseAs<SelectStatement>("select * into [orders] in \"C:\\db\\shop.mdb\" from [orders#csv]");
  EXPECT_EQ(s.into->externalPath, "C:\\db\\shop.mdb");
  EXPECT_FALSE(s.into->connect);
  EXPECT_EQ(s.from.name, "orders#csv");
}

TEST(SqlParserExpressions, PrecedenceFollowsJet) {
  EXPECT_EQ(shapeOf("a OR b AND c"), "(a OR (b AND c))");
  EXPECT_EQ(shapeOf("NOT a = 1 AND b"), "((NOT (a = 1)) AND b)");
  EXPECT_EQ(shapeOf("1 + 2 * 3 - 4"), "((1 + (2 * 3)) - 4)");
  EXPECT_EQ(shapeOf("a & b + c"), "(a & (b + c))");
  EXPECT_EQ(shapeOf("-a ^ 2"), "(- (a ^ 2))");
  EXPECT_EQ(shapeOf("(a OR b) AND c"), "((a OR b) AND c)");
  EXPECT_EQ(shapeOf("a MOD 3 = 1"), "((a MOD 3) = 1)");
}

TEST(SqlParserExpressions, PredicatesAndTheirNegations) {
  EXPECT_EQ(shapeOf("a BETWEEN 1 AND 5 AND b"), "((a BETWEEN 1 AND 5) AND b)");
  EXPECT_EQ(shapeOf("a NOT BETWEEN 1 AND 2"), "(a NOT BETWEEN 1 AND 2)");
  EXPECT_EQ(shapeOf("a IN (1, 2, 'x')"), "(a IN 1 2 'x')");
  EXPECT_EQ(shapeOf("a NOT IN (1)"), "(a NOT IN 1)");
  EXPECT_EQ(shapeOf("a NOT LIKE 'x*'"), "(a NOT LIKE 'x*')");
  EXPECT_EQ(shapeOf("a IS NOT NULL OR b IS NULL"), "((a IS NOT NULL) OR (b IS NULL))");
  EXPECT_EQ(shapeOf("NOT a IN (1)"), "(NOT (a IN 1))");
  EXPECT_EQ(shapeOf("True = Null"), "(TRUE = NULL)");
  EXPECT_EQ(shapeOf("UCase([x y]) = 'A'"), "(UCase(x y) = 'A')");
  EXPECT_EQ(shapeOf("Table1!A"), "Table1.A");
}

TEST(SqlParserModify, InsertUpdateDelete) {
  auto i = parseAs<InsertStatement>("INSERT INTO [T 1] ([A], B) VALUES ('x', 2 + 3)");
  EXPECT_EQ(i.table.name, "T 1");
  EXPECT_EQ(i.columns, (std::vector<std::string>{"A", "B"}));
  ASSERT_EQ(i.values.size(), 2u);
  EXPECT_EQ(shape(*i.values[1]), "(2 + 3)");
  EXPECT_TRUE(parseAs<InsertStatement>("insert into T values (1)").columns.empty());

  auto u = parseAs<UpdateStatement>("UPDATE T SET A = A + 1, [B] = 'y' WHERE C IS NULL");
  ASSERT_EQ(u.assignments.size(), 2u);
  EXPECT_EQ(u.assignments[0].column, "A");
  EXPECT_EQ(shape(*u.assignments[0].value), "(A + 1)");
  EXPECT_EQ(u.assignments[1].column, "B");
  EXPECT_EQ(shape(*u.where), "(C IS NULL)");

  EXPECT_EQ(parseAs<DeleteStatement>("DELETE * FROM T WHERE A = 1").table.name, "T");
  EXPECT_FALSE(parseAs<DeleteStatement>("delete from T").where);
  EXPECT_EQ(parseAs<DeleteStatement>("DELETE T.* FROM T").table.name, "T");
}

TEST(SqlParserDdl, CreateIndexAsTheIndexDialogWritesIt) {
  auto c = parseAs<CreateIndexStatement>("create  UNIQUE index IxCity on [Customers]([City],[Zip])");
  EXPECT_TRUE(c.unique);
  EXPECT_EQ(c.index, "IxCity");
  EXPECT_EQ(c.table.name, "Customers");
  ASSERT_EQ(c.columns.size(), 2u);
  EXPECT_EQ(c.columns[1].name, "Zip");
  c = parseAs<CreateIndexStatement>("CREATE INDEX i ON t (a DESC, b ASC) WITH PRIMARY");
  EXPECT_FALSE(c.unique);
  EXPECT_TRUE(c.columns[0].descending);
  EXPECT_FALSE(c.columns[1].descending);
  EXPECT_TRUE(c.primary);
  EXPECT_TRUE(parseAs<CreateIndexStatement>("create index i on t (a) with disallow null").disallowNull);
  // No field checked: the dialog sends empty parentheses, which are refused.
  EXPECT_NE(errorOf("create index X on [T]()").find("expected a field name"), std::string::npos);
}

TEST(SqlParserDdl, AlterTableForms) {
  auto a = parseAs<AlterTableStatement>("alter table Orders add column [Note] text(80) NULL ");
  EXPECT_EQ(a.action, AlterTableStatement::Action::AddColumn);
  EXPECT_EQ(a.table.name, "Orders");
  EXPECT_EQ(a.column.name, "Note");
  EXPECT_EQ(a.column.typeWord, "text");
  EXPECT_EQ(a.column.size, 80u);
  EXPECT_FALSE(a.column.notNull);

  a = parseAs<AlterTableStatement>(
      "ALTER TABLE [Orders] ALTER COLUMN  [CustID] long NOT NULL  REFERENCES [Customers]([ID]) ");
  EXPECT_EQ(a.action, AlterTableStatement::Action::AlterColumn);
  EXPECT_TRUE(a.column.notNull);
  ASSERT_TRUE(a.column.constraint);
  EXPECT_EQ(a.column.constraint->kind, ConstraintKind::ForeignKey);
  EXPECT_EQ(a.column.constraint->references->table, "Customers");
  EXPECT_EQ(a.column.constraint->references->columns, std::vector<std::string>{"ID"});

  // An unknown type word parses; whoever runs the statement refuses it.
  EXPECT_EQ(parseAs<AlterTableStatement>("alter table T add column [x] unknown NOT NULL ").column.typeWord,
            "unknown");

  a = parseAs<AlterTableStatement>("alter table [T] add constraint PrimaryKey primary key ([OrderId],[Line])");
  EXPECT_EQ(a.action, AlterTableStatement::Action::AddConstraint);
  EXPECT_EQ(a.constraint.name, "PrimaryKey");
  EXPECT_EQ(a.constraint.kind, ConstraintKind::PrimaryKey);
  EXPECT_EQ(a.constraint.columns, (std::vector<std::string>{"OrderId", "Line"}));

  a = parseAs<AlterTableStatement>("alter table T drop constraint PrimaryKey");
  EXPECT_EQ(a.action, AlterTableStatement::Action::DropConstraint);
  EXPECT_EQ(a.dropName, "PrimaryKey");
  a = parseAs<AlterTableStatement>("ALTER TABLE T DROP COLUMN [Old Field]");
  EXPECT_EQ(a.action, AlterTableStatement::Action::DropColumn);
  EXPECT_EQ(a.dropName, "Old Field");

  a = parseAs<AlterTableStatement>("ALTER TABLE T ADD COLUMN Amount DECIMAL(18, 4)");
  EXPECT_EQ(a.column.size, 18u);
  EXPECT_EQ(a.column.scale, 4);
}

TEST(SqlParserDdl, CreateAndDropTablesAndIndexes) {
  auto c = parseAs<CreateTableStatement>(
      "CREATE TABLE [New T] (ID counter CONSTRAINT pk PRIMARY KEY, Name text(50) NOT NULL, "
      "CONSTRAINT u UNIQUE (Name))");
  EXPECT_EQ(c.table.name, "New T");
  ASSERT_EQ(c.columns.size(), 2u);
  EXPECT_EQ(c.columns[0].constraint->name, "pk");
  EXPECT_EQ(c.columns[0].constraint->kind, ConstraintKind::PrimaryKey);
  EXPECT_TRUE(c.columns[1].notNull);
  ASSERT_EQ(c.constraints.size(), 1u);
  EXPECT_EQ(c.constraints[0].kind, ConstraintKind::Unique);

  EXPECT_EQ(parseAs<DropTableStatement>("DROP TABLE [Old]").table.name, "Old");
  auto d = parseAs<DropIndexStatement>("drop index IxCity on Customers");
  EXPECT_EQ(d.index, "IxCity");
  EXPECT_EQ(d.table.name, "Customers");
}

TEST(SqlParserErrors, MessageNamesPositionTokenAndExpectation) {
  EXPECT_EQ(errorOf("SELECT * FORM T"),
            "Syntax error in SQL statement at position 10 near 'FORM': expected FROM.");
  EXPECT_EQ(errorOf("SELECT a, FROM T"),
            "Syntax error in SQL statement at position 11 near 'FROM': expected an expression.");
  EXPECT_EQ(errorOf("SELECT * FROM"),
            "Syntax error in SQL statement at position 14 near end of statement: expected a table name.");
  EXPECT_EQ(errorOf("SELECT * FROM T WHERE (a = 1"),
            "Syntax error in SQL statement at position 29 near end of statement: expected ')'.");
}

TEST(SqlParserErrors, TrailingTextAndUnknownStatements) {
  EXPECT_NE(errorOf("SELECT * FROM T extra words").find("near 'words': expected the end of the statement"),
            std::string::npos);
  EXPECT_NE(errorOf("SELECT * FROM T; x").find("position 18"), std::string::npos);
  EXPECT_NE(errorOf("GRANT ALL").find("position 1 near 'GRANT'"), std::string::npos);
  EXPECT_NE(errorOf("").find("near end of statement"), std::string::npos);
  // Reserved words need brackets to be names.
  EXPECT_NE(errorOf("SELECT * FROM Select").find("expected a table name"), std::string::npos);
  EXPECT_EQ(errorOf("SELECT * FROM [Select]"), "");
  EXPECT_NE(errorOf("SELECT a FROM T ORDER a").find("near 'a': expected BY"), std::string::npos);
  EXPECT_NE(errorOf("UPDATE T SET A 1").find("expected '='"), std::string::npos);
  EXPECT_NE(errorOf("INSERT INTO T (A) VALUES (1,)").find("expected an expression"), std::string::npos);
}

TEST(SqlParserErrors, HostileNestingIsRefusedNotOverflowed) {
  const std::string deep = "SELECT * FROM T WHERE " + std::string(100000, '(') + "1" + std::string(100000, ')');
  EXPECT_NE(errorOf(deep).find("expected a less deeply nested expression"), std::string::npos);
  EXPECT_NE(errorOf("SELECT " + std::string(50000, '-') + "1 FROM T").find("nested"), std::string::npos);
  // Subqueries share the statement's one depth budget: thousands of nested
  // ones are refused like deep parentheses, not followed down the stack.
  std::string scalar = "1";
  for (int i = 0; i < 3000; ++i) scalar = "(SELECT " + scalar + " FROM T)";
  EXPECT_NE(errorOf("SELECT " + scalar + " FROM T").find("expected a less deeply nested expression"), std::string::npos);
  std::string inChain = "SELECT a FROM T";
  for (int i = 0; i < 5000; ++i) inChain = "SELECT a FROM T WHERE a IN (" + inChain + ")";
  EXPECT_NE(errorOf(inChain).find("expected a less deeply nested expression"), std::string::npos);
  // The budget is the statement's own: the next one starts afresh.
  EXPECT_EQ(errorOf("SELECT (SELECT (SELECT 1 FROM T) FROM T) FROM T"), "");
  std::string chain = "SELECT 1";
  for (int i = 0; i < 20000; ++i) chain += "+1";
  EXPECT_NE(errorOf(chain + " FROM T").find("expected a shorter expression"), std::string::npos);
  // Ordinary depth is fine.
  EXPECT_EQ(errorOf("SELECT * FROM T WHERE " + std::string(100, '(') + "1" + std::string(100, ')')), "");
}

TEST(SqlTypeWords, WordsTheProgramWritesAndTheirSizes) {
  auto typeOf = [](std::string_view sql) {
    return sql::resolveColumnType(std::get<AlterTableStatement>(parseStatement(sql)).column);
  };
  EXPECT_EQ(typeOf("alter table T add column [a] Short NULL").type, ColumnType::Integer);
  EXPECT_EQ(typeOf("alter table T add column [a] long NULL").type, ColumnType::Long);
  const SqlColumnType counter = typeOf("alter table T add column [a] counter NULL");
  EXPECT_EQ(counter.type, ColumnType::Long);
  EXPECT_TRUE(counter.autoNumber);
  EXPECT_EQ(typeOf("alter table T add column [a] bit NULL").type, ColumnType::Boolean);
  EXPECT_EQ(typeOf("alter table T add column [a] DATETIME NULL").type, ColumnType::DateTime);
  EXPECT_EQ(typeOf("alter table T add column [a] LONGBINARY NULL").type, ColumnType::OLE);
  EXPECT_EQ(typeOf("alter table T add column [a] MEMO NULL").type, ColumnType::Memo);
  EXPECT_EQ(typeOf("alter table T add column [a] GUID NULL").length, 16);
  EXPECT_EQ(typeOf("alter table T add column [a] number NULL").type, ColumnType::Double);
  EXPECT_EQ(typeOf("alter table T add column [a] text(80) NULL").length, 160);  // bytes
  EXPECT_EQ(typeOf("alter table T add column [a] text NULL").length, 510);
  const SqlColumnType dec = typeOf("alter table T add column [a] decimal(10, 3)");
  EXPECT_EQ(dec.type, ColumnType::Decimal);
  EXPECT_EQ(dec.precision, 10);
  EXPECT_EQ(dec.scale, 3);

  EXPECT_THROW(typeOf("alter table T add column [a] unknown NULL"), EngineError);
  EXPECT_THROW(typeOf("alter table T add column [a] text(0) NULL"), EngineError);
  EXPECT_THROW(typeOf("alter table T add column [a] text(256) NULL"), EngineError);
  EXPECT_THROW(typeOf("alter table T add column [a] long(4) NULL"), EngineError);
  EXPECT_THROW(typeOf("alter table T add column [a] decimal(5, 6)"), EngineError);
}

TEST(SqlParserModify, InsertFromAQuery) {
  auto i = parseAs<InsertStatement>("INSERT INTO Archive (A, B) SELECT X, Y + 1 FROM Live WHERE Z IS NULL");
  EXPECT_TRUE(i.values.empty());
  ASSERT_TRUE(i.select);
  EXPECT_EQ(i.select->from.name, "Live");
  EXPECT_EQ(i.select->items.size(), 2u);
  EXPECT_TRUE(i.select->where);
  EXPECT_NE(errorOf("INSERT INTO T (A) (1)").find("expected VALUES or SELECT"), std::string::npos);
}

TEST(SqlParserExpressions, SubqueriesAsValuesAndInLists) {
  EXPECT_EQ(shapeOf("a IN (SELECT x FROM T)"), "(a IN (SELECT ... FROM T))");
  EXPECT_EQ(shapeOf("a NOT IN (SELECT x FROM T WHERE y IN (SELECT z FROM U))"), "(a NOT IN (SELECT ... FROM T))");
  EXPECT_EQ(shapeOf("a > (SELECT Max(x) FROM T) + 1"), "(a > ((SELECT ... FROM T) + 1))");
  EXPECT_NE(errorOf("SELECT * FROM T WHERE a IN (SELECT x FROM U").find("expected ')'"), std::string::npos);
}

TEST(SqlParserSelect, UnionPartsAndTheClosingOrderBy) {
  auto s = parseAs<SelectStatement>("SELECT a FROM T WHERE x = 1 UNION ALL SELECT b FROM U UNION SELECT c FROM V "
                                    "ORDER BY a DESC");
  ASSERT_EQ(s.unions.size(), 2u);
  EXPECT_TRUE(s.unions[0].all);
  EXPECT_FALSE(s.unions[1].all);
  EXPECT_EQ(s.unions[1].select->from.name, "V");
  EXPECT_TRUE(s.unions[1].select->orderBy.empty());
  ASSERT_EQ(s.orderBy.size(), 1u);  // the ORDER BY sorts the whole union
  EXPECT_TRUE(s.where);
  EXPECT_NE(errorOf("SELECT a FROM T UNION b FROM U").find("near 'b': expected SELECT"), std::string::npos);
}
