// Index pages and the index reader: encoding round trips, prefix
// compression, tree walks over Access-written indexes, and every kind of
// damage turning into CorruptFileError.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/index/index_page.h"
#include "engine/index/index_reader.h"
#include "engine/util/error.h"
#include "index_test_files.h"
#include "sample_files.h"

namespace kevra {
namespace {

using Page = std::array<uint8_t, kPageSize>;

Bytes leafEntry(std::initializer_list<uint8_t> key, uint32_t page, uint8_t row) {
  Bytes e(key);
  e.push_back(uint8_t(page >> 16));
  e.push_back(uint8_t(page >> 8));
  e.push_back(uint8_t(page));
  e.push_back(row);
  return e;
}

IndexPage decode(const Page& p) { return decodeIndexPage(ByteSpan(p.data(), p.size()), 9, "index 'X' of table 'T'", jet4Layout()); }

TEST(IndexPageCodec, LeafRoundTripSetsBitmapAndFreeSpace) {
  IndexPage leaf;
  leaf.tdefPage = 24;
  leaf.prevPage = 3;
  leaf.nextPage = 5;
  leaf.append(leafEntry({0x7f, 0x4a, 0x01, 0x00}, 27, 1));
  leaf.append(leafEntry({0x7f, 0x4a, 0x4c, 0x01, 0x00}, 27, 0));
  Page p{};
  encodeIndexPage(leaf, p.data());
  EXPECT_EQ(p[0], 0x04);
  EXPECT_EQ(p[1], 0x01);
  // The shared "7f 4a" is stored once: 8 + (9 - 2) entry bytes.
  EXPECT_EQ(p[24] | (p[25] << 8), 2);
  EXPECT_EQ(p[2] | (p[3] << 8), 3616 - 15);
  EXPECT_EQ(p[26], 0x00);
  EXPECT_EQ(p[27 + 1], 0x81);        // entries end at 8 and 15
  IndexPage back = decode(p);
  EXPECT_TRUE(back.leaf);
  EXPECT_EQ(back.tdefPage, 24u);
  EXPECT_EQ(back.prevPage, 3u);
  EXPECT_EQ(back.nextPage, 5u);
  EXPECT_EQ(back.entries(), leaf.entries());
}

TEST(IndexPageCodec, NodeRoundTripKeepsTailAndChildren) {
  IndexPage node;
  node.leaf = false;
  node.tailPage = 33;
  Bytes e = leafEntry({0x7f, 0x80, 0x00, 0x00, 0x05}, 27, 4);
  appendBigEndian32(32, e);
  node.append(e);
  Page p{};
  encodeIndexPage(node, p.data());
  EXPECT_EQ(p[0], 0x03);
  EXPECT_EQ(p[26], 0x01);
  IndexPage back = decode(p);
  EXPECT_FALSE(back.leaf);
  EXPECT_EQ(back.tailPage, 33u);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(IndexPage::childOf(back.entry(0)), 32u);
  ByteSpan keyAndRow = IndexPage::withoutChild(back.entry(0));
  EXPECT_EQ(Bytes(keyAndRow.begin(), keyAndRow.end()), leafEntry({0x7f, 0x80, 0x00, 0x00, 0x05}, 27, 4));
}

TEST(IndexPageCodec, SharedPrefixIsRestored) {
  // Three entries sharing 5 bytes; the later two are stored without them.
  Bytes a = leafEntry({0x7f, 0x4a, 0x4a, 0x01, 0x00}, 40, 1);
  Bytes b = leafEntry({0x7f, 0x4a, 0x4a, 0x01, 0x00}, 40, 2);
  Bytes c = leafEntry({0x7f, 0x4a, 0x4a, 0x01, 0x00}, 41, 0);
  Page p{};
  p[0] = 0x04;
  p[1] = 0x01;
  p[24] = 5;
  size_t pos = 0;
  auto put = [&](const Bytes& e, size_t skip) {
    std::copy(e.begin() + ptrdiff_t(skip), e.end(), p.begin() + 480 + ptrdiff_t(pos));
    pos += e.size() - skip;
    p[27 + pos / 8] |= uint8_t(1 << (pos % 8));
  };
  put(a, 0);
  put(b, 5);
  put(c, 5);
  IndexPage back = decode(p);
  EXPECT_EQ(back.entries(), (std::vector<Bytes>{a, b, c}));
}

TEST(IndexPageCodec, EntryEditingKeepsOrderAndBytes) {
  IndexPage p;
  Bytes a = leafEntry({0x7f, 0x10}, 1, 0), b = leafEntry({0x7f, 0x20, 0x30}, 1, 1), c = leafEntry({0x7f, 0x40}, 2, 0);
  p.append(a);
  p.append(c);
  EXPECT_EQ(p.lowerBound(b), 1u);
  p.insert(1, b);
  EXPECT_EQ(p.entries(), (std::vector<Bytes>{a, b, c}));
  EXPECT_EQ(p.entryBytes(), a.size() + b.size() + c.size());
  p.replace(0, c);
  p.erase(2);
  EXPECT_EQ(p.entries(), (std::vector<Bytes>{c, b}));
  p.append(a);
  p.keepRange(1, 3);
  EXPECT_EQ(p.entries(), (std::vector<Bytes>{b, a}));
  p.insert(0, p.entry(1));  // inserting a copy of its own entry
  EXPECT_EQ(p.entries(), (std::vector<Bytes>{a, b, a}));
  p.keepRange(2, 2);
  EXPECT_TRUE(p.empty());
  EXPECT_EQ(p.entryBytes(), 0u);
}

TEST(IndexPageCodec, KeysOrderBytewiseWithPrefixesFirstAndEntriesByKeyThenRow) {
  EXPECT_TRUE(keyLess(Bytes{0x7f}, Bytes{0x7f, 0x00}));
  EXPECT_FALSE(keyLess(Bytes{0x7f, 0x00}, Bytes{0x7f}));
  EXPECT_TRUE(keyLess(Bytes{0x7f, 0x01}, Bytes{0x80}));
  EXPECT_TRUE(keyLess(Bytes{0x00, 0xff}, Bytes{0x7f}));
  EXPECT_FALSE(keyLess(Bytes{0x7f}, Bytes{0x7f}));
  // An empty Binary value (key 7F) comes before 7F 00 ..., whatever its row
  // pointer: the pointer is not compared with the longer key's bytes.
  const Bytes empty = leafEntry({0x7f}, 0x000105, 1);
  const Bytes zeroByte = leafEntry({0x7f, 0x00, 0, 0, 0, 0, 0, 0, 0, 0x01}, 0x000100, 0);
  EXPECT_TRUE(entryLess(empty, zeroByte));
  EXPECT_FALSE(entryLess(zeroByte, empty));
  // Equal keys: the row pointer decides.
  EXPECT_TRUE(entryLess(leafEntry({0x7f, 0x10}, 3, 1), leafEntry({0x7f, 0x10}, 3, 2)));
  EXPECT_FALSE(entryLess(leafEntry({0x7f, 0x10}, 3, 2), leafEntry({0x7f, 0x10}, 3, 2)));
  EXPECT_TRUE(entryBelowKey(empty, Bytes{0x7f, 0x00}));
  EXPECT_FALSE(entryBelowKey(empty, Bytes{0x7f}));
  EXPECT_FALSE(entryBelowKey(zeroByte, Bytes{0x7f, 0x00}));
}

TEST(IndexPageCodec, DamagedPagesAreRejected) {
  IndexPage leaf;
  leaf.append(leafEntry({0x7f, 0x01}, 27, 1));
  Page good{};
  encodeIndexPage(leaf, good.data());

  Page wrongType = good;
  wrongType[0] = 0x01;
  EXPECT_THROW(decode(wrongType), CorruptFileError);

  Page tooShort = good;  // an entry of 2 bytes cannot hold a row pointer
  tooShort[27] |= 0x04;
  EXPECT_THROW(decode(tooShort), CorruptFileError);

  Page zeroLength = good;
  zeroLength[27] |= 0x01;
  EXPECT_THROW(decode(zeroLength), CorruptFileError);

  Page pastEnd = good;
  pastEnd[479] = 0x80;  // bit 3623: beyond the 3616 entry bytes
  EXPECT_THROW(decode(pastEnd), CorruptFileError);

  Page longPrefix = good;
  longPrefix[24] = 50;
  EXPECT_THROW(decode(longPrefix), CorruptFileError);

  Page leafWithChild = good;
  leafWithChild[20] = 7;
  EXPECT_THROW(decode(leafWithChild), CorruptFileError);

  Page emptyNode{};
  emptyNode[0] = 0x03;
  emptyNode[1] = 0x01;
  EXPECT_THROW(decode(emptyNode), CorruptFileError);

  IndexPage huge;  // 40 distinct entries of 100 bytes sharing only their first byte
  for (int i = 0; i < 40; ++i) {
    Bytes e(100, uint8_t(i));
    e[0] = 0x7f;
    huge.append(e);
  }
  Page out{};
  EXPECT_THROW(encodeIndexPage(huge, out.data()), EngineError);
}

struct IndexWalk {
  std::vector<IndexEntry> entries;
  std::vector<std::string> problems;
  size_t pages = 0;
};

IndexWalk walk(const Database& db, const TableDef& table, size_t real) {
  IndexReader reader(db.pages(), table, table.realIndexes[real], "index of '" + table.name + "'");
  IndexWalk w;
  IndexEntry e;
  while (reader.next(e)) w.entries.push_back(e);
  w.problems = reader.problems();
  w.pages = reader.pagesVisited().size();
  return w;
}

bool entryLess(const IndexEntry& a, const IndexEntry& b) {
  if (a.key != b.key) return a.key < b.key;
  return a.rowLocation() < b.rowLocation();
}

TEST(IndexReader, WalksANodeRootOverLeavesInOrder) {
  auto db = Database::open(test::sample("compindextestv2000.mdb"));
  auto table = db->table("Table1");
  ASSERT_FALSE(table->realIndexes.empty());
  IndexWalk w = walk(*db, *table, 0);
  EXPECT_EQ(w.entries.size(), table->rowCount);
  EXPECT_GT(w.pages, 1u);  // a node root above leaves
  EXPECT_TRUE(w.problems.empty()) << w.problems.front();
  EXPECT_TRUE(std::is_sorted(w.entries.begin(), w.entries.end(), entryLess));
  // The index is descending on a Long: markers 0x80, or 0xFF for NULL.
  for (const auto& e : w.entries) EXPECT_TRUE(e.key[0] == 0x80 || e.key[0] == 0xFF);
}

TEST(IndexReader, EveryEntryPointsAtALiveRow) {
  auto db = Database::open(test::sample("testv2000.mdb"));
  auto table = db->table("Table1");
  TableCursor cursor(db, table);
  std::vector<Value> row;
  std::vector<uint32_t> live;
  while (cursor.next(row)) live.push_back(cursor.lastLocation());
  std::sort(live.begin(), live.end());
  for (size_t i = 0; i < table->realIndexes.size(); ++i) {
    IndexWalk w = walk(*db, *table, i);
    std::vector<uint32_t> seen;
    for (const auto& e : w.entries) seen.push_back(e.rowLocation());
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, live) << "real index " << i;
  }
}

uint32_t rootOf(const std::string& sample, const std::string& tableName) {
  auto db = Database::open(test::sample(sample));
  return db->table(tableName)->realIndexes.at(0).rootPage;
}

void expectCorrupt(const test::PatchableCopy& copy, const std::string& tableName, const std::string& fragment) {
  auto db = Database::open(copy.path());
  auto table = db->table(tableName);
  try {
    walk(*db, *table, 0);
    ADD_FAILURE() << "no error for " << fragment;
  } catch (const CorruptFileError& e) {
    EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
  }
}

TEST(IndexReader, DamagedTreesFailCleanly) {
  const std::string sample = "compindextestv2000.mdb";
  const uint32_t root = rootOf(sample, "Table1");
  {
    test::PatchableCopy copy(sample);
    copy.patchU32(root, 20, root);  // the tail child is the root itself
    expectCorrupt(copy, "Table1", "twice");
  }
  {
    test::PatchableCopy copy(sample);
    copy.patchU32(root, 20, 0x00FFFFFF);  // tail past the end of the file
    expectCorrupt(copy, "Table1", "not in the file");
  }
  {
    test::PatchableCopy copy(sample);
    copy.patchU32(root, 20, 2);  // tail is a table definition page
    expectCorrupt(copy, "Table1", "page type");
  }
  {
    test::PatchableCopy copy(sample);
    copy.patchByte(root, 0, 0x01);  // root is not an index page
    expectCorrupt(copy, "Table1", "page type");
  }
  {
    test::PatchableCopy copy(sample);
    copy.patchByte(root, 479, 0xFF);  // bitmap past the entry area
    expectCorrupt(copy, "Table1", "past its end");
  }
}

TEST(IndexReader, StaleNodeEntriesAndLinksAreReportedNotFatal) {
  const std::string sample = "compindextestv2000.mdb";
  const uint32_t root = rootOf(sample, "Table1");
  test::PatchableCopy copy(sample);
  // First key byte of the root's first entry: the entry no longer equals the
  // last entry of its child.
  copy.patchByte(root, 480 + 1, 0x00);
  auto db = Database::open(copy.path());
  auto table = db->table("Table1");
  IndexWalk w = walk(*db, *table, 0);
  EXPECT_EQ(w.entries.size(), table->rowCount);
  ASSERT_FALSE(w.problems.empty());
  EXPECT_NE(w.problems[0].find("node entry"), std::string::npos) << w.problems[0];
}

using test::CheckRun;
using test::runCheck;

class CheckOnSamples : public ::testing::TestWithParam<const char*> {};

TEST_P(CheckOnSamples, AccessWrittenFilesAreClean) {
  std::string extra = std::string(GetParam()).find("password") != std::string::npos ? "--password password" : "";
  CheckRun run = runCheck(test::sample(GetParam()), extra);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output.rfind("OK", 0), 0u) << run.output;
}

