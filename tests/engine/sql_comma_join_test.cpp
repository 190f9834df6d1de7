// Comma joins and CROSS JOIN: the rows they give (checked against products
// built here from single-table reads), WHERE terms placed on their tables or
// taken as the join condition, TOP stopping the streamed product early, and
// the plans that describe them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine/format/value_text.h"
#include "engine/sql/parser.h"
#include "engine/sql/statement_runner.h"
#include "engine/storage/fault_injecting_file_system.h"
#include "engine/table/database.h"
#include "engine/util/error.h"
#include "../result_texts.h"
#include "sample_files.h"

using namespace kevra;

namespace {

// Table1.otherfk1 -> Table2.id, Table1.otherfk2 -> Table3.id.
std::shared_ptr<Database> related() { return Database::open(test::sample("indextestv2000.mdb")); }
// 100,000 Customers (id 1..100000) and 10,000 Orders (customer_id -> Customers.id).
std::shared_ptr<Database> medium() { return Database::open(test::sample("bench/medium.mdb")); }

std::vector<std::string> lines(const std::shared_ptr<Database>& db, std::string_view sql) {
  return test::resultLines(db, sql);
}

std::vector<std::string> sorted(std::vector<std::string> v) { return test::sortedLines(std::move(v)); }

std::string plan(const std::shared_ptr<Database>& db, std::string_view sql) {
  std::string text;
  for (const auto& line : explainStatement(db, sql)) text += line + "\n";
  return text;
}

std::vector<long> numbers(const std::shared_ptr<Database>& db, std::string_view sql) {
  std::vector<long> out;
  for (const std::string& line : lines(db, sql)) out.push_back(std::stol(line));
  return out;
}

// medium.mdb opened through a file system that counts the bytes read.
struct ReadCounter {
  uint64_t bytes = 0;
  uint64_t mark = 0;
  FaultInjectingFileSystem counting{realFileSystem(), [this](const FaultPoint& p) {
                                      if (p.operation == FileOperation::Read) bytes += p.length;
                                      return Fault::proceed();
                                    }};
  std::shared_ptr<Database> db = open();

  std::shared_ptr<Database> open() {
    OpenOptions options;
    options.fileSystem = &counting;
    auto opened = Database::open(test::sample("bench/medium.mdb"), options);
    mark = bytes;
    return opened;
  }
  // Bytes read since the last call (or since opening).
  uint64_t read() {
    const uint64_t since = bytes - mark;
    mark = bytes;
    return since;
  }
};

}  // namespace

TEST(SqlCrossJoin, ParsedLikeACommaAndGivesTheSameRows) {
  for (const char* sql : {"SELECT * FROM a CROSS JOIN b", "SELECT * FROM a AS x CROSS JOIN b y",
                          "SELECT * FROM (a CROSS JOIN b) INNER JOIN c ON c.k = a.k"}) {
    auto s = std::get<sql::SelectStatement>(sql::parseStatement(sql));
    ASSERT_GE(s.joins.size(), 1u) << sql;
    EXPECT_EQ(s.joins[0].kind, sql::JoinKind::Cross) << sql;
    EXPECT_EQ(s.joins[0].table.name, "b") << sql;
    EXPECT_FALSE(s.joins[0].on) << sql;
    EXPECT_TRUE(s.from.alias.empty() || s.from.alias == "x") << sql;
  }
  // CROSS is no reserved word: it still names an alias elsewhere.
  auto s = std::get<sql::SelectStatement>(sql::parseStatement("SELECT * FROM a cross, b"));
  EXPECT_EQ(s.from.alias, "cross");
  EXPECT_THROW(sql::parseStatement("SELECT * FROM a CROSS JOIN b ON a.k = b.k"), EngineError);
  EXPECT_THROW(sql::parseStatement("SELECT * FROM a CROSS b"), EngineError);

  auto db = related();
  const auto comma = lines(db, "SELECT Table2.data, Table3.data FROM Table2, Table3");
  EXPECT_EQ(comma.size(), 12u);
  EXPECT_EQ(lines(db, "SELECT Table2.data, Table3.data FROM Table2 CROSS JOIN Table3"), comma);
  EXPECT_EQ(sorted(lines(db, "SELECT t.data, u.data FROM Table2 AS t CROSS JOIN Table3 AS u WHERE t.id + 10 = u.id")),
            (std::vector<std::string>{"foo0|bar10", "foo1|bar11", "foo2|bar12"}));
}

