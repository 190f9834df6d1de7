// Saved queries read back from MSysQueries and written as Jet SQL: the text
// of each kind of query (one of each in querytestv2000.mdb), and every
// select query's text run by the engine's own SQL.
#include <gtest/gtest.h>

#include <map>

#include "engine/format/value_text.h"
#include "engine/sql/statement_runner.h"
#include "engine/table/database.h"
#include "engine/table/implied_from.h"
#include "engine/table/saved_query.h"
#include "engine/util/error.h"
#include "sample_files.h"
#include "../result_texts.h"

using namespace kevra;

namespace {

std::map<std::string, SavedQuery> queriesOf(const Database& db) {
  std::map<std::string, SavedQuery> byName;
  for (auto& q : readSavedQueries(db)) byName[q.name] = q;
  return byName;
}


}  // namespace

TEST(SavedQueryText, EachKindOfQueryAsJetSql) {
  auto db = Database::open(test::sample("querytestv2000.mdb"));
  auto q = queriesOf(*db);
  ASSERT_EQ(q.size(), 9u);
  // Two conditions between the same pair are one join; the LEFT JOIN's
  // source comes first and the chain nests to the left.
  EXPECT_EQ(savedQuerySql(q["SelectQuery"]),
            "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\n"
            "FROM (Table1 LEFT JOIN Table3 ON Table1.col1 = Table3.col1) INNER JOIN Table2 ON "
            "(Table3.col1 = Table2.col1) AND (Table3.col1 = Table2.col2)\n"
            "WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))\n"
            "ORDER BY Table2.col1;");
  EXPECT_EQ(savedQuerySql(q["UpdateQuery"]),
            "PARAMETERS [User Name] Text;\n"
            "UPDATE Table1 SET Table1.col1 = \"foo\", Table1.col2 = [Table2].[col3], [Table2].[col1] = [User Name]\n"
            "WHERE ((([Table2].[col1]) Is Not Null));");
  // A source no join names stands before the chain.
  EXPECT_EQ(savedQuerySql(q["AppendQuery"]),
            "INSERT INTO Table3 (col2, col2, col3)\n"
            "SELECT [Table1].[col2], [Table2].[col2], [Table2].[col3]\n"
            "FROM Table3, Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1];");
  EXPECT_EQ(savedQuerySql(q["DeleteQuery"]),
            "DELETE Table1.col1, Table1.col2, Table1.col3\nFROM Table1\nWHERE (((Table1.col1)>\"blah\"));");
  EXPECT_EQ(savedQuerySql(q["MakeTableQuery"]),
            "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2, Table3.col2 INTO Table4\n"
            "FROM (Table2 INNER JOIN Table1 ON Table2.col1 = Table1.col2) RIGHT JOIN Table3 ON "
            "Table1.col2 = Table3.col3\n"
            "GROUP BY Table2.col2, Table3.col2\n"
            "HAVING (((Max(Table2.col1))=\"buzz\") AND ((Table2.col2)<>\"blah\"));");
  // The value column goes to TRANSFORM, the pivot column to PIVOT (and out
  // of GROUP BY); a table read twice keeps its alias.
  EXPECT_EQ(savedQuerySql(q["CrosstabQuery"]),
            "TRANSFORM Count([Table2].[col2]) AS CountOfcol2\n"
            "SELECT Table2_1.col1, [Table2].[col3], Avg(Table2_1.col2) AS AvgOfcol2\n"
            "FROM (Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]) INNER JOIN Table2 AS Table2_1 ON "
            "[Table2].[col1]=Table2_1.col3\n"
            "WHERE ((([Table1].[col1])>\"10\") And ((Table2_1.col1) Is Not Null) And ((Avg(Table2_1.col2))>\"10\"))\n"
            "GROUP BY Table2_1.col1, [Table2].[col3]\n"
            "ORDER BY [Table2].[col3]\n"
            "PIVOT [Table1].[col1];");
  // The options row without the distinct bit joins the parts with UNION ALL.
  EXPECT_EQ(savedQuerySql(q["UnionQuery"]),
            "Select Table1.col1, Table1.col2\nwhere Table1.col1 = \"foo\"\nUNION\nSelect Table2.col1, Table2.col2\n"
            "UNION ALL\n"
            "Select Table3.col1, Table3.col2\nwhere Table3.col3 > \"blah\";");
  EXPECT_EQ(savedQuerySql(q["DataDefinitionQuery"]), "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);");
  EXPECT_EQ(savedQuerySql(q["PassthroughQuery"]), "ALTER TABLE Table4 DROP COLUMN col5;");
  EXPECT_EQ(q["PassthroughQuery"].targetConnect, "ODBC;");

  // Kinds come from the rows, and only three of them return rows.
  EXPECT_EQ(q["MakeTableQuery"].kind, SavedQueryKind::MakeTable);
  EXPECT_EQ(q["AppendQuery"].target, "Table3");
  EXPECT_EQ(q["UpdateQuery"].parameters.size(), 1u);
  int returning = 0;
  for (auto& [name, query] : q) returning += query.returnsRows();
  EXPECT_EQ(returning, 3);
}

