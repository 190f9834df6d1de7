// Changing rows in copies of real files: values read back through the engine
// and through mdbtools, growth over many pages, long values, refusals that
// leave the file byte-identical.
#include <gtest/gtest.h>

#include <cstdio>

#include "database/ado_types.h"
#include "database/connection.h"
#include "database/recordset.h"
#include "engine/format/value_text.h"
#include "engine/storage/page_file.h"
#include "engine/table/file_check.h"
#include "engine/util/error.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

std::string commandOutput(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

std::string text(const Value& v) { return isNull(v) ? "<null>" : valueToText(v); }

}  // namespace

TEST(RowChanges, InsertUpdateDeleteReadBackHereAndInMdbtools) {
  ScratchCopy copy("overflowtestv2000.mdb");
  auto db = openForWriting(copy.path());
  EXPECT_EQ(runSql(db, "INSERT INTO Table1 (data1, data3) VALUES ('Łódź', 'Ωμέγα 漢字')"), 1);
  EXPECT_EQ(runSql(db, "UPDATE Table1 SET data9 = 'changed' WHERE data1 = 'row2col1'"), 1);
  EXPECT_EQ(runSql(db, "DELETE FROM Table1 WHERE data3 = 'row5col2'"), 1);
  auto rows = allRows(db, "Table1");
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(db->table("Table1")->rowCount, 7u);
  db.reset();

  auto again = Database::open(copy.path());
  bool sawInserted = false, sawUpdated = false;
  for (auto& r : allRows(again, "Table1")) {
    sawInserted |= text(r[0]) == "Łódź" && text(r[1]) == "Ωμέγα 漢字";
    sawUpdated |= text(r[0]) == "row2col1" && text(r[7]) == "changed";
    EXPECT_NE(text(r[1]), "row5col2");
  }
  EXPECT_TRUE(sawInserted);
  EXPECT_TRUE(sawUpdated);
  std::string exported = commandOutput("mdb-export '" + copy.path() + "' Table1");
  EXPECT_NE(exported.find("\"Łódź\",\"Ωμέγα 漢字\""), std::string::npos) << exported;
  EXPECT_NE(exported.find("\"changed\""), std::string::npos);
  EXPECT_EQ(exported.find("row5col2"), std::string::npos);
  EXPECT_EQ(commandOutput("mdb-count '" + copy.path() + "' Table1"), "7\n");
}

TEST(RowChanges, RowsThatGrowMoveBehindOverflowPointers) {
  ScratchCopy copy("overflowtestv2000.mdb");
  auto db = openForWriting(copy.path());
  // Fill every column of every row so rows outgrow their pages.
  for (int c : {3, 4, 5, 6, 7, 8, 9, 10})
    runSql(db, "UPDATE Table1 SET data" + std::to_string(c) + " = 'a value of forty-seven characters for col " +
                   std::to_string(c) + " xx'");
  auto rows = allRows(db, "Table1");
  ASSERT_EQ(rows.size(), 7u);
  for (auto& r : rows) EXPECT_EQ(text(r[8]), "a value of forty-seven characters for col 10 xx");
  std::string exported = commandOutput("mdb-export '" + copy.path() + "' Table1");
  size_t count = 0;
  for (size_t at = exported.find("for col 10 xx"); at != std::string::npos; at = exported.find("for col 10 xx", at + 1))
    ++count;
  EXPECT_EQ(count, 7u);
}

TEST(RowChanges, ThousandsOfRowsOverNewPagesAndAGrowingPageMap) {
  ScratchCopy copy("overflowtestv2000.mdb");
  auto db = openForWriting(copy.path());
  TableWriter writer(db);
  auto def = db->table("Table1");
  writer.begin();
  std::string filler(45, 'x');
  for (int i = 0; i < 25000; ++i) {
    std::vector<std::optional<Value>> row(def->columns.size());
    row[0] = Value(std::string("bulk ") + std::to_string(i));
    row[1] = Value(filler);
    row[2] = Value(filler);
    writer.insertRow(*def, row);
  }
  writer.commit();
  db.reset();
  auto again = Database::open(copy.path());
  EXPECT_EQ(again->pages().pageCount() > 512u, true);  // past the first page-map window
  auto rows = allRows(again, "Table1");
  ASSERT_EQ(rows.size(), 25007u);
  EXPECT_EQ(text(rows.back()[0]), "bulk 24999");
  EXPECT_EQ(again->table("Table1")->rowCount, 25007u);
  EXPECT_EQ(commandOutput("mdb-count '" + copy.path() + "' Table1"), "25007\n");
}

