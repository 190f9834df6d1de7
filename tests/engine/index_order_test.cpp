// Index entries in key order: keys that are the start of longer keys (an
// empty Binary value), long runs of one key split across pages, and the
// whole-file check holding every index to that order.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "engine/compact/compactor.h"
#include "engine/index/index_page.h"
#include "engine/storage/file_system.h"
#include "index_order_check.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

void insertRows(const std::shared_ptr<Database>& db, const std::string& table,
                const std::vector<std::vector<std::optional<Value>>>& rows) {
  TableWriter writer(db);
  writer.begin();
  auto def = db->table(table);
  for (const auto& row : rows) writer.insertRow(*def, row);
  writer.commit();
}

std::string problemsOf(const std::string& path) {
  auto db = Database::open(path);
  std::string all;
  for (const auto& object : db->objects())
    if (object.isLocalTable())
      for (const auto& p : indexOrderProblems(*db, *db->table(object.name))) all += p + "\n";
  return all;
}

// Twelve Binary values whose keys start one another: the empty value's key
// is the segment marker alone.
std::vector<std::vector<std::optional<Value>>> binaryRows() {
  const std::vector<Binary> values = {{},     {0x00}, {0x00, 0x00}, Binary(8, 0x00), Binary(9, 0x00), {0x01},
                                      {0x7f}, {0xff}, {0x00, 0x01}, Binary(8, 0xff), {},              {0x10, 0x20}};
  std::vector<std::vector<std::optional<Value>>> rows;
  for (size_t i = 0; i < values.size(); ++i) rows.push_back({Value(int32_t(i)), Value(values[i])});
  return rows;
}

}  // namespace

TEST(IndexEntryOrder, EmptyBinaryKeysComeFirstAndCompactionKeepsTheOrder) {
  ScratchCopy copy("empty.mdb");
  {
    auto db = openForWriting(copy.path());
    runSql(db, "CREATE TABLE Blobs (id LONG, b BINARY(16))");
    runSql(db, "CREATE INDEX up ON Blobs (b)");
    runSql(db, "CREATE INDEX down ON Blobs (b DESC, id)");
    insertRows(db, "Blobs", binaryRows());
    runSql(db, "CREATE INDEX later ON Blobs (b)");  // built at once from the rows
  }
  EXPECT_EQ(problemsOf(copy.path()), "");
  EXPECT_EQ(checkFile(copy.path()), "clean");
  {
    auto db = openForWriting(copy.path());
    EXPECT_EQ(runSql(db, "DELETE FROM Blobs WHERE id = 0"), 1);
  }
  EXPECT_EQ(problemsOf(copy.path()), "");
  const std::string compacted = copy.path() + ".compact.mdb";
  compactDatabase(realFileSystem(), copy.path(), compacted);
  EXPECT_EQ(problemsOf(compacted), "");
  EXPECT_EQ(checkFile(compacted), "clean");
  std::remove(compacted.c_str());
}

TEST(IndexEntryOrder, CheckReportsEntriesInByteOrderButNotKeyOrder) {
  ScratchCopy copy("empty.mdb");
  uint32_t root = 0;
  {
    auto db = openForWriting(copy.path());
    runSql(db, "CREATE TABLE Blobs (id LONG, b BINARY(16))");
    runSql(db, "CREATE INDEX up ON Blobs (b)");
    insertRows(db, "Blobs", binaryRows());
    root = db->table("Blobs")->realIndexes.at(0).rootPage;
  }
  ASSERT_EQ(checkFile(copy.path()), "clean");
  // Rewrite the leaf with its entries in plain byte order of key and row
  // pointer together, which puts the empty values after 7F 00 ...
  std::vector<char> bytes = copy.bytes();
  const ByteSpan page(reinterpret_cast<const uint8_t*>(bytes.data()) + size_t(root) * kPageSize, kPageSize);
  auto db = Database::open(copy.path());
  IndexPage leaf = decodeIndexPage(page, root, "the index", db->pages().layout());
  db.reset();
  ASSERT_TRUE(leaf.leaf);
  std::vector<Bytes> entries = leaf.entries();
  std::sort(entries.begin(), entries.end());
  ASSERT_NE(entries, leaf.entries());
  leaf.clearEntries();
  for (const auto& e : entries) leaf.append(e);
  std::vector<uint8_t> out(kPageSize);
  encodeIndexPage(leaf, out.data());
  {
    std::fstream f(copy.path(), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(root) * std::streamoff(kPageSize));
    f.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
  }
  EXPECT_NE(problemsOf(copy.path()), "");
  const std::string report = checkFile(copy.path());
  EXPECT_NE(report.find("out of order"), std::string::npos) << report;
}

TEST(IndexEntryOrder, LongRunsOfOneKeySplitAcrossPagesWhateverComesBeforeThem) {
  ScratchCopy copy("empty.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE Runs (n LONG, t TEXT(20))");
  runSql(db, "CREATE INDEX nUp ON Runs (n)");
  runSql(db, "CREATE INDEX nDown ON Runs (n DESC)");
  runSql(db, "CREATE INDEX tUp ON Runs (t)");
  runSql(db, "CREATE INDEX tDown ON Runs (t DESC)");
  std::vector<std::vector<std::optional<Value>>> rows;
  for (int i = 0; i < 2500; ++i) rows.push_back({Value(int32_t(500)), Value(std::string("middle"))});
  insertRows(db, "Runs", rows);
  // Keys before the run and after it, in each direction, then between runs.
  insertRows(db, "Runs", {{Value(int32_t(1)), Value(std::string("aaa"))},
                          {Value(int32_t(900)), Value(std::string("zzz"))},
                          {Value(int32_t(2)), Value(std::string("aab"))}});
  rows.clear();
  for (int i = 0; i < 1500; ++i) rows.push_back({Value(int32_t(700)), Value(std::string("other"))});
  insertRows(db, "Runs", rows);
  insertRows(db, "Runs", {{Value(int32_t(600)), Value(std::string("n"))}});
  EXPECT_EQ(runSql(db, "DELETE FROM Runs WHERE n = 500"), 2500);
  insertRows(db, "Runs", {{Value(int32_t(0)), Value(std::string(""))}});
  db.reset();
  EXPECT_EQ(problemsOf(copy.path()), "");
  EXPECT_EQ(checkFile(copy.path()), "clean");
}