TEST(SqlCommaJoin, PlanOfGroupedAndDistinctJoinsWithWhere) {
  auto db = related();
  // These plans once dereferenced the missing one-table scan of a join.
  for (const char* sql : {"SELECT COUNT(*) AS n FROM Table2 AS c, Table3 AS m WHERE c.id < 3",
                          "SELECT c.data, COUNT(*) FROM Table2 AS c, Table3 AS m WHERE m.id > 10 GROUP BY c.data",
                          "SELECT DISTINCT c.data FROM Table2 AS c, Table3 AS m WHERE c.id < 3",
                          "SELECT COUNT(*) FROM Table1 INNER JOIN Table2 ON Table1.otherfk1 = Table2.id "
                          "WHERE Table2.id = 1"}) {
    const std::string text = plan(db, sql);
    EXPECT_NE(text.find("table 'Table"), std::string::npos) << sql << "\n" << text;
    EXPECT_NE(text.find("in memory"), std::string::npos) << sql << "\n" << text;
  }
  EXPECT_EQ(lines(db, "SELECT COUNT(*) AS n FROM Table2 AS c, Table3 AS m WHERE c.id < 2"),
            std::vector<std::string>{"8"});
}

TEST(SqlCommaJoin, WhereTermsPlacedOnTablesGiveTheFilteredProduct) {
  auto db = medium();
  const std::vector<long> customers = numbers(db, "SELECT id FROM Customers WHERE id < 300");
  std::vector<std::pair<long, long>> orders;  // id, customer_id
  for (const std::string& line : lines(db, "SELECT id, customer_id FROM Orders WHERE id < 300"))
    orders.emplace_back(std::stol(line), std::stol(line.substr(line.find('|') + 1)));
  ASSERT_EQ(customers.size(), 299u);
  ASSERT_EQ(orders.size(), 299u);

  std::vector<std::string> product, matching;
  for (long c : customers)
    for (const auto& [o, owner] : orders) {
      if ((c + o) % 7 == 0) product.push_back(std::to_string(c) + "|" + std::to_string(o));
      if (owner == c || owner == c + 1) matching.push_back(std::to_string(c) + "|" + std::to_string(o));
    }
  const std::string from = "SELECT c.id, m.id FROM Customers AS c, Orders AS m WHERE c.id < 300 AND m.id < 300";
  EXPECT_EQ(sorted(lines(db, from + " AND (c.id + m.id) MOD 7 = 0")), sorted(product));
  EXPECT_EQ(lines(db, "SELECT COUNT(*) FROM Customers AS c, Orders AS m WHERE c.id < 300 AND m.id < 300"),
            std::vector<std::string>{std::to_string(299 * 299)});
  // An equality between the tables joins them; OR keeps a second one from doing so.
  EXPECT_EQ(sorted(lines(db, from + " AND (m.customer_id = c.id OR m.customer_id = c.id + 1)")), sorted(matching));
  const std::string text = plan(db, from);
  EXPECT_NE(text.find("table 'Customers': index 'PrimaryKey' (id range), own conditions first"), std::string::npos)
      << text;
  EXPECT_NE(text.find("table 'Orders': index 'PrimaryKey' (id range), own conditions first, kept in memory"),
            std::string::npos)
      << text;
}

TEST(SqlCommaJoin, EqualityInWhereRunsAsTheInnerJoin) {
  auto db = medium();
  const std::string inner = "SELECT c.id, c.name, m.id FROM Orders AS m INNER JOIN Customers AS c "
                            "ON m.customer_id = c.id WHERE m.amount > 500";
  const std::string comma = "SELECT c.id, c.name, m.id FROM Orders AS m, Customers AS c "
                            "WHERE m.customer_id = c.id AND m.amount > 500";
  const auto expected = sorted(lines(db, inner));
  EXPECT_GT(expected.size(), 100u);
  EXPECT_EQ(sorted(lines(db, comma)), expected);
  const std::string text = plan(db, comma);
  EXPECT_NE(text.find("table 'Customers': lookup per row through index 'PrimaryKey' of table 'Customers', joined on "
                      "WHERE terms"),
            std::string::npos)
      << text;
  // The other way round the smaller table is kept and matched by hash.
  const std::string reversed = "SELECT c.id, c.name, m.id FROM Customers AS c, Orders AS m "
                               "WHERE c.id = m.customer_id AND m.amount > 500";
  EXPECT_EQ(sorted(lines(db, reversed)), expected);
  EXPECT_NE(plan(db, reversed).find("matched by hash, joined on WHERE terms"), std::string::npos) << plan(db, reversed);
  EXPECT_EQ(lines(db, "SELECT COUNT(*), SUM(m.units) FROM Customers AS c, Orders AS m WHERE c.id = m.customer_id"),
            lines(db, "SELECT COUNT(*), SUM(units) FROM Orders"));
}

TEST(SqlCommaJoin, OuterJoinsKeepTheirNullRowsWithWhereTerms) {
  auto db = related();
  // The WHERE reads the side a join fills with NULLs: it must not filter that table first.
  EXPECT_EQ(sorted(lines(db, "SELECT Table3.data, Table1.data FROM Table1 RIGHT JOIN Table3 "
                             "ON Table3.id = Table1.otherfk2 WHERE Table1.id IS NULL OR Table1.id > 1")),
            (std::vector<std::string>{"bar11|baz11-2", "bar12|-", "bar13|baz13"}));
  EXPECT_EQ(sorted(lines(db, "SELECT Table3.data, Table1.data FROM Table3 LEFT JOIN Table1 "
                             "ON Table3.id = Table1.otherfk2 AND Table1.id > 1, Table2 "
                             "WHERE Table2.id = 0 AND (Table1.data IS NULL OR Table1.data <> Table2.data)")),
            (std::vector<std::string>{"bar10|-", "bar11|baz11-2", "bar12|-", "bar13|baz13"}));
  // A RIGHT JOIN after a comma join: the comma's WHERE equality stays a WHERE term.
  EXPECT_EQ(sorted(lines(db, "SELECT Table2.id, Table3.id FROM (Table2, Table3) RIGHT JOIN Table1 "
                             "ON Table1.otherfk2 = Table3.id WHERE Table2.id + 10 = Table3.id OR Table2.id IS NULL")),
            (std::vector<std::string>{"0|10", "1|11", "1|11"}));
}

