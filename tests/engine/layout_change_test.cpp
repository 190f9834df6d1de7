// Structure changes and the layout of the rows behind them: rows written
// before a field was added, definitions laid out afresh when fields move
// between the fixed and the variable part, the layout counts check holds
// them to, fields an index uses, and what kevra-cli schema says of
// autonumbers and calculated results. Some files are also read by mdbtools;
// the interop tests compare every cell with two other readers.
#include <gtest/gtest.h>

#include "database/connection.h"
#include "database/recordset.h"
#include "engine/catalog/tdef_writer.h"
#include "engine/compact/compactor.h"
#include "engine/format/layout_counts.h"
#include "engine/format/value_text.h"
#include "engine/table/schema_writer.h"
#include "engine/table/table_layout.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

std::string text(const Value& v) { return isNull(v) ? "NULL" : valueToText(v); }

std::vector<std::string> rowTexts(const std::shared_ptr<Database>& db, const std::string& table) {
  std::vector<std::string> out;
  for (const auto& row : allRows(db, table)) {
    std::string line;
    for (const auto& v : row) line += (line.empty() ? "" : ",") + text(v);
    out.push_back(line);
  }
  return out;
}

// mdb-export's records without the heading, quotes taken off.
std::vector<std::string> mdbExport(const std::string& path, const std::string& table) {
  auto [code, out] = runCommand("mdb-export -H -Q '" + path + "' '" + table + "'");
  EXPECT_EQ(code, 0) << out;
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < out.size()) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    lines.push_back(out.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

template <typename Change>
void change(const std::shared_ptr<Database>& db, Change work) {
  TableWriter writer(db);
  SchemaWriter schema(db, writer);
  work(schema);
}

// Writes `def` over the table's definition as it is, with no row touched:
// what a program that adds a field without writing the rows again leaves.
void storeDefinitionOnly(const std::shared_ptr<Database>& db, const TableDef& def) {
  TableWriter writer(db);
  inOneTransaction(writer, [&] {
    writer.forget(def.tdefPage);
    writeTableDef(db->pages(), def, true);
  });
  db->invalidateCaches();
}

ColumnSpec textSpec(const std::string& name, int characters) {
  ColumnSpec c;
  c.name = name;
  c.type = ColumnType::Text;
  c.length = uint16_t(2 * characters);
  return c;
}

// The layout a new table of the same fields would have, field by field.
std::string layoutOf(const TableDef& t) {
  std::string out = "columns " + std::to_string(t.maxColumnCount) + " var " + std::to_string(t.varColumnCount);
  for (const auto& c : t.columns)
    out += " | " + c.name + " #" + std::to_string(c.number) +
           (c.isFixed() ? " @" + std::to_string(c.fixedOffset) : " slot " + std::to_string(c.varIndex));
  for (const auto& ri : t.realIndexes)
    for (const auto& ref : ri.columns) out += " | index on #" + std::to_string(ref.columnNumber);
  for (const auto& lv : t.longValueMaps) out += " | long values of #" + std::to_string(lv.columnNumber);
  return out;
}

std::string freshLayoutOf(const std::shared_ptr<Database>& db, const std::string& table) {
  TableDef fresh = *db->table(table);
  layOutAfresh(fresh);
  return layoutOf(fresh);
}

}  // namespace