INSTANTIATE_TEST_SUITE_P(Jet4, CheckOnSamples,
                         ::testing::Values("accesslike.mdb", "catesri_test.mdb", "compindextestv2000.mdb",
                                           "delcoltestv2000.mdb", "empty.mdb", "fixednumerictestv2000.mdb",
                                           "indextestv2000.mdb", "linked.mdb", "meza_test.mdb",
                                           "overflowtestv2000.mdb", "querytestv2000.mdb", "test2v2000.mdb",
                                           "testaccess2_2000.mdb", "testindexpropertiesv2000.mdb",
                                           "testunicodecompv2003.mdb", "testv2000.mdb",
                                           "v2000_with-password.mdb"));

TEST(CheckCommand, ReportsAWrongKeyByIndexName) {
  const std::string sample = "compindextestv2000.mdb";
  auto db = Database::open(test::sample(sample));
  auto table = db->table("Table1");
  // Change the first key byte of the first entry on the first leaf.
  IndexReader reader(db->pages(), *table, table->realIndexes[0], "x");
  IndexEntry e;
  ASSERT_TRUE(reader.next(e));
  uint32_t firstLeaf = 0;
  for (uint32_t p : reader.pagesVisited())
    if ((*db->pages().read(p))[0] == 0x04) firstLeaf = p;
  ASSERT_NE(firstLeaf, 0u);
  test::PatchableCopy copy(sample);
  copy.patchByte(firstLeaf, 481, 0x01);
  CheckRun run = runCheck(copy.path());
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("index 'CD_AGENTE' of table 'Table1'"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("missing entry"), std::string::npos) << run.output;
}

