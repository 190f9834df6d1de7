// SELECT run against real files: the plain grid query, projection, WHERE,
// ORDER BY, DISTINCT, and fetching blocks of rows at any position.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/format/value_text.h"
#include "engine/sql/statement_runner.h"
#include "engine/util/error.h"
#include "sample_files.h"

using namespace kevra;

namespace {

std::shared_ptr<Database> openSample(const std::string& name) { return Database::open(test::sample(name)); }

std::unique_ptr<ResultSet> query(const std::shared_ptr<Database>& db, std::string_view sql) {
  StatementResult r = runStatement(db, sql);
  EXPECT_TRUE(r.rows) << sql;
  return std::move(r.rows);
}

std::vector<std::vector<Value>> fetchAll(ResultSet& rs) {
  std::vector<std::vector<Value>> all, block;
  for (uint64_t at = 0; rs.fetch(at, 100, block) > 0; at += block.size())
    all.insert(all.end(), block.begin(), block.end());
  return all;
}

std::vector<std::string> columnNames(const ResultSet& rs) {
  std::vector<std::string> names;
  for (const auto& c : rs.columns()) names.push_back(c.name);
  return names;
}

std::string text(const Value& v) { return valueToText(v); }

}  // namespace

TEST(SqlSelectAll, EveryColumnAndRowOfTheTypesTable) {
  auto db = openSample("testv2000.mdb");
  auto rs = query(db, "select * from [Table1]");
  EXPECT_EQ(columnNames(*rs), (std::vector<std::string>{"A", "B", "C", "D", "E", "F", "G", "H", "I"}));
  EXPECT_EQ(rs->columns()[0].type, ColumnType::Text);
  EXPECT_EQ(rs->columns()[7].type, ColumnType::Currency);
  EXPECT_EQ(rs->rowCount(), 2u);
  auto rows = fetchAll(*rs);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(text(rows[0][0]), "abcdefg");
  EXPECT_EQ(text(rows[0][1]), "hijklmnop");
  EXPECT_EQ(std::get<uint8_t>(rows[0][2]), 2);
  EXPECT_EQ(std::get<int16_t>(rows[0][3]), 222);
  EXPECT_EQ(std::get<int32_t>(rows[0][4]), 333333333);
  EXPECT_DOUBLE_EQ(std::get<double>(rows[0][5]), 444.555);
  EXPECT_EQ(std::get<Currency>(rows[0][7]).scaled, 35000);
  EXPECT_EQ(std::get<bool>(rows[0][8]), true);
  EXPECT_EQ(text(rows[1][0]), "a");
}

TEST(SqlSelectAll, FetchAtAnyPositionDecodesOnlyThatBlock) {
  auto db = openSample("catesri_test.mdb");
  // The first column of every row, read once in storage order.
  std::vector<int32_t> ids;
  {
    auto cursor = db->openCursor(db->table("my_pipelines"));
    std::vector<Value> row;
    while (cursor->next(row)) ids.push_back(std::get<int32_t>(row[0]));
  }
  ASSERT_EQ(ids.size(), 3441u);

  auto rs = query(db, "select * from [my_pipelines]");
  EXPECT_EQ(rs->rowCount(), 3441u);
  std::vector<std::vector<Value>> block;
  // Backwards and forwards, as a scrolling grid asks.
  ASSERT_EQ(rs->fetch(3439, 10, block), 2u);
  EXPECT_EQ(std::get<int32_t>(block[0][0]), ids[3439]);
  EXPECT_EQ(std::get<int32_t>(block[1][0]), ids[3440]);
  ASSERT_EQ(rs->fetch(100, 3, block), 3u);
  EXPECT_EQ(std::get<int32_t>(block[0][0]), 101);
  EXPECT_EQ(std::get<int32_t>(block[2][0]), ids[102]);
  ASSERT_EQ(rs->fetch(0, 2, block), 2u);
  EXPECT_EQ(std::get<int32_t>(block[0][0]), ids[0]);
  EXPECT_EQ(std::get<int32_t>(block[1][0]), ids[1]);
  EXPECT_EQ(rs->fetch(3441, 5, block), 0u);
  EXPECT_TRUE(block.empty());
  for (uint64_t at : {2000u, 17u, 3440u, 18u}) {
    ASSERT_EQ(rs->fetch(at, 1, block), 1u);
    EXPECT_EQ(std::get<int32_t>(block[0][0]), ids[at]) << at;
  }
  // A block read whole equals the same rows read one at a time.
  std::vector<std::vector<Value>> whole, one;
  rs->fetch(1500, 20, whole);
  for (size_t i = 0; i < 20; ++i) {
    rs->fetch(1500 + i, 1, one);
    EXPECT_EQ(whole[i], one[0]) << i;
  }
}

