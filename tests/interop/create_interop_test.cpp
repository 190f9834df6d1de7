// A database made by kevra-cli create, read by mdbtools: the format, the four
// system tables, the catalog and access-control rows, and the structure.
// (kevra-cli check and the refusals are in tests/engine/create_database_test.cpp.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "kevra_cli.h"
#include "mdb_oracle.h"
#include "process.h"

namespace kevra::interop {
namespace {

class NewDatabaseFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kevra-create-interop-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    path_ = dir_ + "/empty.mdb";
    ProcessResult r = runCli({"create", path_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  ProcessResult oracle(std::vector<std::string> argv) {
    ProcessResult r = runProcess(argv);
    EXPECT_EQ(r.exitCode, 0) << argv[0] << ": " << r.err;
    return r;
  }

  std::string dir_, path_;
};

TEST_F(NewDatabaseFile, MdbtoolsReadsItAsAnEmptyJet4Database) {
  EXPECT_EQ(oracle({"mdb-ver", path_}).out, "JET4\n");
  std::vector<std::string> tables = splitLines(oracle({"mdb-tables", "-S", "-1", path_}).out);
  std::sort(tables.begin(), tables.end());
  EXPECT_EQ(tables, (std::vector<std::string>{"MSysACEs", "MSysObjects", "MSysQueries", "MSysRelationships"}));
  EXPECT_TRUE(mdbUserTables(path_).empty());

  auto objects = parseCsv(oracle({"mdb-export", path_, "MSysObjects"}).out);
  ASSERT_EQ(objects.size(), 9u);  // heading and 8 rows
  const auto& heading = objects[0];
  const size_t name = size_t(std::find(heading.begin(), heading.end(), "Name") - heading.begin());
  ASSERT_LT(name, heading.size());
  std::vector<std::string> names;
  for (size_t r = 1; r < objects.size(); ++r) names.push_back(objects[r][name]);
  EXPECT_EQ(names, (std::vector<std::string>{"Tables", "Databases", "Relationships", "MSysDb", "MSysObjects",
                                             "MSysACEs", "MSysQueries", "MSysRelationships"}));
  EXPECT_EQ(parseCsv(oracle({"mdb-export", path_, "MSysACEs"}).out).size(), 17u);
  EXPECT_EQ(mdbCount(path_, "MSysQueries"), 0u);

  std::vector<MdbColumn> columns = mdbColumns(path_, "MSysObjects");
  EXPECT_EQ(columns.size(), 17u);
  std::vector<MdbIndex> indexes = mdbIndexes(path_, "MSysRelationships");
  EXPECT_EQ(indexes.size(), 3u);
}

}  // namespace
}  // namespace kevra::interop
