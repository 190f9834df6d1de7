// The index writer on copies of Access-written files: thousands of inserts
// that split leaves and nodes, removals that empty pages again, the shape
// rules (tail child, node entries, sibling links), usage maps and the global
// free-page map, all checked after reopening the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "engine/table/database.h"
#include "engine/storage/data_page.h"
#include "engine/index/index_key_encoder.h"
#include "engine/index/index_reader.h"
#include "engine/index/index_writer.h"
#include "engine/index/text_key_encoder.h"
#include "engine/storage/usage_map.h"
#include "engine/util/error.h"
#include "index_test_files.h"

namespace kevra {
namespace {

using Entry = std::pair<Bytes, uint32_t>;  // key, row location

std::shared_ptr<Database> openWritable(const std::string& path) {
  OpenOptions o;
  o.readOnly = false;
  return Database::open(path, o);
}

size_t realIndexOf(const TableDef& t, const std::string& logicalName) {
  for (const auto& li : t.logicalIndexes)
    if (li.name == logicalName) return li.realIndex;
  throw std::runtime_error("no index " + logicalName);
}

std::vector<Entry> readAll(const Database& db, const TableDef& t, size_t real, std::vector<std::string>* problems,
                           std::set<uint32_t>* pages) {
  IndexReader reader(db.pages(), t, t.realIndexes[real], "index under test");
  std::vector<Entry> out;
  IndexEntry e;
  while (reader.next(e)) out.emplace_back(e.key, e.rowLocation());
  if (problems) *problems = reader.problems();
  if (pages) pages->insert(reader.pagesVisited().begin(), reader.pagesVisited().end());
  return out;
}

Bytes textKey(const std::u16string& s) {
  Bytes k;
  appendTextKeySegment(s, true, k);
  return k;
}

std::u16string randomText(std::mt19937& rng, size_t minLength, size_t maxLength) {
  static const std::u16string alphabet = u"abcdefghijklmnopqrstuvwxyz ÁÉÍÓÚäöüМир-漢字";
  std::uniform_int_distribution<size_t> length(minLength, maxLength);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::u16string s(length(rng), u'a');
  for (auto& c : s) c = alphabet[pick(rng)];
  return s;
}

// Sorted the way the index orders entries: key bytes, then row location.
std::vector<Entry> sorted(std::vector<Entry> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// The tree shape and page bookkeeping every change must leave behind.
void expectSoundIndex(const Database& db, const TableDef& t, size_t real, const std::vector<Entry>& expected) {
  std::vector<std::string> problems;
  std::set<uint32_t> pages;
  std::vector<Entry> actual = readAll(db, t, real, &problems, &pages);
  EXPECT_TRUE(problems.empty()) << problems.front();
  ASSERT_EQ(actual.size(), expected.size());
  EXPECT_TRUE(actual == sorted(expected)) << "entries differ or are out of order";
  const RealIndexDef& index = t.realIndexes[real];
  UsageMap map = UsageMap::read(db.pages(), index.usageMapPointer, "index map");
  UsageMap freePages = UsageMap::read(db.pages(), rowPointer(1, 0), "global map");
  for (uint32_t p : pages) {
    EXPECT_TRUE(map.contains(p)) << "page " << p << " missing from the index's usage map";
    EXPECT_FALSE(freePages.contains(p)) << "page " << p << " is marked free";
  }
  for (uint32_t p : map.pages()) EXPECT_TRUE(pages.count(p)) << "usage map names unreachable page " << p;
}

struct WriterFixture {
  test::PatchableCopy copy;
  std::shared_ptr<Database> db;
  std::shared_ptr<const TableDef> table;
  size_t real;
  std::vector<Entry> original;

  WriterFixture(const std::string& sample, const std::string& tableName, const std::string& indexName)
      : copy(sample) {
    reopen(tableName);
    real = realIndexOf(*table, indexName);
    original = readAll(*db, *table, real, nullptr, nullptr);
  }
  void reopen(const std::string& tableName) {
    db.reset();
    db = openWritable(copy.path());
    table = db->table(tableName);
  }
  IndexWriter writer() { return IndexWriter(db->pages(), *table, table->realIndexes[real], "index under test"); }
};

TEST(IndexWriter, ThousandsOfTextKeysSplitLeavesAndNodesAndSurviveReopen) {
  WriterFixture f("testv2000.mdb", "Table1", "B");
  const uint32_t root = f.table->realIndexes[f.real].rootPage;
  std::mt19937 rng(7);
  std::vector<Entry> added;
  for (uint32_t i = 0; i < 6000; ++i) added.emplace_back(textKey(randomText(rng, 20, 120)), ((5000 + i / 200) << 8) | (i % 200));
  f.db->pages().beginTransaction();
  IndexWriter w = f.writer();
  for (const auto& e : added) w.insert(e.first, e.second);
  w.flush();
  f.db->pages().commit();

  f.reopen("Table1");
  EXPECT_EQ(f.table->realIndexes[f.real].rootPage, root);
  EXPECT_EQ((*f.db->pages().read(root))[0], kPageTypeIndexNode);
  std::vector<Entry> all = f.original;
  all.insert(all.end(), added.begin(), added.end());
  expectSoundIndex(*f.db, *f.table, f.real, all);
  // Long keys over 6,000 entries need more than two levels.
  IndexPage rootPage = decodeIndexPage(f.db->pages().span(f.db->pages().read(root)), root, "root", jet4Layout());
  uint32_t child = rootPage.tailPage;
  EXPECT_EQ((*f.db->pages().read(child))[0], kPageTypeIndexNode);
}

TEST(IndexWriter, AscendingAppendsFillPages) {
  WriterFixture f("testv2000.mdb", "Table3", "PrimaryKey");
  ColumnDef longColumn;
  longColumn.type = ColumnType::Long;
  std::vector<Entry> added;
  f.db->pages().beginTransaction();
  IndexWriter w = f.writer();
  size_t bytes = 0;
  for (int32_t i = 0; i < 5000; ++i) {
    Bytes key;
    appendKeySegment(longColumn, int32_t(100000 + i), true, key);
    w.insert(key, (7000u << 8) | uint32_t(i % 250));
    added.emplace_back(key, (7000u << 8) | uint32_t(i % 250));
    bytes += key.size() + 4;
  }
  w.flush();
  f.db->pages().commit();
  f.reopen("Table3");
  std::vector<Entry> all = f.original;
  all.insert(all.end(), added.begin(), added.end());
  expectSoundIndex(*f.db, *f.table, f.real, all);
  std::set<uint32_t> pages;
  readAll(*f.db, *f.table, f.real, nullptr, &pages);
  size_t minimumLeaves = (bytes + 3615) / 3616;
  EXPECT_LE(pages.size(), minimumLeaves + minimumLeaves / 10 + 3) << "pages are left half empty";
}

TEST(IndexWriter, RemovingEverythingAddedRestoresTheIndexAndFreesItsPages) {
  WriterFixture f("testv2000.mdb", "Table1", "B");
  std::mt19937 rng(11);
  std::vector<Entry> added;
  for (uint32_t i = 0; i < 3000; ++i) added.emplace_back(textKey(randomText(rng, 5, 60)), ((6000 + i / 100) << 8) | (i % 100));
  f.db->pages().beginTransaction();
  {
    IndexWriter w = f.writer();
    for (const auto& e : added) w.insert(e.first, e.second);
  }
  f.db->pages().commit();
  f.reopen("Table1");
  std::set<uint32_t> grownPages;
  readAll(*f.db, *f.table, f.real, nullptr, &grownPages);

  // Remove every other added entry, in random order.
  std::shuffle(added.begin(), added.end(), rng);
  std::vector<Entry> kept(added.begin() + 1500, added.end());
  f.db->pages().beginTransaction();
  {
    IndexWriter w = f.writer();
    for (size_t i = 0; i < 1500; ++i) EXPECT_TRUE(w.remove(added[i].first, added[i].second));
    EXPECT_FALSE(w.remove(added[0].first, added[0].second));  // already gone
  }
  f.db->pages().commit();
  f.reopen("Table1");
  std::vector<Entry> all = f.original;
  all.insert(all.end(), kept.begin(), kept.end());
  expectSoundIndex(*f.db, *f.table, f.real, all);

  f.db->pages().beginTransaction();
  {
    IndexWriter w = f.writer();
    for (const auto& e : kept) EXPECT_TRUE(w.remove(e.first, e.second));
  }
  f.db->pages().commit();
  f.reopen("Table1");
  expectSoundIndex(*f.db, *f.table, f.real, f.original);
  test::CheckRun check = test::runCheck(f.copy.path());
  EXPECT_EQ(check.status, 0) << check.output;
  // Pages the index gave up are free again.
  UsageMap freePages = UsageMap::read(f.db->pages(), rowPointer(1, 0), "global map");
  std::set<uint32_t> nowPages;
  readAll(*f.db, *f.table, f.real, nullptr, &nowPages);
  for (uint32_t p : grownPages)
    if (!nowPages.count(p)) EXPECT_TRUE(freePages.contains(p)) << "page " << p << " was not released";
}

TEST(IndexWriter, RandomInsertsAndRemovesMatchAModel) {
  WriterFixture f("testv2000.mdb", "Table1", "B");
  std::mt19937 rng(23);
  std::set<Entry> model(f.original.begin(), f.original.end());
  std::vector<Entry> live;
  f.db->pages().beginTransaction();
  IndexWriter w = f.writer();
  uint32_t next = 0;
  for (int step = 0; step < 12000; ++step) {
    // Grow for the first half, then shrink until nothing added is left.
    bool grow = live.empty() || (step < 6000 ? rng() % 4 != 0 : rng() % 4 == 0);
    if (grow) {
      Entry e{textKey(randomText(rng, 60, 200)), ((8000 + next / 100) << 8) | (next % 100)};
      ++next;
      w.insert(e.first, e.second);
      model.insert(e);
      live.push_back(e);
    } else {
      size_t i = rng() % live.size();
      ASSERT_TRUE(w.remove(live[i].first, live[i].second)) << "step " << step;
      model.erase(live[i]);
      live[i] = live.back();
      live.pop_back();
    }
    if (step % 1500 == 1499) {
      SCOPED_TRACE("step " + std::to_string(step));
      w.flush();
      expectSoundIndex(*f.db, *f.table, f.real, std::vector<Entry>(model.begin(), model.end()));
    }
  }
  for (const auto& e : live) ASSERT_TRUE(w.remove(e.first, e.second));
  w.flush();
  f.db->pages().commit();
  f.reopen("Table1");
  expectSoundIndex(*f.db, *f.table, f.real, f.original);
  // The few original entries fit one page: the root has collapsed to a leaf.
  uint32_t root = f.table->realIndexes[f.real].rootPage;
  EXPECT_EQ((*f.db->pages().read(root))[0], kPageTypeIndexLeaf);
}

TEST(IndexWriter, RunsOfOneKeySplitAndMergeWithEveryPageFitting) {
  // Long runs of a few keys take little room on a page of their own and
  // much beside other keys: splits and merges must size each page by the
  // prefix its own entries share.
  WriterFixture f("testv2000.mdb", "Table1", "B");
  std::mt19937 rng(7);
  const std::u16string tail(100, u'q');
  const std::vector<Bytes> keys = {textKey(u"m" + tail), textKey(u"n" + tail), textKey(u"zebra"),
                                   textKey(u"aardvark")};
  std::set<Entry> model(f.original.begin(), f.original.end());
  std::vector<Entry> live;
  f.db->pages().beginTransaction();
  IndexWriter w = f.writer();
  uint32_t next = 0;
  const auto add = [&](const Bytes& key) {
    Entry e{key, ((9000 + next / 200) << 8) | (next % 200)};
    ++next;
    w.insert(e.first, e.second);
    model.insert(e);
    live.push_back(e);
  };
  const auto removeAt = [&](size_t i) {
    ASSERT_TRUE(w.remove(live[i].first, live[i].second));
    model.erase(live[i]);
    live[i] = live.back();
    live.pop_back();
  };
  for (int i = 0; i < 3000; ++i) add(keys[i < 1500 ? 0 : 1]);
  // Thin both runs until their pages are merged: together they share only
  // the segment marker.
  std::vector<Entry> kept;
  for (size_t i = live.size(); i-- > 0;) {
    if (i % 6 == 0) {
      kept.push_back(live[i]);
      continue;
    }
    ASSERT_TRUE(w.remove(live[i].first, live[i].second));
    model.erase(live[i]);
  }
  live = kept;
  w.flush();
  expectSoundIndex(*f.db, *f.table, f.real, std::vector<Entry>(model.begin(), model.end()));
  add(keys[3]);  // before both runs
  add(keys[2]);  // after them
  for (int step = 0; step < 8000; ++step) {
    if (live.size() < 500 || rng() % 2 == 0) {
      add(rng() % 5 == 0 ? textKey(randomText(rng, 1, 30)) : keys[rng() % keys.size()]);
    } else {
      removeAt(rng() % live.size());
    }
    if (step % 2000 == 1999) {
      SCOPED_TRACE("step " + std::to_string(step));
      w.flush();
      expectSoundIndex(*f.db, *f.table, f.real, std::vector<Entry>(model.begin(), model.end()));
    }
  }
  w.flush();
  f.db->pages().commit();
  f.reopen("Table1");
  expectSoundIndex(*f.db, *f.table, f.real, std::vector<Entry>(model.begin(), model.end()));
}

TEST(IndexWriter, EmptyingAnIndexLeavesAnEmptyRootLeaf) {
  WriterFixture f("testv2000.mdb", "Table3", "PrimaryKey");
  const uint32_t root = f.table->realIndexes[f.real].rootPage;
  f.db->pages().beginTransaction();
  IndexWriter w = f.writer();
  for (const auto& e : f.original) EXPECT_TRUE(w.remove(e.first, e.second));
  w.flush();
  f.db->pages().commit();
  f.reopen("Table3");
  auto page = f.db->pages().read(root);
  EXPECT_EQ((*page)[0], kPageTypeIndexLeaf);
  EXPECT_EQ((*page)[2] | ((*page)[3] << 8), 3616);
  expectSoundIndex(*f.db, *f.table, f.real, {});
}

TEST(IndexWriter, ContainsKeyIgnoresRowPointersAndTheRowItself) {
  WriterFixture f("testv2000.mdb", "Table1", "B");
  f.db->pages().beginTransaction();
  IndexWriter w = f.writer();
  Bytes key = textKey(u"Duplicate");
  EXPECT_FALSE(w.containsKey(key));
  w.insert(key, (900u << 8) | 3);
  EXPECT_TRUE(w.containsKey(key));
  EXPECT_TRUE(w.containsKey(textKey(u"DUPLICATE")));  // text keys ignore case
  EXPECT_FALSE(w.containsKey(key, (900u << 8) | 3));
  w.insert(key, (901u << 8) | 0);
  EXPECT_TRUE(w.containsKey(key, (900u << 8) | 3));
  // A key that merely starts with another one is not a match.
  Bytes shorter(key.begin(), key.end() - 1);
  EXPECT_FALSE(w.containsKey(shorter));
  // Across leaf boundaries: many rows with one key.
  Bytes common = textKey(u"common");
  for (uint32_t i = 0; i < 800; ++i) w.insert(common, ((1000 + i) << 8) | 1);
  EXPECT_TRUE(w.containsKey(common, (1000u << 8) | 1));
  EXPECT_TRUE(w.containsKey(common, (1799u << 8) | 1));
  f.db->pages().rollback();
}

TEST(IndexWriter, RefusesDuplicatesAndOversizedKeys) {
  WriterFixture f("testv2000.mdb", "Table1", "B");
  ASSERT_FALSE(f.original.empty());
  f.db->pages().beginTransaction();
  IndexWriter w = f.writer();
  EXPECT_THROW(w.insert(f.original[0].first, f.original[0].second), EngineError);
  EXPECT_THROW(w.insert(Bytes(kMaxIndexKeySize + 1, 0x7f), 0x500), EngineError);
  EXPECT_THROW(w.insert(Bytes{}, 0x500), EngineError);
  f.db->pages().rollback();
}

TEST(IndexWriter, NeedsAnOpenTransaction) {
  WriterFixture f("testv2000.mdb", "Table1", "B");
  IndexWriter w = f.writer();
  EXPECT_THROW(w.insert(textKey(u"x"), 0x500), EngineError);
}

}  // namespace
}  // namespace kevra