TEST(CheckCommand, ReportsWrongRowCounts) {
  const std::string sample = "compindextestv2000.mdb";
  auto db = Database::open(test::sample(sample));
  auto table = db->table("Table1");
  test::PatchableCopy copy(sample);
  copy.patchU32(table->tdefPage, 16, table->rowCount + 3);
  CheckRun run = runCheck(copy.path());
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("counts " + std::to_string(table->rowCount + 3) + " rows"), std::string::npos)
      << run.output;
}

TEST(CheckCommand, ReportsPagesInUseMarkedFree) {
  const std::string sample = "compindextestv2000.mdb";
  auto db = Database::open(test::sample(sample));
  auto table = db->table("Table1");
  uint32_t root = table->realIndexes[0].rootPage;
  // Page 1 row 0 is the global map; find where its bitmap holds the root's bit.
  auto page1 = db->pages().read(1);
  uint16_t start = uint16_t((*page1)[14] | ((*page1)[15] << 8)) & 0x1FFF;
  uint32_t first = uint32_t((*page1)[start + 1]) | (uint32_t((*page1)[start + 2]) << 8);
  ASSERT_GE(root, first);
  size_t byte = start + 5 + (root - first) / 8;
  test::PatchableCopy copy(sample);
  copy.patchByte(1, byte, uint8_t((*page1)[byte] | (1u << ((root - first) % 8))));
  CheckRun run = runCheck(copy.path());
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("page " + std::to_string(root) + " "), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("marked free"), std::string::npos) << run.output;
}