TEST(SqlSelectAll, MissingTableIsAnEngineError) {
  auto db = openSample("testv2000.mdb");
  EXPECT_THROW(runStatement(db, "select * from [NoSuchTable]"), EngineError);
}

TEST(SqlSelectProjection, NamedColumnsAliasesAndExpressions) {
  auto db = openSample("testv2000.mdb");
  auto rs = query(db, "SELECT e, Table1.a AS Name, D * 2, [A] & '-' & B FROM Table1");
  EXPECT_EQ(columnNames(*rs), (std::vector<std::string>{"E", "Name", "Expr1000", "Expr1001"}));
  EXPECT_EQ(rs->columns()[0].type, ColumnType::Long);
  EXPECT_EQ(rs->columns()[1].type, ColumnType::Text);
  EXPECT_EQ(rs->columns()[2].type, ColumnType::Long);
  auto rows = fetchAll(*rs);
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(rows[0].size(), 4u);
  EXPECT_EQ(std::get<int32_t>(rows[0][0]), 333333333);
  EXPECT_EQ(text(rows[0][1]), "abcdefg");
  EXPECT_EQ(std::get<int32_t>(rows[0][2]), 444);
  EXPECT_EQ(text(rows[0][3]), "abcdefg-hijklmnop");
  EXPECT_EQ(text(rows[1][3]), "a-b");
}

TEST(SqlSelectProjection, UnknownFieldOrQualifierNamesIt) {
  auto db = openSample("testv2000.mdb");
  try {
    runStatement(db, "SELECT Z FROM Table1");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "The field 'Z' is not in table 'Table1'.");
  }
  EXPECT_THROW(runStatement(db, "SELECT x.* FROM Table1"), EngineError);
  EXPECT_NO_THROW(runStatement(db, "SELECT x.* FROM Table1 AS x"));
}