TEST(RowsBeforeAField, RowsWithoutAVariableAreaReadTheNewFieldsAsNull) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE F (a LONG, b DOUBLE)");
  runSql(db, "INSERT INTO F (a, b) VALUES (1, 1.5)");
  runSql(db, "INSERT INTO F (a, b) VALUES (2, 2.5)");
  runSql(db, "INSERT INTO F (a, b) VALUES (3, 3.5)");
  // Fields added the way Access adds them: the definition alone, the rows
  // (ncols 2, no variable area) left as they are.
  TableDef added = *db->table("F");
  appendColumn(added, textSpec("t", 10));
  storeDefinitionOnly(db, added);
  EXPECT_EQ(rowTexts(db, "F"), (std::vector<std::string>{"1,1.5,NULL", "2,2.5,NULL", "3,3.5,NULL"}));
  EXPECT_EQ(runSql(db, "UPDATE F SET t = 'two' WHERE a = 2"), 1);
  EXPECT_EQ(runSql(db, "UPDATE F SET b = 9 WHERE a = 3"), 1);
  EXPECT_EQ(runSql(db, "DELETE FROM F WHERE a = 1"), 1);
  EXPECT_EQ(rowTexts(db, "F"), (std::vector<std::string>{"2,2.5,two", "3,9,NULL"}));
  runSql(db, "INSERT INTO F (a, b) VALUES (4, 4.5)");
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");

  // Compaction gives the rows that still predate the field an empty
  // variable area, so mdbtools, which goes by the table's count, reads them.
  const std::string target = copy.path() + ".compact.mdb";
  compactDatabase(realFileSystem(), copy.path(), target);
  EXPECT_EQ(checkFile(target), "clean");
  EXPECT_EQ(rowTexts(Database::open(target), "F"), (std::vector<std::string>{"2,2.5,two", "3,9,NULL", "4,4.5,NULL"}));
  EXPECT_EQ(mdbExport(target, "F"), (std::vector<std::string>{"2,2.5,two", "3,9,", "4,4.5,"}));
}

TEST(RowsBeforeAField, AddingTheFirstTextOrMemoFieldKeepsEveryRowReadable) {
  ScratchCopy copy("catesri_test.mdb");
  auto db = openForWriting(copy.path());
  const auto release = rowTexts(db, "GDB_ReleaseInfo");
  const auto shapes = rowTexts(db, "my_teapot_wells_Shape_Index");
  ASSERT_FALSE(release.empty());
  ASSERT_FALSE(shapes.empty());
  runSql(db, "ALTER TABLE GDB_ReleaseInfo ADD COLUMN Note TEXT(10)");
  runSql(db, "ALTER TABLE my_teapot_wells_Shape_Index ADD COLUMN Remark MEMO");
  for (const auto& [table, before] : {std::pair{"GDB_ReleaseInfo", release}, {"my_teapot_wells_Shape_Index", shapes}}) {
    SCOPED_TRACE(table);
    std::vector<std::string> expected;
    for (const auto& line : before) expected.push_back(line + ",NULL");
    EXPECT_EQ(rowTexts(db, table), expected);
    const TableDef& def = *db->table(table);
    EXPECT_EQ(layoutOf(def), freshLayoutOf(db, table));
    EXPECT_TRUE(layoutCountProblems(def, false).empty());
  }
  // What the readers beside ours make of these files: the interop tests.
  EXPECT_EQ(runSql(db, "UPDATE GDB_ReleaseInfo SET Note = 'noted'"), long(release.size()));
  EXPECT_EQ(runSql(db, "UPDATE my_teapot_wells_Shape_Index SET Remark = 'r' WHERE IndexedObjectId = 1"), 1);
  EXPECT_EQ(runSql(db, "DELETE FROM my_teapot_wells_Shape_Index WHERE IndexedObjectId = 2"), 1);
  EXPECT_EQ(rowTexts(db, "my_teapot_wells_Shape_Index").size(), shapes.size() - 1);
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

TEST(FreshLayout, AFieldChangedBetweenFixedAndVariableLeavesCountsAsANewTableHasThem) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE T (a TEXT(10), b LONG)");
  runSql(db, "INSERT INTO T (a, b) VALUES ('1', 5)");
  runSql(db, "INSERT INTO T (a, b) VALUES ('2', 6)");
  runSql(db, "ALTER TABLE T ALTER COLUMN a LONG");
  EXPECT_EQ(layoutOf(*db->table("T")), "columns 2 var 0 | a #0 @0 | b #1 @4");
  EXPECT_EQ(rowTexts(db, "T"), (std::vector<std::string>{"1,5", "2,6"}));
  runSql(db, "CREATE TABLE W (a TEXT(10), b LONG)");
  runSql(db, "INSERT INTO W (a, b) VALUES ('3', 7)");
  db.reset();
  {
    // The same change as the window sends it, through a connection.
    kevra::db::Connection connection;
    connection.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + copy.path());
    kevra::db::Recordset().Open("ALTER TABLE [W] ALTER COLUMN  [a] long NULL ", connection);
  }
  db = openForWriting(copy.path());
  EXPECT_EQ(layoutOf(*db->table("W")), "columns 2 var 0 | a #0 @0 | b #1 @4");
  EXPECT_EQ(rowTexts(db, "W"), std::vector<std::string>{"3,7"});

  // A dropped field leaves a gap that a rewrite of every row closes; the
  // index, the memo's long values and its maps follow the new numbers.
  runSql(db,
         "CREATE TABLE Goods (id COUNTER PRIMARY KEY, gone TEXT(5), Qty DOUBLE, note MEMO, rating LONG, "
         "name TEXT(20))");
  runSql(db, "CREATE INDEX ByRating ON Goods (rating)");
  const std::string longNote(5000, 'n');
  for (int i = 1; i <= 40; ++i)
    runSql(db, "INSERT INTO Goods (gone, Qty, note, rating, name) VALUES ('g', " + std::to_string(i) + ".25, '" +
                   (i % 2 ? longNote : "short " + std::to_string(i)) + "', " + std::to_string(100 + i) + ", 'n" +
                   std::to_string(i) + "')");
  runSql(db, "ALTER TABLE Goods DROP COLUMN gone");
  runSql(db, "ALTER TABLE Goods ALTER COLUMN Qty TEXT(20)");
  EXPECT_EQ(layoutOf(*db->table("Goods")),
            "columns 5 var 3 | id #0 @0 | Qty #1 slot 0 | note #2 slot 1 | rating #3 @4 | name #4 slot 2 | "
            "index on #0 | index on #3 | long values of #2");
  runSql(db, "ALTER TABLE Goods ALTER COLUMN Qty DOUBLE");
  EXPECT_EQ(layoutOf(*db->table("Goods")), freshLayoutOf(db, "Goods"));
  EXPECT_EQ(db->table("Goods")->varColumnCount, 2);
  auto rows = allRows(db, "Goods");
  ASSERT_EQ(rows.size(), 40u);
  EXPECT_EQ(text(rows[6][1]) + " " + text(rows[6][2]).substr(0, 7) + " " + text(rows[6][3]) + " " + text(rows[6][4]),
            "7.25 nnnnnnn 107 n7");
  EXPECT_EQ(text(rows[7][2]), "short 8");
  LocalServices local(db);
  auto found = runStatement(db, "SELECT name FROM Goods WHERE rating = 133", local.services());
  std::vector<std::vector<Value>> hits;
  found.rows->fetch(0, 10, hits);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(text(hits[0][0]), "n33");
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  EXPECT_EQ(mdbExport(copy.path(), "W"), std::vector<std::string>{"3,7"});
  const auto goods = mdbExport(copy.path(), "Goods");
  ASSERT_EQ(goods.size(), 40u);
  EXPECT_EQ(goods[7], "8,8.25,short 8,108,n8");
}