TEST(RowChanges, MemoValuesInlineOnOnePageAndInChains) {
  ScratchCopy copy("fixednumerictestv2000.mdb");
  auto db = openForWriting(copy.path());
  std::string small = "short memo";
  std::string medium(3000, 'm');
  std::string large;
  for (int i = 0; large.size() < 30000; ++i) large += "Ωμέγα line " + std::to_string(i) + "\n";
  for (auto* v : {&small, &medium, &large})
    runSql(db, "INSERT INTO test (col1, col2, col7) VALUES ('" + *v + "', 12345678901234, -7)");
  db.reset();
  auto again = Database::open(copy.path());
  auto rows = allRows(again, "test");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(text(rows[1][0]), small);
  EXPECT_EQ(text(rows[2][0]), medium);
  EXPECT_EQ(text(rows[3][0]), large);
  EXPECT_EQ(text(rows[3][1]), "12345678901234");
  EXPECT_EQ(text(rows[3][6]), "-7");
  std::string json = commandOutput("mdb-json '" + copy.path() + "' test");
  EXPECT_NE(json.find("Ωμέγα line 1000"), std::string::npos);
}

// Updating other fields of rows with memos (inline, one page and chains)
// leaves the memos where they are: repeated updates keep the file's size,
// and the memos read back whole. A changed memo is stored anew.
TEST(RowChanges, UpdatesKeepUnchangedMemosInPlace) {
  ScratchCopy copy("fixednumerictestv2000.mdb");
  auto db = openForWriting(copy.path());
  std::string large;
  for (int i = 0; large.size() < 30000; ++i) large += "Ωμέγα line " + std::to_string(i) + "\n";
  for (int i = 0; i < 40; ++i)
    runSql(db, "INSERT INTO test (col1, col7) VALUES ('" + (i % 3 == 0 ? large : std::string(500 + i * 90, 'x')) +
                   "', " + std::to_string(i) + ")");
  auto sizeNow = [&] { return copy.bytes().size(); };
  runSql(db, "UPDATE test SET col7 = col7 + 1");
  const size_t settled = sizeNow();
  for (int round = 0; round < 5; ++round) runSql(db, "UPDATE test SET col7 = col7 + 1");
  EXPECT_EQ(sizeNow(), settled);
  runSql(db, "UPDATE test SET col1 = 'changed ' & col7 WHERE col7 = 6");
  db.reset();
  auto rows = allRows(Database::open(copy.path()), "test");
  ASSERT_EQ(rows.size(), 41u);
  EXPECT_EQ(text(rows[1][0]), "changed 6");
  EXPECT_TRUE(text(rows[4][0]) == large);  // (not printed when it fails: 30 KB)
  EXPECT_EQ(text(rows[4][6]), "9");
  EXPECT_TRUE(text(rows[39][0]) == std::string(500 + 38 * 90, 'x'));
  EXPECT_EQ(commandOutput("mdb-json '" + copy.path() + "' test").find("Ωμέγα line 1000") == std::string::npos, false);
}

// Memos replaced by others of their size, or deleted with their rows and
// written again, reuse the room they had: the file stops growing, and what
// is left reads back whole (here and in mdbtools) and checks clean.
TEST(RowChanges, ReplacedAndDeletedMemosGiveTheirRoomBack) {
  ScratchCopy copy("fixednumerictestv2000.mdb");
  auto db = openForWriting(copy.path());
  auto memo = [](int round, int row) {
    std::string text;
    while (text.size() < 9000) text += "round " + std::to_string(round) + " row " + std::to_string(row) + "; ";
    return text;
  };
  for (int i = 0; i < 30; ++i)
    runSql(db, "INSERT INTO test (col1, col7) VALUES ('" + memo(0, i) + "', " + std::to_string(i) + ")");
  for (int round = 1; round <= 2; ++round)
    for (int i = 0; i < 30; ++i)
      runSql(db, "UPDATE test SET col1 = '" + memo(round, i) + "' WHERE col7 = " + std::to_string(i));
  const size_t settled = copy.bytes().size();
  for (int round = 3; round <= 6; ++round) {
    for (int i = 0; i < 30; ++i)
      runSql(db, "UPDATE test SET col1 = '" + memo(round, i) + "' WHERE col7 = " + std::to_string(i));
    runSql(db, "DELETE FROM test WHERE col7 >= 20");
    for (int i = 20; i < 30; ++i)
      runSql(db, "INSERT INTO test (col1, col7) VALUES ('" + memo(round, i) + "', " + std::to_string(i) + ")");
  }
  EXPECT_LE(copy.bytes().size(), settled + 2 * 4096);
  db.reset();
  auto again = Database::open(copy.path());
  EXPECT_TRUE(checkDatabase(again).clean());
  auto rows = allRows(again, "test");
  ASSERT_EQ(rows.size(), 31u);
  for (size_t r = 1; r < rows.size(); ++r)
    EXPECT_TRUE(text(rows[r][0]) == memo(6, std::stoi(text(rows[r][6])))) << "row " << r;
  EXPECT_NE(commandOutput("mdb-export '" + copy.path() + "' test").find("round 6 row 29; "), std::string::npos);
}

