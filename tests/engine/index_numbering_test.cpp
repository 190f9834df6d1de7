// Index definitions numbered and ordered as Access writes them whatever the
// order of the structure changes: the indexes that are not a relationship's
// numbered from 0, number n on real index n, the relationship indexes after
// them, and the other table of a relationship told of every new number.
#include <gtest/gtest.h>

#include "engine/table/index_numbering.h"
#include "engine/table/schema_writer.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

// What is wrong with the numbering of `table` ("" when nothing).
std::string numberingProblems(const Database& db, const TableDef& table) {
  std::string problems;
  uint32_t plain = 0;
  for (const auto& li : table.logicalIndexes)
    if (li.kind != IndexKind::ForeignKey) ++plain;
  for (const auto& li : table.logicalIndexes) {
    const std::string name = table.name + "." + li.name;
    if (li.kind != IndexKind::ForeignKey) {
      if (li.number >= plain) problems += name + " has number " + std::to_string(li.number) + "\n";
      if (li.realIndex != li.number) problems += name + " uses real index " + std::to_string(li.realIndex) + "\n";
      continue;
    }
    if (li.number < plain) problems += name + " has number " + std::to_string(li.number) + "\n";
    // Its partner in the other table names it back.
    bool partnered = false;
    for (const auto& o : db.objects())
      if (o.isLocalTable() && uint32_t(o.id) == li.otherTablePage)
        for (const auto& other : db.table(o.name)->logicalIndexes)
          partnered = partnered || (other.kind == IndexKind::ForeignKey && int32_t(other.number) == li.otherIndexNumber &&
                                    other.otherTablePage == table.tdefPage &&
                                    other.otherIndexNumber == int32_t(li.number));
    if (!partnered) problems += name + " and the index it names do not name each other\n";
  }
  return problems;
}

std::string allProblems(const std::shared_ptr<Database>& db) {
  std::string problems;
  for (const auto& o : db->objects())
    if (o.isLocalTable()) problems += numberingProblems(*db, *db->table(o.name));
  return problems;
}

}  // namespace

TEST(IndexNumbering, IndexesAddedBesideRelationshipsKeepAccessOrder) {
  ScratchCopy copy("empty.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE Customers (ID COUNTER, City TEXT(50), Zip TEXT(10))");
  runSql(db, "CREATE TABLE Orders (OrderId LONG, Line LONG, Price TEXT(10), CustID LONG)");
  runSql(db, "ALTER TABLE Customers ADD CONSTRAINT PrimaryKey PRIMARY KEY (ID)");
  runSql(db, "ALTER TABLE Orders ALTER COLUMN CustID LONG NOT NULL REFERENCES Customers (ID)");
  runSql(db, "ALTER TABLE Orders ADD CONSTRAINT PrimaryKey PRIMARY KEY (OrderId, Line)");
  EXPECT_EQ(allProblems(db), "");
  runSql(db, "CREATE UNIQUE INDEX IxCity ON Customers (City, Zip)");
  EXPECT_EQ(allProblems(db), "");
  // A table related to itself, and a second relationship to the same table.
  runSql(db, "CREATE TABLE People (ID LONG CONSTRAINT pk PRIMARY KEY, Boss LONG REFERENCES People (ID), "
             "Home LONG REFERENCES Customers (ID))");
  runSql(db, "CREATE INDEX ByBoss ON People (Boss)");
  runSql(db, "CREATE INDEX ByZip ON Customers (Zip)");
  EXPECT_EQ(allProblems(db), "");
  runSql(db, "DROP INDEX IxCity ON Customers");
  EXPECT_EQ(allProblems(db), "");

  // The relationships still work through the renumbered indexes.
  runSql(db, "INSERT INTO Customers (City, Zip) VALUES ('Oslo', '0150')");
  runSql(db, "INSERT INTO People (ID, Boss, Home) VALUES (1, NULL, 1)");
  runSql(db, "INSERT INTO People (ID, Boss, Home) VALUES (2, 1, 1)");
  EXPECT_THROW(runSql(db, "INSERT INTO People (ID, Boss, Home) VALUES (3, 9, 1)"), EngineError);
  EXPECT_THROW(runSql(db, "INSERT INTO Orders VALUES (1, 1, 'x', 5)"), EngineError);
  EXPECT_THROW(runSql(db, "DELETE FROM Customers"), EngineError);
  std::vector<std::string> relationships;
  for (const auto& r : db->relationships()) relationships.push_back(r.name);
  EXPECT_EQ(relationships.size(), 3u);
  {
    TableWriter writer(db);
    SchemaWriter schema(db, writer);
    for (const auto& name : relationships) schema.dropRelationship(name);
  }
  EXPECT_EQ(allProblems(db), "");
  for (const auto& o : db->objects())
    if (o.isLocalTable())
      for (const auto& li : db->table(o.name)->logicalIndexes) EXPECT_NE(li.kind, IndexKind::ForeignKey) << li.name;
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

TEST(IndexNumbering, AnAccessTableWithAGapInItsNumbersIsNumberedAfreshWhenChanged) {
  ScratchCopy copy("testindexpropertiesv2000.mdb");
  auto db = openForWriting(copy.path());
  // Access left PrimaryKey as number 1 and DataIndex as 2 on real indexes 0 and 1.
  EXPECT_NE(numberingProblems(*db, *db->table("TableIgnoreNulls2")), "");
  runSql(db, "CREATE INDEX Extra ON TableIgnoreNulls2 (data2)");
  EXPECT_EQ(numberingProblems(*db, *db->table("TableIgnoreNulls2")), "");
  auto def = db->table("TableIgnoreNulls2");
  ASSERT_EQ(def->logicalIndexes.size(), 3u);
  EXPECT_EQ(def->logicalIndexes[0].name, "DataIndex");  // still in name order
  EXPECT_EQ(def->logicalIndexes[2].name, "PrimaryKey");
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

TEST(IndexNumbering, ArrangingLeavesANormalTableAsItIs) {
  ScratchCopy copy("indextestv2000.mdb");
  auto db = Database::open(copy.path());
  for (const auto& name : {"Table1", "Table2", "Table3"}) {
    TableDef def = *db->table(name);
    EXPECT_TRUE(arrangeIndexes(def).empty()) << name;
    for (size_t i = 0; i < def.logicalIndexes.size(); ++i) {
      EXPECT_EQ(def.logicalIndexes[i].number, db->table(name)->logicalIndexes[i].number);
      EXPECT_EQ(def.logicalIndexes[i].realIndex, db->table(name)->logicalIndexes[i].realIndex);
    }
  }
}