TEST(SavedQueryText, SelectQueriesRunOnTheEnginesSql) {
  // Every select query of the samples parses and runs; the LIKE one gives
  // the one row of t_like2 whose Campo2 starts with d and ends in a digit.
  auto db = Database::open(test::sample("querytestv2000.mdb"));
  auto select = queriesOf(*db)["SelectQuery"];
  auto rows = kevra::test::resultTexts(db, savedQuerySql(select));
  EXPECT_TRUE(rows.empty());  // its tables are empty
  StatementResult r = runStatement(db, savedQuerySql(select));
  ASSERT_TRUE(r.rows);
  // Table1.* gives Table1's three columns, then the three named ones.
  EXPECT_EQ(r.rows->columns().size(), 6u);

  auto like = Database::open(test::sample("accesslike.mdb"));
  auto q = queriesOf(*like)["q_like2"];
  EXPECT_EQ(savedQuerySql(q), "SELECT Campo2\nFROM t_like2\nWHERE Campo2 LIKE \"d*#\";");
  EXPECT_EQ(kevra::test::resultTexts(like, savedQuerySql(q)), (std::vector<std::vector<std::string>>{{"dd1"}}));
}

TEST(SavedQueryText, UnionPartsWithoutFromRunWithTheTablesTheyName) {
  // The union query's parts name their fields by table and have no FROM;
  // its rows are read with the FROM they imply, the text shown stays as stored.
  auto db = Database::open(test::sample("querytestv2000.mdb"));
  auto u = queriesOf(*db)["UnionQuery"];
  const std::string rows = savedQueryRowsSql(u);
  EXPECT_NE(rows.find("col2 FROM [Table1] where"), std::string::npos) << rows;
  EXPECT_NE(rows.find("col2 FROM [Table2]"), std::string::npos) << rows;
  EXPECT_NE(rows.find("col2 FROM [Table3] where"), std::string::npos) << rows;
  StatementResult r = runStatement(db, rows);
  ASSERT_TRUE(r.rows);
  EXPECT_EQ(r.rows->columns().size(), 2u);
  EXPECT_EQ(savedQueryRowsSql(queriesOf(*db)["SelectQuery"]), savedQuerySql(queriesOf(*db)["SelectQuery"]));

  EXPECT_EQ(withImpliedFrom("Select A.x, [B c].y\nwhere A.x > 1 order by A.x"),
            "Select A . x , [B c] . y FROM [A], [B c] where A . x > 1 order by A . x");
  EXPECT_EQ(withImpliedFrom("select a.x from a"), "select a.x from a");  // has one
  EXPECT_EQ(withImpliedFrom("select 1 + 2"), "select 1 + 2");           // names no table
  EXPECT_EQ(withImpliedFrom("select T.x"), "select T . x FROM [T]");
  EXPECT_EQ(withImpliedFrom("select T.x union all select U.y where U.y > 0"),
            "select T . x FROM [T] union all select U . y FROM [U] where U . y > 0");
  EXPECT_EQ(withImpliedFrom("select T.x from T union select U.y"), "select T . x from T union select U . y FROM [U]");
}

TEST(SavedQueryText, NamesAreBracketedOnlyWhenTheyNeedIt) {
  EXPECT_EQ(jetName("Orders"), "Orders");
  EXPECT_EQ(jetName("Order Details"), "[Order Details]");
  EXPECT_EQ(jetName("2nd"), "[2nd]");
  EXPECT_EQ(jetName("a-b"), "[a-b]");
  EXPECT_EQ(jetName("snake_case1"), "snake_case1");
}

TEST(SavedQueryText, JoinsThatDoNotConnectAreRefusedByName) {
  SavedQuery q;
  q.name = "Broken";
  q.sources = {{"A", "", "", ""}, {"B", "", "", ""}, {"C", "", "", ""}, {"D", "", "", ""}};
  q.columns = {{"A.x", "", "", 0}};
  q.joins = {{"A", "B", "A.x = B.x", 1}, {"C", "D", "C.x = D.x", 2}};
  try {
    savedQuerySql(q);
    FAIL() << "no error";
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Query 'Broken' has joins that do not form one chain.");
  }
  // A TOP and a VALUES append are written as Jet writes them.
  SavedQuery top;
  top.options = SavedQuery::kTop | SavedQuery::kPercent;
  top.top = "10";
  top.sources = {{"Order Details", "od", "", ""}};
  top.columns = {{"od.Qty", "", "", 0}};
  top.orderBy = {{"od.Qty", true}};
  EXPECT_EQ(savedQuerySql(top), "SELECT TOP 10 PERCENT od.Qty\nFROM [Order Details] AS od\nORDER BY od.Qty DESC;");
  SavedQuery values;
  values.kind = SavedQueryKind::Append;
  values.target = "Log";
  values.columns = {{"Now()", "", "At", SavedQuery::kAppendValues}, {"'x'", "", "Note", SavedQuery::kAppendValues}};
  EXPECT_EQ(savedQuerySql(values), "INSERT INTO Log (At, Note)\nVALUES (Now(), 'x');");
}
