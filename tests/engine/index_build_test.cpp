// Building indexes from unsorted keys in bounded memory: the sorter's runs in
// a scratch file merge back into entry order, and indexes several levels
// deep come out whole, as checked by kevra-cli check.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "engine/format/value_text.h"
#include "engine/index/index_entry_sorter.h"
#include "engine/index/index_page.h"
#include "engine/storage/memory_file_system.h"
#include "engine/table/schema_writer.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

struct Given {
  Bytes entry;
  bool anyNull;
};

std::vector<Given> randomEntries(size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Given> out;
  for (size_t i = 0; i < count; ++i) {
    Given g{Bytes(5 + rng() % 60), rng() % 7 == 0};
    // Few distinct bytes, so many entries share long prefixes (the sort's
    // first sixteen bytes do not decide) and some are prefixes of others.
    for (auto& b : g.entry) b = uint8_t(rng() % 3);
    out.push_back(std::move(g));
  }
  return out;
}

std::vector<Given> drain(IndexEntrySorter& sorter) {
  std::vector<Given> out;
  ByteSpan entry;
  bool anyNull;
  while (sorter.next(entry, anyNull)) out.push_back({Bytes(entry.begin(), entry.end()), anyNull});
  return out;
}

bool sameEntries(const std::vector<Given>& a, const std::vector<Given>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const Given& x, const Given& y) { return x.entry == y.entry && x.anyNull == y.anyNull; });
}

}  // namespace

TEST(IndexEntrySorter, RunsSpilledPastTheBudgetMergeIntoEntryOrder) {
  for (size_t budget : {size_t(64) << 10, size_t(64) << 20}) {
    MemoryFileSystem fs;
    IndexEntrySorter sorter(fs, "/db/file.mdb", budget);
    auto given = randomEntries(40000, 7);
    for (const auto& g : given) sorter.add(ByteSpan(g.entry.data(), g.entry.size()), g.anyNull);
    sorter.finish();
    EXPECT_EQ(sorter.runs() > 1, budget < (size_t(1) << 20)) << sorter.runs();
    std::stable_sort(given.begin(), given.end(), [](const Given& a, const Given& b) {
      return entryLess(ByteSpan(a.entry.data(), a.entry.size()), ByteSpan(b.entry.data(), b.entry.size()));
    });
    const auto out = drain(sorter);
    ASSERT_EQ(out.size(), given.size());
    // Equal entries may come in either order, with their flags: the flags
    // are compared by count.
    EXPECT_EQ(std::count_if(out.begin(), out.end(), [](const Given& g) { return g.anyNull; }),
              std::count_if(given.begin(), given.end(), [](const Given& g) { return g.anyNull; }));
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i].entry, given[i].entry) << i;
  }
}

// Entries in order go to the scratch file as they come, as one run, and
// one out of order after them still finds its place.
TEST(IndexEntrySorter, EntriesGivenInOrderAreWrittenAsTheyComeAndComeBackAsGiven) {
  MemoryFileSystem fs;
  IndexEntrySorter sorter(fs, "/db/file.mdb", size_t(64) << 10);
  std::vector<Given> given;
  for (uint32_t i = 0; i < 30000; ++i) {
    Bytes key{0x7F, uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i), 0, 0, uint8_t(i % 200 + 1), 0};
    given.push_back({key, i % 5 == 0});
    sorter.add(ByteSpan(key.data(), key.size()), i % 5 == 0);
  }
  sorter.finish();
  EXPECT_EQ(sorter.runs(), 1u);
  EXPECT_TRUE(sameEntries(drain(sorter), given));

  for (size_t count : {size_t(100), size_t(30000)}) {  // in the buffer only, or in the file
    IndexEntrySorter late(fs, "/db/file.mdb", size_t(64) << 10);
    for (size_t i = 1; i < count; ++i) late.add(ByteSpan(given[i].entry.data(), given[i].entry.size()), false);
    late.add(ByteSpan(given[0].entry.data(), given[0].entry.size()), true);
    late.finish();
    const auto out = drain(late);
    ASSERT_EQ(out.size(), count);
    EXPECT_EQ(out.front().entry, given[0].entry);
    EXPECT_TRUE(out.front().anyNull);
    EXPECT_EQ(out.back().entry, given[count - 1].entry);
  }
}

TEST(IndexEntrySorter, TheScratchFileLeavesNoTraceInTheFolder) {
  const auto folder = std::filesystem::temp_directory_path() / ("kevra-sorter-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  {
    IndexEntrySorter sorter(realFileSystem(), (folder / "file.mdb").string(), size_t(64) << 10);
    for (const auto& g : randomEntries(20000, 3)) sorter.add(ByteSpan(g.entry.data(), g.entry.size()), g.anyNull);
    sorter.finish();
    EXPECT_GT(sorter.runs(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(folder));  // unnamed while in use
    EXPECT_EQ(drain(sorter).size(), 20000u);
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  std::filesystem::remove_all(folder);
}

// Keys of 200 characters that differ early (no long prefix shared on a
// page) put a dozen or so entries on a page: 12,000 rows need leaves, two
// levels of nodes above them and the root, all filled from runs
// merged out of the scratch file.
TEST(IndexBuild, ALongKeyIndexSeveralLevelsDeepIsWholeAndSeeksItsRows) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  {
    TableWriter writer(db);
    SchemaWriter schema(db, writer);
    ColumnSpec c;
    c.name = "Long";
    c.type = ColumnType::Text;
    c.length = 2 * 255;
    schema.createTable("Wide", {c});
  }
  {
    TableWriter writer(db);
    writer.begin();
    for (int i = 0; i < 12000; ++i) {
      const int k = (i * 7919) % 12000;
      runStatement(db, "INSERT INTO Wide (Long) VALUES ('" + std::to_string(100000 + k) + std::string(190, 'x') + "')",
                   &writer);
    }
    writer.commit();
  }
  {
    TableWriter writer(db);
    SchemaWriter schema(db, writer);
    schema.setIndexBuildBudget(size_t(256) << 10);
    IndexSpec spec;
    spec.name = "ByLong";
    spec.columns.push_back({"Long", false});
    spec.unique = true;
    schema.createIndex("Wide", spec);
  }
  const auto count = runStatement(db, "SELECT COUNT(*) FROM Wide WHERE Long = '105000" + std::string(190, 'x') + "'",
                                  nullptr);
  std::vector<std::vector<Value>> rows;
  count.rows->fetch(0, 1, rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(valueToText(rows[0][0]), "1");
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
}