TEST(SqlSelectWhere, FiltersWithTypedComparisons) {
  auto db = openSample("testv2000.mdb");
  auto rows = fetchAll(*query(db, "SELECT A FROM Table1 WHERE H = 3.5"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(text(rows[0][0]), "abcdefg");
  rows = fetchAll(*query(db, "SELECT A FROM Table1 WHERE G < #1980-01-01#"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(text(rows[0][0]), "abcdefg");
  rows = fetchAll(*query(db, "SELECT A FROM Table1 WHERE G = #12/12/1981#"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(text(rows[0][0]), "a");
  EXPECT_EQ(query(db, "SELECT A FROM Table1 WHERE I = True")->rowCount(), 1u);
  EXPECT_EQ(query(db, "SELECT A FROM Table1 WHERE a = 'ABCDEFG'")->rowCount(), 1u);
  EXPECT_EQ(query(db, "SELECT * FROM Table1 WHERE A LIKE '*'")->rowCount(), 2u);
  EXPECT_EQ(query(db, "SELECT * FROM Table1 WHERE A IS NULL")->rowCount(), 0u);
}

TEST(SqlSelectWhere, MatchesAnIndependentCountOnALargerTable) {
  // Counts taken with an independent reader (mdbtools) of the same file.
  auto db = openSample("catesri_test.mdb");
  EXPECT_EQ(query(db, "SELECT * FROM my_pipelines WHERE COMMODITY1 = 'gas'")->rowCount(), 2241u);
  EXPECT_EQ(query(db, "SELECT * FROM my_pipelines WHERE COMMODITY1 IN ('oil', 'CO2')")->rowCount(), 918u);
  EXPECT_EQ(query(db, "SELECT * FROM my_pipelines WHERE DIAMETER >= 20")->rowCount(), 226u);
  EXPECT_EQ(query(db, "SELECT * FROM my_pipelines WHERE OPER_NM LIKE 's*'")->rowCount(), 90u);
  EXPECT_EQ(query(db, "SELECT * FROM my_pipelines WHERE NOT (DIAMETER >= 20)")->rowCount(), 3441u - 226u);
}

TEST(SqlSelectWhere, NullsNeverMatchAComparison) {
  auto db = openSample("compindextestv2000.mdb");
  // 512 rows, two of them with no CD_AGENTE.
  EXPECT_EQ(query(db, "SELECT * FROM Table1 WHERE CD_AGENTE IS NULL")->rowCount(), 2u);
  EXPECT_EQ(query(db, "SELECT * FROM Table1 WHERE CD_AGENTE > 0")->rowCount(), 510u);
  EXPECT_EQ(query(db, "SELECT * FROM Table1 WHERE CD_AGENTE <= 0")->rowCount(), 0u);
  EXPECT_EQ(query(db, "SELECT * FROM Table1 WHERE CD_AGENTE BETWEEN 1000 AND 2000")->rowCount(), 66u);
}

TEST(SqlSelectWhere, FetchFromTheMiddleBeforeCounting) {
  auto db = openSample("compindextestv2000.mdb");
  auto rs = query(db, "SELECT CD_AGENTE, DC_AGENTE FROM Table1 WHERE CD_AGENTE IS NULL OR CD_AGENTE < 40");
  std::vector<std::vector<Value>> block;
  ASSERT_EQ(rs->fetch(1, 2, block), 2u);
  EXPECT_EQ(std::get<int32_t>(block[0][0]), 27);
  EXPECT_EQ(std::get<int32_t>(block[1][0]), 35);
  EXPECT_EQ(rs->rowCount(), 5u);
  ASSERT_EQ(rs->fetch(3, 10, block), 2u);
  EXPECT_TRUE(isNull(block[0][0]));
  EXPECT_EQ(text(block[0][1]), "ddd");
  EXPECT_EQ(text(block[1][1]), "efg");
}

TEST(SqlSelectOrder, AscendingDescendingAndNullsFirst) {
  auto db = openSample("compindextestv2000.mdb");
  auto rs = query(db, "SELECT CD_AGENTE FROM Table1 ORDER BY CD_AGENTE DESC");
  auto rows = fetchAll(*rs);
  ASSERT_EQ(rows.size(), 512u);
  EXPECT_EQ(std::get<int32_t>(rows[0][0]), 4813);
  EXPECT_EQ(std::get<int32_t>(rows[1][0]), 4812);
  EXPECT_TRUE(isNull(rows[510][0]));
  EXPECT_TRUE(isNull(rows[511][0]));
  for (size_t i = 1; i < 510; ++i)
    ASSERT_GE(std::get<int32_t>(rows[i - 1][0]), std::get<int32_t>(rows[i][0])) << i;

  rs = query(db, "select DC_AGENTE, CD_AGENTE from Table1 order by CD_AGENTE");
  std::vector<std::vector<Value>> block;
  ASSERT_EQ(rs->fetch(0, 3, block), 3u);
  EXPECT_TRUE(isNull(block[0][1]));
  EXPECT_TRUE(isNull(block[1][1]));
  EXPECT_EQ(text(block[0][0]), "ddd");  // equal keys keep table order
  EXPECT_EQ(std::get<int32_t>(block[2][1]), 19);
}

TEST(SqlSelectOrder, SeveralKeysExpressionsAndAliases) {
  auto db = openSample("catesri_test.mdb");
  auto rs = query(db,
                  "SELECT OBJECTID_1 AS Id, DIAMETER FROM my_pipelines WHERE DIAMETER >= 36 "
                  "ORDER BY DIAMETER DESC, Id DESC");
  auto rows = fetchAll(*rs);
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(std::get<int32_t>(rows[0][0]), 2440);
  EXPECT_EQ(std::get<int32_t>(rows[1][0]), 2355);
  EXPECT_EQ(std::get<int32_t>(rows[2][0]), 2346);

  // Text sorts ignoring case; the order is that of the folded text.
  rows = fetchAll(*query(db, "SELECT OPER_NM FROM my_pipelines ORDER BY OPER_NM"));
  ASSERT_EQ(rows.size(), 3441u);
  for (size_t i = 1; i < rows.size(); ++i) {
    std::string a = text(rows[i - 1][0]), b = text(rows[i][0]);
    std::transform(a.begin(), a.end(), a.begin(), ::tolower);
    std::transform(b.begin(), b.end(), b.begin(), ::tolower);
    ASSERT_LE(a, b) << i;
  }
}

TEST(SqlSelectDistinct, RowsKeptOnceIgnoringCase) {
  auto db = openSample("catesri_test.mdb");
  auto rs = query(db, "SELECT DISTINCT COMMODITY1 FROM my_pipelines ORDER BY COMMODITY1");
  auto rows = fetchAll(*rs);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(text(rows[0][0]), "CO2");
  EXPECT_EQ(text(rows[1][0]), "Gas");
  EXPECT_EQ(text(rows[2][0]), "Oil");
  EXPECT_EQ(text(rows[3][0]), "pro");
  EXPECT_EQ(query(db, "SELECT DISTINCT OPER_NM FROM my_pipelines")->rowCount(), 81u);
  EXPECT_EQ(query(db, "SELECT DISTINCT UCase(COMMODITY1) FROM my_pipelines WHERE DIAMETER > 30")->rowCount(),
            fetchAll(*query(db, "SELECT DISTINCT COMMODITY1 FROM my_pipelines WHERE DIAMETER > 30")).size());

  auto db2 = openSample("compindextestv2000.mdb");
  rows = fetchAll(*query(db2, "SELECT DISTINCT RS_AGENTE, DC_AGENTE FROM Table1"));
  ASSERT_EQ(rows.size(), 3u);  // first appearance order
  EXPECT_EQ(text(rows[0][1]), "def");
  EXPECT_EQ(text(rows[1][1]), "ddd");
  EXPECT_EQ(text(rows[2][1]), "efg");
}

TEST(SqlSelectEditing, WholeRowResultsReportTheirTableAndRowLocations) {
  auto db = openSample("compindextestv2000.mdb");
  std::vector<uint32_t> locations;
  std::vector<int32_t> ids;  // -1 for NULL
  {
    auto cursor = db->openCursor(db->table("Table1"));
    std::vector<Value> row;
    while (cursor->next(row)) {
      locations.push_back(cursor->lastLocation());
      ids.push_back(isNull(row[0]) ? -1 : std::get<int32_t>(row[0]));
    }
  }
  auto all = query(db, "select * from [Table1]");
  ASSERT_TRUE(all->sourceTable());
  EXPECT_EQ(all->sourceTable()->name, "Table1");
  EXPECT_EQ(all->rowLocation(300), locations[300]);
  EXPECT_EQ(all->rowLocation(0), locations[0]);
  EXPECT_FALSE(all->rowLocation(512));

  // Sorted: position 0 holds the largest id.
  auto sorted = query(db, "SELECT * FROM Table1 WHERE CD_AGENTE > 100 ORDER BY CD_AGENTE DESC");
  ASSERT_TRUE(sorted->sourceTable());
  const size_t largest = size_t(std::max_element(ids.begin(), ids.end()) - ids.begin());
  EXPECT_EQ(sorted->rowLocation(0), locations[largest]);

  auto top = query(db, "SELECT TOP 2 * FROM Table1");
  EXPECT_EQ(top->rowLocation(1), locations[1]);
  EXPECT_FALSE(top->rowLocation(2));

  // Anything but whole rows of one table cannot be edited in place.
  EXPECT_FALSE(query(db, "SELECT CD_AGENTE FROM Table1")->sourceTable());
  EXPECT_FALSE(query(db, "SELECT DC_AGENTE, RS_AGENTE, CD_AGENTE FROM Table1")->sourceTable());
  EXPECT_FALSE(query(db, "SELECT DISTINCT * FROM Table1")->sourceTable());
  EXPECT_FALSE(query(db, "SELECT CD_AGENTE FROM Table1 ORDER BY 1")->rowLocation(0));
}