TEST(CheckCommand, ReportsUsageMapPagesTheIndexDoesNotUse) {
  const std::string sample = "compindextestv2000.mdb";
  auto db = Database::open(test::sample(sample));
  auto table = db->table("Table1");
  uint32_t mapPointer = table->realIndexes[0].usageMapPointer;
  uint32_t mapPage = mapPointer >> 8;
  auto page = db->pages().read(mapPage);
  size_t slot = 14 + 2 * (mapPointer & 0xFF);
  size_t rowStart = size_t((*page)[slot] | ((*page)[slot + 1] << 8)) & 0x1FFF;
  ASSERT_EQ((*page)[rowStart], 0x00) << "expected an inline map";
  uint32_t first = uint32_t((*page)[rowStart + 1]) | (uint32_t((*page)[rowStart + 2]) << 8);
  uint32_t stray = table->tdefPage;  // in use, but not by the index
  ASSERT_GE(stray, first);
  size_t byte = rowStart + 5 + (stray - first) / 8;
  test::PatchableCopy copy(sample);
  copy.patchByte(mapPage, byte, uint8_t((*page)[byte] | (1u << ((stray - first) % 8))));
  CheckRun run = runCheck(copy.path());
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("names page " + std::to_string(stray) + ", which the index does not use"),
            std::string::npos)
      << run.output;
}

}  // namespace
}  // namespace kevra
