// Row changes on tables with indexes: text keys in many scripts, a table
// grown until its index pages split, the unique and required checks and
// relationships refusing with the file unchanged, and the whole file passing
// kevra-cli check and mdbtools afterwards.
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/format/value_text.h"
#include "engine/util/error.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

const auto& run = runCommand;

const char* kWords[] = {"Ærøskøbing", "Łódź", "crème brûlée", "Αθήνα", "ϰαὶ τότε ἐγὼ", "Москва", "Мир",
                        "北京", "漢字仮名交じり文", "São Paulo", "Ñandú", "straße", "İstanbul", "a-b c"};

}  // namespace

TEST(IndexedWrites, ManyScriptsAndThousandsOfRowsKeepEveryIndexExact) {
  ScratchCopy copy("testv2000.mdb");  // Table1: primary key on text A, index on text B
  auto db = openForWriting(copy.path());
  TableWriter writer(db);
  writer.begin();
  for (int i = 0; i < 3000; ++i) {
    std::string a = std::string(kWords[i % 14]) + " " + std::to_string(i);
    std::string b = std::string(kWords[(i * 7) % 14]) + (i % 3 ? "" : " Ωμέγα");
    runStatement(db, "INSERT INTO Table1 (A, B, C, E) VALUES ('" + a + "', '" + b + "', " + std::to_string(i % 256) +
                         ", " + std::to_string(i * 1000) + ")", &writer);
  }
  writer.commit();
  runSql(db, "UPDATE Table1 SET B = 'changed Ключ' WHERE C = 7");
  EXPECT_GT(runSql(db, "DELETE FROM Table1 WHERE C > 200"), 0);
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  auto count = run("mdb-count '" + copy.path() + "' Table1");
  auto mine = Database::open(copy.path());
  EXPECT_EQ(count.second, std::to_string(allRows(mine, "Table1").size()) + "\n");
  auto exported = run("mdb-export '" + copy.path() + "' Table1").second;
  EXPECT_NE(exported.find("漢字仮名交じり文 8"), std::string::npos);
  EXPECT_NE(exported.find("changed Ключ"), std::string::npos);
}

TEST(IndexedWrites, RefusalsNameTheIndexOrRelationshipAndChangeNothing) {
  ScratchCopy copy("indextestv2000.mdb");
  auto before = copy.bytes();
  auto db = openForWriting(copy.path());
  auto refuse = [&](const std::string& sql, const std::string& fragment) {
    expectRefusedUnchanged(db, copy, before, sql, fragment);
  };
  refuse("INSERT INTO Table2 (id, data) VALUES (1, 'again')", "PrimaryKey");
  refuse("INSERT INTO Table1 (id, otherfk1, otherfk2, data) VALUES (10, 99, 10, 'x')", "Table2");
  refuse("UPDATE Table1 SET otherfk2 = 77 WHERE id = 0", "Table3");
  // Table3 -> Table1 cascades updates only; deleting a referenced row is refused.
  refuse("DELETE FROM Table3 WHERE id = 10", "related row");
}

TEST(IndexedWrites, CascadesFollowTheRelationship) {
  ScratchCopy copy("indextestv2000.mdb");
  auto db = openForWriting(copy.path());
  // Table2 -> Table1 cascades deletes: Table1 rows with otherfk1 = 1 go too.
  EXPECT_EQ(runSql(db, "DELETE FROM Table2 WHERE id = 1"), 1);
  // Table3 -> Table1 cascades updates: the referring rows follow the new key.
  EXPECT_EQ(runSql(db, "UPDATE Table3 SET id = 110 WHERE id = 10"), 1);
  auto rows = allRows(db, "Table1");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(valueToText(rows[0][2]), "110");
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

TEST(IndexedWrites, OleValuesOfEverySizeRoundTrip) {
  ScratchCopy copy("test2v2000.mdb");  // MSP_PROJECTS: unique indexes on PROJ_ID and PROJ_NAME, one OLE field
  auto db = openForWriting(copy.path());
  auto def = db->table("MSP_PROJECTS");
  size_t ole = 0, id = 0, name = 0;
  for (size_t i = 0; i < def->columns.size(); ++i) {
    if (def->columns[i].type == ColumnType::OLE) ole = i;
    if (def->columns[i].name == "PROJ_ID") id = i;
    if (def->columns[i].name == "PROJ_NAME") name = i;
  }
  std::vector<Binary> blobs;
  for (size_t size : {0u, 40u, 3000u, 70000u}) {
    Binary b(size);
    for (size_t k = 0; k < size; ++k) b[k] = uint8_t((k * 131 + size) & 0xFF);
    blobs.push_back(b);
  }
  TableWriter writer(db);
  writer.begin();
  for (size_t n = 0; n < blobs.size(); ++n) {
    std::vector<std::optional<Value>> row(def->columns.size());
    row[id] = Value(int32_t(100 + n));
    row[name] = Value("project " + std::to_string(n));
    row[ole] = Value(blobs[n]);
    writer.insertRow(*def, row);
  }
  writer.commit();
  db.reset();
  auto again = Database::open(copy.path());
  auto rows = allRows(again, "MSP_PROJECTS");
  ASSERT_EQ(rows.size(), 5u);
  for (size_t n = 0; n < blobs.size(); ++n) EXPECT_EQ(std::get<Binary>(rows[1 + n][ole]), blobs[n]) << n;
  EXPECT_EQ(checkFile(copy.path()), "clean");
}