TEST(LayoutCounts, CheckReportsCountsThatDisagreeWithTheColumns) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE T (a TEXT(10), b LONG)");
  runSql(db, "INSERT INTO T (a, b) VALUES ('1', 5)");
  // The old way of changing a to LONG: the column fixed, the counts kept.
  TableDef stale = *db->table("T");
  stale.columns[0].flags |= 0x01;
  stale.columns[0].type = ColumnType::Long;
  stale.columns[0].rawType = uint8_t(ColumnType::Long);
  stale.columns[0].length = 4;
  stale.columns[1].fixedOffset = 4;
  EXPECT_EQ(layoutCountProblems(stale, false),
            std::vector<std::string>{"table 'T': the definition counts 2 column numbers and 1 variable slot, room for "
                                     "1 fixed-length column, but it has 2; other readers lose the last ones' values"});
  EXPECT_TRUE(layoutCountProblems(stale, true).empty()) << "Access's own tables are held to the bounds alone";
  storeDefinitionOnly(db, stale);
  db.reset();
  EXPECT_NE(checkFile(copy.path()).find("room for 1 fixed-length column, but it has 2"), std::string::npos);

  TableDef broken = stale;
  broken.columns[0].fixedOffset = 2;  // into b's bytes
  broken.columns[1].number = 0;
  broken.maxColumnCount = 1;
  broken.columns.push_back(broken.columns[1]);
  broken.columns.back().name = "c";
  broken.columns.back().flags = 0x02;
  broken.columns.back().number = 1;
  broken.columns.back().varIndex = 3;
  EXPECT_EQ(layoutCountProblems(broken, true),
            (std::vector<std::string>{
                "table 'T': column 'a' and column 'b' share number 0",
                "table 'T': column 'c' has number 1, but the definition counts 1 column number",
                "table 'T': column 'c' has variable slot 3, but the definition counts 1 variable slot",
                "table 'T': the fixed-length column 'a' (bytes 2 to 5) overlaps column 'b' (from byte 4)"}));
}

