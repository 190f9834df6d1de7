// SELECTs over several tables: comma, INNER, LEFT and RIGHT joins, names
// that need their table, and grouping over joined rows. The related tables
// of indextestv2000.mdb: Table1.otherfk1 -> Table2.id, Table1.otherfk2 -> Table3.id.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/table/database.h"
#include "engine/format/value_text.h"
#include "engine/sql/parser.h"
#include "engine/sql/statement_runner.h"
#include "engine/util/error.h"
#include "../result_texts.h"
#include "sample_files.h"

using namespace kevra;

namespace {

std::shared_ptr<Database> related() { return Database::open(test::sample("indextestv2000.mdb")); }

// Rows as "a|b|c" texts (NULL shown as "-"), in result order.
std::vector<std::string> lines(const std::shared_ptr<Database>& db, std::string_view sql) {
  return test::resultLines(db, sql);
}

std::vector<std::string> sorted(std::vector<std::string> v) { return test::sortedLines(std::move(v)); }

}  // namespace

TEST(SqlJoinParse, JoinKindsAndParenthesizedChains) {
  auto s = std::get<sql::SelectStatement>(sql::parseStatement(
      "SELECT * FROM (a INNER JOIN [b b] AS x ON a.id = x.id) LEFT OUTER JOIN c ON c.k = a.k, d"));
  EXPECT_EQ(s.from.name, "a");
  ASSERT_EQ(s.joins.size(), 3u);
  EXPECT_EQ(s.joins[0].kind, sql::JoinKind::Inner);
  EXPECT_EQ(s.joins[0].table.name, "b b");
  EXPECT_EQ(s.joins[0].table.alias, "x");
  EXPECT_EQ(s.joins[1].kind, sql::JoinKind::Left);
  EXPECT_EQ(s.joins[2].kind, sql::JoinKind::Cross);
  EXPECT_FALSE(s.joins[2].on);
  EXPECT_EQ(std::get<sql::SelectStatement>(sql::parseStatement("select * from a right join b on a.x=b.x"))
                .joins[0].kind,
            sql::JoinKind::Right);
  EXPECT_THROW(sql::parseStatement("SELECT * FROM a INNER JOIN b"), EngineError);  // ON is required
  // Left and Right stay usable as functions.
  EXPECT_NO_THROW(sql::parseStatement("SELECT Left(a, 2), Right(a, 1) FROM t"));
}

TEST(SqlJoinInner, MatchingPairsWithColumnsFromBothSides) {
  auto db = related();
  EXPECT_EQ(sorted(lines(db, "SELECT Table1.data, Table2.data FROM Table1 INNER JOIN Table2 "
                             "ON Table1.otherfk1 = Table2.id")),
            (std::vector<std::string>{"baz0|foo0", "baz11-2|foo1", "baz11|foo1", "baz13|foo2"}));
  // Three tables, aliases, WHERE and ORDER BY over the joined row.
  EXPECT_EQ(lines(db, "SELECT t.data, b.data FROM (Table1 AS t INNER JOIN Table2 AS f ON t.otherfk1 = f.id) "
                      "INNER JOIN Table3 AS b ON t.otherfk2 = b.id WHERE f.data <> 'foo0' ORDER BY t.data DESC"),
            (std::vector<std::string>{"baz13|bar13", "baz11-2|bar11", "baz11|bar11"}));
}

TEST(SqlJoinInner, HashAndNestedLoopAgree) {
  auto db = related();
  const auto hashed = sorted(lines(db, "SELECT Table1.id, Table3.id FROM Table1 INNER JOIN Table3 "
                                       "ON Table3.id = Table1.otherfk2 AND Table1.id >= 1"));
  // OR keeps the join from using a hash table.
  const auto nested = sorted(lines(db, "SELECT Table1.id, Table3.id FROM Table1 INNER JOIN Table3 "
                                       "ON (Table3.id = Table1.otherfk2 OR False) AND Table1.id >= 1"));
  EXPECT_EQ(hashed, (std::vector<std::string>{"1|11", "2|11", "3|13"}));
  EXPECT_EQ(hashed, nested);
  // Not an equality at all: every pair is tried.
  EXPECT_EQ(lines(db, "SELECT Count(*) FROM Table2 INNER JOIN Table3 ON Table2.id + 10 < Table3.id"),
            std::vector<std::string>{"6"});
}