TEST(RowChanges, RefusalsLeaveTheFileByteIdentical) {
  ScratchCopy copy("overflowtestv2000.mdb");
  auto before = copy.bytes();
  auto db = openForWriting(copy.path());
  auto refuse = [&](const std::string& sql, const std::string& fragment) {
    expectRefusedUnchanged(db, copy, before, sql, fragment);
  };
  refuse("INSERT INTO Table1 (data1) VALUES ('" + std::string(51, 'x') + "')", "data1");
  refuse("UPDATE Table1 SET data3 = '" + std::string(60, 'y') + "'", "data3");
  refuse("INSERT INTO Table1 (nosuch) VALUES (1)", "nosuch");
  refuse("INSERT INTO Nope (a) VALUES (1)", "Nope");
  EXPECT_FALSE(std::filesystem::exists(copy.path() + ".journal"));
}

TEST(RowChanges, ReadOnlyFilesAndReadOnlyOpensRefuseChanges) {
  auto db = Database::open(sample("overflowtestv2000.mdb"));  // read-only
  TableWriter writer(db);
  EXPECT_THROW(writer.begin(), EngineError);
  EXPECT_THROW(runSql(db, "DELETE FROM Table1"), EngineError);
}

TEST(RowChanges, RecordsetEditsOneRowPerTransaction) {
  ScratchCopy copy("overflowtestv2000.mdb");
  kevra::db::Connection c;
  c.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + copy.path());
  kevra::db::Recordset rs;
  rs.Open("select * from [Table1]", c, 1, 3, 1);
  ASSERT_TRUE(rs.editable());
  std::vector<std::optional<Value>> fresh(9);
  fresh[0] = Value(std::string("typed in the grid"));
  long at = rs.insertRow(fresh);
  EXPECT_EQ(rs.recordCount(), 8);
  std::vector<std::vector<Value>> block;
  rs.fetch(at, 1, block);
  EXPECT_EQ(text(block[0][0]), "typed in the grid");
  block[0][1] = Value(std::string("second field"));
  rs.updateRow(at, block[0]);
  rs.fetch(at, 1, block);
  EXPECT_EQ(text(block[0][1]), "second field");
  EXPECT_THROW(rs.updateRow(at, std::vector<Value>(9, Value(std::string(80, 'z')))), EngineError);
  rs.deleteRow(0);
  EXPECT_EQ(rs.recordCount(), 7);
  EXPECT_THROW(rs.deleteRow(99), EngineError);
  kevra::db::Recordset projected;
  projected.Open("select data1 from [Table1]", c);
  EXPECT_FALSE(projected.editable());
  EXPECT_THROW(projected.deleteRow(0), EngineError);
}

TEST(RowChanges, StatementsThroughARecordsetChangeRows) {
  ScratchCopy copy("overflowtestv2000.mdb");
  kevra::db::Connection c;
  c.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + copy.path());
  kevra::db::Recordset statement;
  statement.Open("DELETE FROM Table1 WHERE data1 = 'row1col1'", c, 0, 1, 1);
  EXPECT_EQ(statement.rowsAffected(), 1);
  EXPECT_EQ(statement.State(), kevra::db::adStateClosed);
  kevra::db::Recordset rows;
  rows.Open("select * from [Table1]", c);
  EXPECT_EQ(rows.recordCount(), 6);
}
