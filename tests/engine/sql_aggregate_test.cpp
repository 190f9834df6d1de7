// Grouped SELECTs (aggregate functions, GROUP BY, HAVING) and TOP, run on
// sample files; expected figures were worked out with mdbtools' export.
#include <gtest/gtest.h>

#include "engine/table/database.h"
#include "engine/format/value_text.h"
#include "engine/expr/aggregate_functions.h"
#include "engine/sql/statement_runner.h"
#include "engine/util/error.h"
#include "sample_files.h"

using namespace kevra;

namespace {

std::vector<std::vector<Value>> rowsOf(const std::shared_ptr<Database>& db, std::string_view sql) {
  StatementResult r = runStatement(db, sql);
  std::vector<std::vector<Value>> all;
  r.rows->fetch(0, size_t(r.rows->rowCount()), all);
  return all;
}

std::shared_ptr<Database> pipelines() { return Database::open(test::sample("catesri_test.mdb")); }

double number(const Value& v) {
  if (auto* i = std::get_if<int32_t>(&v)) return *i;
  return std::get<double>(v);
}

}  // namespace

TEST(SqlAggregateWholeTable, CountSumAvgMinMax) {
  auto db = Database::open(test::sample("compindextestv2000.mdb"));
  auto rows = rowsOf(db,
                     "SELECT Count(*), Count(CD_AGENTE), Sum(CD_AGENTE), Avg(CD_AGENTE), Min(CD_AGENTE), "
                     "Max(CD_AGENTE) AS Highest FROM Table1");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(std::get<int32_t>(rows[0][0]), 512);
  EXPECT_EQ(std::get<int32_t>(rows[0][1]), 510);  // NULLs are not counted
  EXPECT_EQ(std::get<int32_t>(rows[0][2]), 1563456);
  EXPECT_DOUBLE_EQ(std::get<double>(rows[0][3]), 3065.6);
  EXPECT_EQ(std::get<int32_t>(rows[0][4]), 19);
  EXPECT_EQ(std::get<int32_t>(rows[0][5]), 4813);
}

TEST(SqlAggregateWholeTable, EmptySelectionStillGivesOneRow) {
  auto db = Database::open(test::sample("compindextestv2000.mdb"));
  auto rows = rowsOf(db, "SELECT Count(*), Sum(CD_AGENTE), Max(DC_AGENTE) FROM Table1 WHERE CD_AGENTE < 0");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(std::get<int32_t>(rows[0][0]), 0);
  EXPECT_TRUE(isNull(rows[0][1]));
  EXPECT_TRUE(isNull(rows[0][2]));
}

TEST(SqlAggregateGroups, GroupByHavingAndOrder) {
  auto db = pipelines();
  auto rows = rowsOf(db,
                     "SELECT COMMODITY1, Count(*) AS N, Sum(DIAMETER), Max(DIAMETER) FROM my_pipelines "
                     "GROUP BY COMMODITY1");
  ASSERT_EQ(rows.size(), 4u);  // groups come in value order
  EXPECT_EQ(valueToText(rows[0][0]), "CO2");
  EXPECT_EQ(std::get<int32_t>(rows[0][1]), 60);
  EXPECT_EQ(valueToText(rows[1][0]), "Gas");
  EXPECT_EQ(std::get<int32_t>(rows[1][1]), 2241);
  EXPECT_DOUBLE_EQ(number(rows[1][2]), 12181.5);
  EXPECT_DOUBLE_EQ(number(rows[1][3]), 36.0);
  EXPECT_EQ(valueToText(rows[3][0]), "pro");
  EXPECT_DOUBLE_EQ(number(rows[3][2]), 1112.0);

  rows = rowsOf(db,
                "SELECT COMMODITY1, Count(*) AS N FROM my_pipelines GROUP BY COMMODITY1 "
                "HAVING Count(*) > 100 ORDER BY Count(*) DESC");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(valueToText(rows[0][0]), "Gas");
  EXPECT_EQ(valueToText(rows[1][0]), "Oil");
  EXPECT_EQ(valueToText(rows[2][0]), "pro");

  rows = rowsOf(db, "SELECT Avg(DIAMETER) FROM my_pipelines WHERE COMMODITY1 = 'co2'");
  EXPECT_DOUBLE_EQ(number(rows[0][0]), 2.4);
}