TEST(SqlJoinOuter, UnmatchedRowsKeepNullsOnTheOtherSide) {
  auto db = related();
  EXPECT_EQ(sorted(lines(db, "SELECT Table3.data, Table1.data FROM Table3 LEFT JOIN Table1 "
                             "ON Table3.id = Table1.otherfk2")),
            (std::vector<std::string>{"bar10|baz0", "bar11|baz11", "bar11|baz11-2", "bar12|-", "bar13|baz13"}));
  EXPECT_EQ(sorted(lines(db, "SELECT Table3.data, Table1.data FROM Table1 RIGHT JOIN Table3 "
                             "ON Table3.id = Table1.otherfk2")),
            (std::vector<std::string>{"bar10|baz0", "bar11|baz11", "bar11|baz11-2", "bar12|-", "bar13|baz13"}));
  // The classic "rows without a partner" query.
  EXPECT_EQ(lines(db, "SELECT Table3.data FROM Table3 LEFT JOIN Table1 ON Table3.id = Table1.otherfk2 "
                      "WHERE Table1.id IS NULL"),
            std::vector<std::string>{"bar12"});
}

TEST(SqlJoinCross, CommaJoinsEveryPair) {
  auto db = related();
  EXPECT_EQ(lines(db, "SELECT Count(*) FROM Table2, Table3"), std::vector<std::string>{"12"});
  EXPECT_EQ(sorted(lines(db, "SELECT Table2.data, Table3.data FROM Table2, Table3 WHERE Table2.id + 10 = Table3.id")),
            (std::vector<std::string>{"foo0|bar10", "foo1|bar11", "foo2|bar12"}));
}

TEST(SqlJoinNames, StarNamesAndAmbiguousFields) {
  auto db = related();
  StatementResult r = runStatement(db, "SELECT * FROM Table2 INNER JOIN Table3 ON Table2.id + 10 = Table3.id");
  std::vector<std::string> names;
  for (const auto& c : r.rows->columns()) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Table2.id", "Table2.data", "Table3.id", "Table3.data"}));
  r = runStatement(db, "SELECT f.*, otherfk3 FROM Table1 INNER JOIN Table2 AS f ON otherfk1 = f.id");
  names.clear();
  for (const auto& c : r.rows->columns()) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"f.id", "f.data", "otherfk3"}));

  r = runStatement(db, "SELECT Table2.data, b.data, b.id FROM Table2 INNER JOIN Table3 AS b ON Table2.id + 10 = b.id");
  names.clear();
  for (const auto& c : r.rows->columns()) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Table2.data", "b.data", "id"}));

  try {
    runStatement(db, "SELECT id FROM Table2, Table3");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("'Table2' and 'Table3'"), std::string::npos) << e.what();
  }
  EXPECT_THROW(runStatement(db, "SELECT nothing FROM Table2, Table3"), EngineError);
  EXPECT_THROW(runStatement(db, "SELECT Table9.id FROM Table2, Table3"), EngineError);
  EXPECT_THROW(runStatement(db, "SELECT * FROM Table2 INNER JOIN NoSuchTable ON 1 = 1"), EngineError);
}

TEST(SqlJoinGrouped, AggregatesOverJoinedRows) {
  auto db = related();
  EXPECT_EQ(lines(db, "SELECT Table2.data, Count(*) AS N, Max(Table1.data) FROM Table1 INNER JOIN Table2 "
                      "ON Table1.otherfk1 = Table2.id GROUP BY Table2.data ORDER BY Count(*) DESC, Table2.data"),
            (std::vector<std::string>{"foo1|2|baz11-2", "foo0|1|baz0", "foo2|1|baz13"}));
  EXPECT_EQ(lines(db, "SELECT DISTINCT Table3.data FROM Table1 INNER JOIN Table3 ON Table1.otherfk2 = Table3.id"),
            (std::vector<std::string>{"bar10", "bar11", "bar13"}));
}

TEST(SqlJoinLarge, EveryOrderFindsItsCustomer) {
  // 10,000 orders with an enforced foreign key into 100,000 customers.
  auto db = Database::open(test::sample("bench/medium.mdb"));
  EXPECT_EQ(lines(db, "SELECT Count(*) FROM Orders INNER JOIN Customers ON Orders.customer_id = Customers.id"),
            std::vector<std::string>{"10000"});
  // Customers without orders, counted two ways.
  const uint64_t customersWithOrders =
      runStatement(db, "SELECT DISTINCT customer_id FROM Orders").rows->rowCount();
  EXPECT_EQ(lines(db, "SELECT Count(*) FROM Customers LEFT JOIN Orders ON Orders.customer_id = Customers.id "
                      "WHERE Orders.id IS NULL"),
            std::vector<std::string>{std::to_string(100000 - customersWithOrders)});
}
