// Indexes added to tables that already take part in a relationship, read by
// mdbtools after every structure change: it pairs the n-th real index with
// the logical index numbered n among those that are not a relationship's,
// as Access numbers them, and reports "can't find index" or loses the
// columns of an index when the numbers are otherwise.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kevra_cli.h"
#include "mdb_oracle.h"
#include "process.h"

namespace kevra::interop {
namespace {

class RelatedTablesFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kevra-numbering-interop-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    path_ = dir_ + "/m.mdb";
    ProcessResult r = runCli({"create", path_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs one statement, then mdb-schema with its indexes; the lines in which
  // mdbtools reports trouble, and indexes it printed without columns.
  std::vector<std::string> runAndRead(const std::string& sql) {
    ProcessResult r = runCli({"sql", path_, sql});
    EXPECT_EQ(r.exitCode, 0) << sql << ": " << r.err;
    ProcessResult schema = runProcess({"mdb-schema", "--indexes", "--relations", path_, "postgres"});
    EXPECT_EQ(schema.exitCode, 0) << schema.err;
    std::vector<std::string> bad;
    for (const std::string& line : splitLines(schema.err + "\n" + schema.out))
      if (line.find("ERROR") != std::string::npos || line.find("CRITICAL") != std::string::npos ||
          line.find("can't") != std::string::npos || line.find(" ();") != std::string::npos)
        bad.push_back(line);
    return bad;
  }

  std::string dir_, path_;
};

TEST_F(RelatedTablesFile, MdbtoolsFindsEveryIndexAfterEachChange) {
  const std::vector<std::string> statements = {
      "CREATE TABLE [Customers] ([ID] counter, [City] text(50), [Zip] text(10))",
      "CREATE TABLE [Order Details] ([OrderId] long, [Line] long, [Price] text(10), [CustID] long)",
      "alter table [Customers] add constraint PrimaryKey primary key ([ID])",
      "ALTER TABLE [Order Details] ALTER COLUMN [CustID] long NOT NULL REFERENCES [Customers]([ID])",
      "alter table [Order Details] add constraint PrimaryKey primary key ([OrderId],[Line])",
      "create UNIQUE index IxCity on [Customers]([City],[Zip])",
      "create index IxPrice on [Order Details]([Price] DESC)",
      "drop index IxCity on [Customers]",
      "create index IxZip on [Customers]([Zip])",
  };
  for (const std::string& sql : statements) {
    SCOPED_TRACE(sql);
    const std::vector<std::string> bad = runAndRead(sql);
    EXPECT_TRUE(bad.empty()) << bad.front();
  }
  std::vector<MdbIndex> customers = mdbIndexes(path_, "Customers");
  ASSERT_EQ(customers.size(), 2u);
  for (const auto& index : customers) EXPECT_FALSE(index.columns.empty()) << index.name;
  std::vector<MdbIndex> details = mdbIndexes(path_, "Order Details");
  ASSERT_EQ(details.size(), 2u);
  for (const auto& index : details) EXPECT_FALSE(index.columns.empty()) << index.name;
  ProcessResult check = runCli({"check", path_});
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  // The relationship still holds: an order of a customer that does not exist is refused.
  ProcessResult orphan = runCli({"sql", path_, "INSERT INTO [Order Details] VALUES (1, 1, 'x', 42)"});
  EXPECT_NE(orphan.exitCode, 0);
}

}  // namespace
}  // namespace kevra::interop