TEST(SqlAggregateGroups, FieldsOutsideAggregatesMustBeGrouped) {
  auto db = pipelines();
  EXPECT_THROW(runStatement(db, "SELECT OPER_NM, Count(*) FROM my_pipelines GROUP BY COMMODITY1"), EngineError);
  EXPECT_THROW(runStatement(db, "SELECT * FROM my_pipelines GROUP BY COMMODITY1"), EngineError);
  EXPECT_THROW(runStatement(db, "SELECT * FROM my_pipelines WHERE Count(*) > 1"), EngineError);
  EXPECT_NO_THROW(runStatement(db, "SELECT COMMODITY1 FROM my_pipelines GROUP BY COMMODITY1"));
  // A grouped expression may be shown whole, not its fields alone.
  auto rows = rowsOf(db, "SELECT UCase(COMMODITY1), Count(*) FROM my_pipelines GROUP BY ucase(commodity1) "
                         "ORDER BY UCase(COMMODITY1) DESC");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(valueToText(rows[0][0]), "PRO");
  EXPECT_EQ(std::get<int32_t>(rows[0][1]), 282);
  EXPECT_THROW(runStatement(db, "SELECT LCase(COMMODITY1) FROM my_pipelines GROUP BY UCase(COMMODITY1)"),
               EngineError);
  EXPECT_THROW(runStatement(db, "SELECT DIAMETER + 1 FROM my_pipelines GROUP BY DIAMETER + 2"), EngineError);
  EXPECT_NO_THROW(runStatement(db, "SELECT DIAMETER + 2, Count(*) FROM my_pipelines GROUP BY DIAMETER + 2"));
}

TEST(SqlAggregateFunctions, AccumulatorsSkipNullsExceptFirstAndLast) {
  expr::Accumulator count("count"), first("First"), last("LAST"), sum("Sum"), min("Min");
  for (const Value& v : {Value{}, Value{int16_t(5)}, Value{int16_t(-2)}, Value{}}) {
    count.add(v);
    first.add(v);
    last.add(v);
    sum.add(v);
    min.add(v);
  }
  EXPECT_EQ(std::get<int32_t>(count.result()), 2);
  EXPECT_TRUE(isNull(first.result()));
  EXPECT_TRUE(isNull(last.result()));
  EXPECT_EQ(std::get<int32_t>(sum.result()), 3);  // Integer sums come out as a Long
  EXPECT_EQ(std::get<int16_t>(min.result()), -2);
  expr::Accumulator textMax("Max");
  textMax.add(Value{std::string("apple")});
  textMax.add(Value{std::string("Banana")});
  EXPECT_EQ(std::get<std::string>(textMax.result()), "Banana");  // ignoring case
  EXPECT_THROW(expr::Accumulator("Median"), EngineError);
}

TEST(SqlTop, FirstRowsOfTheResultInItsOrder) {
  auto db = pipelines();
  StatementResult r = runStatement(db, "SELECT TOP 3 OBJECTID_1 FROM my_pipelines ORDER BY OBJECTID_1 DESC");
  EXPECT_EQ(r.rows->rowCount(), 3u);
  std::vector<std::vector<Value>> rows;
  EXPECT_EQ(r.rows->fetch(0, 10, rows), 3u);
  EXPECT_EQ(std::get<int32_t>(rows[0][0]), 3441);
  EXPECT_EQ(std::get<int32_t>(rows[2][0]), 3439);
  EXPECT_EQ(r.rows->fetch(3, 10, rows), 0u);

  r = runStatement(db, "SELECT TOP 10 PERCENT * FROM my_pipelines");
  EXPECT_EQ(r.rows->rowCount(), 345u);  // 3441 rows, rounded up
  r = runStatement(db, "SELECT TOP 50 * FROM my_pipelines WHERE COMMODITY1 = 'CO2' AND DIAMETER > 4");
  const uint64_t fewer = r.rows->rowCount();
  EXPECT_LT(fewer, 50u);
  EXPECT_EQ(fewer, runStatement(db, "SELECT * FROM my_pipelines WHERE COMMODITY1 = 'CO2' AND DIAMETER > 4")
                       .rows->rowCount());
}
