// Reading rows: overflow pointers and deleted slots, positions reached by
// seek agreeing with a sequential scan, long values in every storage kind.
#include <gtest/gtest.h>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/format/value_text.h"
#include "sample_files.h"

using namespace kevra;
using kevra::test::sample;

namespace {

std::vector<std::vector<Value>> readAll(const std::shared_ptr<Database>& db, const std::string& table) {
  auto cursor = db->openCursor(db->table(table));
  std::vector<std::vector<Value>> rows;
  std::vector<Value> row;
  while (cursor->next(row)) rows.push_back(row);
  return rows;
}

}  // namespace

TEST(TableScan, FollowsOverflowRowsAndSkipsDeletedSlots) {
  auto db = Database::open(sample("overflowtestv2000.mdb"));
  auto rows = readAll(db, "Table1");
  EXPECT_EQ(rows.size(), 7u);
  EXPECT_EQ(db->openCursor(db->table("Table1"))->countRows(), 7u);
  auto pipes = Database::open(sample("catesri_test.mdb"));
  EXPECT_EQ(readAll(pipes, "my_pipelines").size(), 3441u);
  EXPECT_EQ(pipes->openCursor(pipes->table("my_teapot_wells"))->countRows(), 2111u);
}

TEST(TableScan, SeekReachesTheSameRowsAsAScan) {
  auto db = Database::open(sample("catesri_test.mdb"));
  auto all = readAll(db, "my_pipelines");
  auto cursor = db->openCursor(db->table("my_pipelines"));
  std::vector<Value> row;
  // Jump forward, back, to the last row, and past the end.
  for (uint64_t pos : {3000ull, 5ull, 0ull, 1717ull, 3440ull, 1ull}) {
    ASSERT_TRUE(cursor->seek(pos)) << pos;
    ASSERT_TRUE(cursor->next(row)) << pos;
    EXPECT_EQ(row, all[pos]) << pos;
    EXPECT_EQ(cursor->position(), pos + 1);
  }
  cursor->seek(3441);
  EXPECT_FALSE(cursor->next(row));
  EXPECT_FALSE(cursor->seek(5000));
  EXPECT_EQ(cursor->countRows(), 3441u);
}

TEST(TableScan, DecodesEveryBasicType) {
  auto db = Database::open(sample("testv2000.mdb"));
  auto rows = readAll(db, "Table1");
  ASSERT_EQ(rows.size(), 2u);
  const auto& r = rows[0];
  EXPECT_EQ(std::get<std::string>(r[0]), "abcdefg");  // compressed
  EXPECT_EQ(std::get<std::string>(r[1]), "hijklmnop");
  EXPECT_EQ(std::get<uint8_t>(r[2]), 2);
  EXPECT_EQ(std::get<int16_t>(r[3]), 222);
  EXPECT_EQ(std::get<int32_t>(r[4]), 333333333);
  EXPECT_DOUBLE_EQ(std::get<double>(r[5]), 444.555);
  EXPECT_EQ(dateTimeToIso(std::get<DateTime>(r[6])), "1974-09-21T00:00:00");
  EXPECT_EQ(std::get<Currency>(r[7]).scaled, 35000);
  EXPECT_TRUE(std::get<bool>(r[8]));
  EXPECT_FALSE(std::get<bool>(rows[1][8]));
}

TEST(LongValues, InlineSinglePageAndChains) {
  auto db = Database::open(sample("test2v2000.mdb"));
  auto t = db->table("MSP_PROJECTS");
  auto rows = readAll(db, "MSP_PROJECTS");
  ASSERT_EQ(rows.size(), 1u);
  size_t oleSize = 0, longestMemo = 0;
  for (size_t i = 0; i < t->columns.size(); ++i) {
    if (auto* b = std::get_if<Binary>(&rows[0][i]); b && t->columns[i].type == ColumnType::OLE) oleSize = b->size();
    if (auto* s = std::get_if<std::string>(&rows[0][i]); s && t->columns[i].type == ColumnType::Memo)
      longestMemo = std::max(longestMemo, s->size());
  }
  EXPECT_EQ(oleSize, 22970u);  // a chain over six pages
  EXPECT_GT(longestMemo, 64u);  // stored in its own page row

  auto word = Database::open(sample("testaccess2_2000.mdb"));
  auto wt = word->table("Table1");
  bool sawDocument = false;
  for (auto& row : readAll(word, "Table1"))
    for (size_t i = 0; i < wt->columns.size(); ++i)
      if (auto* b = std::get_if<Binary>(&row[i]); b && b->size() == 121036) sawDocument = true;
  EXPECT_TRUE(sawDocument);
}

TEST(TableScan, NonLatinTextAndDecimalValues) {
  auto db = Database::open(sample("testunicodecompv2003.mdb"));
  auto rows = readAll(db, "Table");
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(std::get<std::string>(rows[2][1]), "Мир");
  EXPECT_EQ(std::get<std::string>(rows[4][1]), "漢字仮名交じり文");

  auto dec = Database::open(sample("fixednumerictestv2000.mdb"));
  auto drows = readAll(dec, "test");
  ASSERT_EQ(drows.size(), 1u);
  EXPECT_EQ(valueToText(drows[0][5]), "-1");
  EXPECT_EQ(valueToText(drows[0][4]), "4");
}
