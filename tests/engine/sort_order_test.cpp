// Files whose text is in a sort order other than General: the check says
// which indexes it cannot verify instead of calling them damaged, writes
// that need keys in that order are refused naming it and leave the file as
// it was, and new text columns take the database's sort order.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/sql/local_services.h"
#include "engine/table/file_check.h"
#include "sort_order_files.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

constexpr uint16_t kChinesePrc = 0x0804;  // 2052

// A scratch copy of `sample` turned into a file of sort order 2052, code page 936.
void makeChinese(const ScratchCopy& copy, const std::string& sample, bool columnsToo = true) {
  const auto bytes = withSortOrder(readWholeFile(test::sample(sample)), kChinesePrc, 936, columnsToo);
  std::ofstream out(copy.path(), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void ddl(const std::shared_ptr<Database>& db, const std::string& sql) {
  LocalServices local(db);
  runStatement(db, sql, local.services());
}

}  // namespace

TEST(SortOrder, CheckNotesIndexesItCannotVerifyWithoutCallingTheFileDamaged) {
  for (const char* sample : {"testv2000.mdb", "empty.mdb", "indextestv2000.mdb"}) {
    SCOPED_TRACE(sample);
    ScratchCopy copy(sample);
    makeChinese(copy, sample);
    auto db = Database::open(copy.path());
    EXPECT_EQ(db->header().sortOrder, kChinesePrc);
    EXPECT_EQ(db->table("MSysObjects")->findColumn("Name")->sortOrder, kChinesePrc);
    CheckReport report = checkDatabase(db);
    EXPECT_TRUE(report.clean()) << report.problems.front();
    ASSERT_EQ(report.notes.size(), 1u);
    EXPECT_EQ(report.notes[0].rfind("cannot verify indexes in sort order 2052 (", 0), 0u) << report.notes[0];
    EXPECT_GT(report.indexes, 0u);
  }
  // Indexes whose keys can be built are still held to their rows.
  CheckReport general = checkDatabase(Database::open(sample("testv2000.mdb")));
  EXPECT_TRUE(general.clean());
  EXPECT_TRUE(general.notes.empty());
}

TEST(SortOrder, WritesThatNeedKeysInThatOrderAreRefusedNamingItAndLeaveTheFile) {
  ScratchCopy copy("testv2000.mdb");
  makeChinese(copy, "testv2000.mdb");
  auto db = openForWriting(copy.path());
  // Each needs a key of a 2052 text column: the catalog's names or Table1's own.
  for (const char* sql : {"CREATE TABLE Fresh (a LONG)", "CREATE INDEX ByA ON Table1 (A)", "DROP TABLE Table1",
                          "CREATE UNIQUE INDEX ByB ON Table1 (B, A)", "INSERT INTO Table1 (A, B) VALUES ('x', 'y')",
                          "DELETE FROM Table1", "UPDATE Table1 SET A = 'z'", "ALTER TABLE Table1 DROP COLUMN C"}) {
    const auto before = copy.bytes();
    try {
      ddl(db, sql);
      ADD_FAILURE() << "accepted: " << sql;
    } catch (const UnsupportedError& e) {
      EXPECT_NE(std::string(e.what()).find("sort order 2052"), std::string::npos) << sql << "\n" << e.what();
    }
    EXPECT_EQ(copy.bytes(), before) << sql;
  }
  // These need no new key: a new column, and a longer key column whose
  // entries keep their keys. The file stays sound, the new column in 2052.
  ddl(db, "ALTER TABLE Table1 ADD COLUMN Extra TEXT(10)");
  ddl(db, "ALTER TABLE Table1 ALTER COLUMN A TEXT(30)");
  EXPECT_TRUE(checkDatabase(db).clean());
  EXPECT_EQ(db->table("Table1")->findColumn("Extra")->sortOrder, kChinesePrc);
  db.reset();
  // The stored keys are still the sample's General ones: turned back to
  // General, the file's every index entry can be checked against its rows.
  auto back = withSortOrder(readWholeFile(copy.path()), 0x0409, 1252, true, kChinesePrc, 936);
  std::ofstream(copy.path(), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(back.data()), std::streamsize(back.size()));
  CheckReport report = checkDatabase(Database::open(copy.path()));
  EXPECT_TRUE(report.clean()) << report.problems.front();
  EXPECT_TRUE(report.notes.empty());
}

TEST(SortOrder, NewTextColumnsTakeTheDatabasesSortOrder) {
  // The header says 2052 while the existing columns stay General, so the
  // catalog's own indexes can still be written.
  ScratchCopy copy("testv2000.mdb");
  makeChinese(copy, "testv2000.mdb", false);
  {
    auto db = openForWriting(copy.path());
    ddl(db, "CREATE TABLE Fresh (a LONG, t TEXT(10), m MEMO)");
    ddl(db, "ALTER TABLE Table1 ADD COLUMN Extra TEXT(10)");
    ddl(db, "ALTER TABLE Table1 ALTER COLUMN C TEXT(20)");
  }
  auto db = Database::open(copy.path());
  auto fresh = db->table("Fresh");
  EXPECT_EQ(fresh->findColumn("t")->sortOrder, kChinesePrc);
  EXPECT_EQ(fresh->findColumn("m")->sortOrder, kChinesePrc);
  EXPECT_EQ(fresh->findColumn("a")->sortOrder, 0x0409) << "other types carry General, as Access writes them";
  EXPECT_EQ(db->table("Table1")->findColumn("Extra")->sortOrder, kChinesePrc);
  EXPECT_EQ(db->table("Table1")->findColumn("C")->sortOrder, kChinesePrc);
  EXPECT_EQ(db->table("Table1")->findColumn("A")->sortOrder, 0x0409) << "existing columns keep theirs";
}
