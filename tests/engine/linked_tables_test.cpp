// Linked tables: listing them with the files they name, finding those files
// where the stored path no longer leads, and pointing a link at another file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "engine/table/database.h"
#include "engine/table/linked_tables.h"
#include "engine/table/table_cursor.h"
#include "engine/util/error.h"
#include "write_test_support.h"

namespace kevra::test {
namespace {

namespace fs = std::filesystem;

std::string messageOf(const std::function<void()>& work) {
  try {
    work();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(LinkedTableList, NamesEachLinkWithItsFileAndRemoteName) {
  auto db = Database::open(sample("linked.mdb"));
  const auto links = linkedTables(*db);
  ASSERT_EQ(links.size(), 2u);
  for (const auto& link : links) {
    EXPECT_FALSE(link.odbc);
    if (link.name == "Table1") {
      EXPECT_EQ(link.datasource, "C:\\db\\linkee1.mdb");
      EXPECT_EQ(link.foreignName, "Table1");
    } else {
      EXPECT_EQ(link.name, "table2");
      EXPECT_EQ(link.datasource, "C:\\db\\linkee2.mdb");
      EXPECT_EQ(link.foreignName, "table2");
    }
  }
  EXPECT_NE(messageOf([&] { linkedTable(*db, "MSysObjects"); }).find("no linked table named 'MSysObjects'"),
            std::string::npos);
}

TEST(LinkedTableList, CliListsThemMarkedOnlyWhenAsked) {
  auto [code, out] = runCommand(std::string(KEVRA_CLI_PATH) + " tables '" + sample("linked.mdb") + "' --links");
  EXPECT_EQ(code, 0) << out;
  EXPECT_EQ(out, "Table1\t-> C:\\db\\linkee1.mdb\ntable2\t-> C:\\db\\linkee2.mdb\n");
  auto [plainCode, plain] = runCommand(std::string(KEVRA_CLI_PATH) + " tables '" + sample("linked.mdb") + "'");
  EXPECT_EQ(plainCode, 0);
  EXPECT_EQ(plain, "");
}

TEST(LinkedTableTarget, FoundAsGivenOrBesideTheLinkingFileElseReportedWithItsPath) {
  ScratchCopy copy("linked.mdb");
  auto db = Database::open(copy.path());
  const fs::path folder = fs::path(copy.path()).parent_path();
  const LinkedTable link = linkedTable(*db, "Table1");

  // Nowhere yet: the message names the stored path and the file looked for beside.
  EXPECT_FALSE(findLinkTarget(*db, link.datasource));
  const std::string missing = missingLinkTargetMessage(*db, link);
  EXPECT_NE(missing.find("'C:\\db\\linkee1.mdb', which cannot be found"), std::string::npos) << missing;
  EXPECT_NE(missing.find("'linkee1.mdb' beside 'linked.mdb'"), std::string::npos) << missing;
  EXPECT_EQ(messageOf([&] { db->table("Table1"); }), missing);

  // The Windows path's file name, beside the linking file.
  fs::copy_file(sample("testv2000.mdb"), folder / "linkee1.mdb");
  EXPECT_EQ(findLinkTarget(*db, link.datasource).value_or(""), (folder / "linkee1.mdb").string());
  // A path relative to the linking file's folder, and an absolute one, as given.
  fs::create_directory(folder / "sub");
  fs::copy_file(sample("testv2000.mdb"), folder / "sub" / "other.mdb");
  EXPECT_EQ(findLinkTarget(*db, "sub\\other.mdb").value_or(""), (folder / "sub" / "other.mdb").string());
  EXPECT_EQ(findLinkTarget(*db, (folder / "sub" / "other.mdb").string()).value_or(""),
            (folder / "sub" / "other.mdb").string());
  // A folder of that name is not a database file.
  EXPECT_FALSE(findLinkTarget(*db, "D:\\x\\sub"));
  EXPECT_FALSE(findLinkTarget(*db, ""));
}

TEST(Relink, WritesTheNewPathAndTheLinkReadsItsRows) {
  ScratchCopy copy("linked.mdb");
  const fs::path target = fs::path(copy.path()).parent_path() / "elsewhere.mdb";
  fs::copy_file(sample("testv2000.mdb"), target);
  {
    auto db = openForWriting(copy.path());
    relinkTable(db, "Table1", target.string());
    EXPECT_EQ(linkedTable(*db, "Table1").datasource, target.string());
    // A relative path is read from the linking file's folder, not the
    // working directory, and kept as given.
    relinkTable(db, "table2", "elsewhere.mdb");
  }
  // Stored: a fresh open reads the new paths.
  auto db = Database::open(copy.path());
  EXPECT_EQ(linkedTable(*db, "Table1").datasource, target.string());
  EXPECT_EQ(linkedTable(*db, "table2").datasource, "elsewhere.mdb");
  EXPECT_EQ(findLinkTarget(*db, "elsewhere.mdb").value_or(""), target.string());
  const auto found = findLinkTarget(*db, linkedTable(*db, "Table1").datasource);
  ASSERT_TRUE(found);
  auto other = Database::open(*found);
  const auto rows = allRows(other, linkedTable(*db, "Table1").foreignName);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(std::get<std::string>(rows[0][0]), "abcdefg");
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

TEST(Relink, RefusesFilesWithoutTheTableAndLeavesTheFileAsItWas) {
  ScratchCopy copy("linked.mdb");
  const fs::path folder = fs::path(copy.path()).parent_path();
  fs::copy_file(sample("testv2000.mdb"), folder / "notable2.mdb");
  const auto before = copy.bytes();
  auto db = openForWriting(copy.path());
  // The linking file itself has only a link by that name, not a table.
  EXPECT_NE(messageOf([&] { relinkTable(db, "table2", copy.path()); }).find("has no table 'table2'"),
            std::string::npos);
  EXPECT_NE(messageOf([&] { relinkTable(db, "Table1", (folder / "nothing.mdb").string()); }).find("does not exist"),
            std::string::npos);
  EXPECT_NE(messageOf([&] { relinkTable(db, "MSysObjects", (folder / "notable2.mdb").string()); })
                .find("no linked table"),
            std::string::npos);
  fs::path text = folder / "text.mdb";
  { std::ofstream(text) << "not a database"; }
  EXPECT_NE(messageOf([&] { relinkTable(db, "Table1", text.string()); }), "(no error)");
  EXPECT_EQ(linkedTable(*db, "Table1").datasource, "C:\\db\\linkee1.mdb");
  db.reset();
  EXPECT_EQ(copy.bytes(), before);
}

}  // namespace
}  // namespace kevra::test