TEST(DropField, RefusedWhileAnIndexUsesItUnlessTheIndexesGoToo) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE Customers (ID COUNTER PRIMARY KEY, City TEXT(50), Zip TEXT(10), Phone TEXT(20))");
  runSql(db, "CREATE UNIQUE INDEX IxCity ON Customers (City, Zip)");
  runSql(db, "CREATE INDEX ByZip ON Customers (Zip)");
  runSql(db, "INSERT INTO Customers (City, Zip) VALUES ('Ghent', '9000')");
  const auto before = copy.bytes();
  expectRefusedUnchanged(db, copy, before, "ALTER TABLE Customers DROP COLUMN City",
                         "Field 'City' of table 'Customers' is part of the index 'IxCity'; delete the index first.");
  expectRefusedUnchanged(db, copy, before, "ALTER TABLE Customers DROP COLUMN zip",
                         "Field 'Zip' of table 'Customers' is part of the indexes 'ByZip' and 'IxCity'; delete the "
                         "indexes first.");
  expectRefusedUnchanged(db, copy, before, "ALTER TABLE Customers DROP COLUMN ID", "the index 'PrimaryKey'");
  runSql(db, "ALTER TABLE Customers DROP COLUMN Phone");  // no index: goes
  change(db, [](SchemaWriter& s) { s.dropColumn("Customers", "Zip", true); });
  std::vector<std::string> left;
  for (const auto& li : db->table("Customers")->logicalIndexes) left.push_back(li.name);
  EXPECT_EQ(left, std::vector<std::string>{"PrimaryKey"});
  EXPECT_EQ(rowTexts(db, "Customers"), std::vector<std::string>{"1,Ghent"});
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

TEST(SchemaReport, GuidAutonumbersAndCalculatedDecimalResults) {
  ScratchCopy copy("testv2000.mdb");
  {
    auto db = openForWriting(copy.path());
    ColumnSpec id;
    id.name = "Id";
    id.type = ColumnType::Guid;
    id.length = 16;
    id.autoNumber = true;
    change(db, [&](SchemaWriter& s) { s.createTable("Replicated", {id, textSpec("Name", 10)}); });
  }
  auto [code, out] = runCommand(std::string(KEVRA_CLI_PATH) + " schema '" + copy.path() + "' Replicated");
  ASSERT_EQ(code, 0) << out;
  EXPECT_NE(out.find("{\"name\":\"Id\",\"type\":72,\"size\":16,\"nullable\":true,\"autoincrement\":true,"
                     "\"autonumber\":\"guid\""),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("{\"name\":\"Name\",\"type\":202,\"size\":10,\"nullable\":true,\"autoincrement\":false,"
                     "\"autonumber\":null"),
            std::string::npos)
      << out;

  auto calculated = runCommand(std::string(KEVRA_CLI_PATH) + " schema '" +
                               sample("formats/v2010-calcfieldtestv2010.accdb") + "' Table1");
  ASSERT_EQ(calculated.first, 0) << calculated.second;
  for (const char* name : {"WeeklySalary", "DecimalTest", "BigNumTest"}) {
    const size_t at = calculated.second.find(std::string("{\"name\":\"") + name + "\"");
    ASSERT_NE(at, std::string::npos) << name;
    const std::string column = calculated.second.substr(at, calculated.second.find('}', at) - at);
    EXPECT_NE(column.find("\"type\":131"), std::string::npos) << column;
    EXPECT_NE(column.find("\"precision\":28,\"scale\":0"), std::string::npos) << column;
  }
  // An ordinary Decimal keeps its own.
  EXPECT_NE(calculated.second.find("\"precision\":18,\"scale\":6"), std::string::npos);
  // The long counter says so too.
  EXPECT_NE(calculated.second.find("\"autoincrement\":true,\"autonumber\":\"increment\""), std::string::npos);
}