TEST(SqlCommaJoin, TopStopsTheProductEarly) {
  auto db = medium();
  const auto top = lines(db, "SELECT TOP 10 c.id, d.id FROM Customers AS c, Customers AS d");
  ASSERT_EQ(top.size(), 10u);
  EXPECT_EQ(std::set<std::string>(top.begin(), top.end()).size(), 10u);
  EXPECT_NE(plan(db, "SELECT TOP 10 c.id, d.id FROM Customers AS c, Customers AS d")
                .find("join: rows streamed, stops after 10"),
            std::string::npos);
  // With ORDER BY the best rows are kept: the same as sorting the whole product of a few rows.
  const std::string few = " FROM Customers AS c, Orders AS m WHERE c.id < 40 AND m.id < 30";
  const auto all = lines(db, "SELECT c.name, m.id, c.id" + few + " ORDER BY c.name DESC, m.id");
  ASSERT_EQ(all.size(), 39u * 29u);
  EXPECT_EQ(lines(db, "SELECT TOP 25 c.name, m.id, c.id" + few + " ORDER BY c.name DESC, m.id"),
            std::vector<std::string>(all.begin(), all.begin() + 25));
  EXPECT_NE(plan(db, "SELECT TOP 25 c.name" + few + " ORDER BY c.name").find("order: sort, best 25 kept"),
            std::string::npos);
  EXPECT_EQ(lines(db, "SELECT TOP 0 c.id" + few), std::vector<std::string>{});
  EXPECT_EQ(lines(db, "SELECT TOP 5 PERCENT c.id" + few).size(), (39u * 29u * 5 + 99) / 100);

  // The first rows of a product over 100,000 rows read a small part of the
  // file (the whole product once read both tables in full).
  ReadCounter counter;
  EXPECT_EQ(lines(counter.db, "SELECT TOP 10 c.id, d.name FROM Customers AS c, Customers AS d").size(), 10u);
  EXPECT_LT(counter.read(), 1u << 20);
  const auto distinct = lines(counter.db, "SELECT DISTINCT TOP 5 m.customer_id FROM Customers AS c, Orders AS m");
  EXPECT_EQ(std::set<std::string>(distinct.begin(), distinct.end()).size(), 5u);
  EXPECT_LT(counter.read(), 1u << 20);
}

TEST(SqlCommaJoin, ConditionsOnEachTableSeekThroughItsIndex) {
  ReadCounter counter;
  EXPECT_EQ(lines(counter.db, "SELECT COUNT(*) FROM Customers AS c, Orders AS m WHERE c.id < 300 AND m.id < 300"),
            std::vector<std::string>{std::to_string(299 * 299)});
  EXPECT_LT(counter.read(), 1u << 20);  // the tables hold about 20 MB
  EXPECT_EQ(lines(counter.db, "SELECT COUNT(*) FROM Customers AS c, Orders AS m "
                              "WHERE c.id BETWEEN 500 AND 509 AND m.customer_id = c.id AND m.id > 0"),
            lines(counter.db, "SELECT COUNT(*) FROM Orders WHERE customer_id BETWEEN 500 AND 509"));
}

TEST(SqlCommaJoin, TheSmallerOfTwoTablesIsKeptAndTheLargerReadOnce) {
  auto db = medium();
  const std::string sql = "SELECT m.id, c.id FROM Orders AS m, Customers AS c WHERE m.id < 4 AND c.id > 99997";
  const std::string text = plan(db, sql);
  EXPECT_NE(text.find("table 'Orders': index 'PrimaryKey' (id range), own conditions first, kept in memory (the "
                      "smaller side)\ntable 'Customers': index 'PrimaryKey' (id range), own conditions first, every "
                      "pair tried"),
            std::string::npos)
      << text;
  std::vector<std::string> expected;
  for (int m = 1; m < 4; ++m)
    for (int c = 99998; c <= 100000; ++c) expected.push_back(std::to_string(m) + "|" + std::to_string(c));
  EXPECT_EQ(sorted(lines(db, sql)), sorted(expected));
  // A join on an equality keeps the FROM order: the first table is read once.
  EXPECT_EQ(plan(db, "SELECT m.id FROM Orders AS m, Customers AS c WHERE m.customer_id = c.id").find("smaller side"),
            std::string::npos);
}
