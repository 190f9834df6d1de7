// Index upkeep for whole rows: required and unique rules with their
// messages, and entries added and removed for every index of a table.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/index/index_reader.h"
#include "engine/index/table_index_set.h"
#include "engine/util/error.h"
#include "index_test_files.h"

namespace kevra {
namespace {

struct RowAt {
  std::vector<Value> values;
  uint32_t location;
};

std::vector<RowAt> rowsOf(const std::shared_ptr<Database>& db, const std::string& table) {
  TableCursor cursor(db, db->table(table));
  std::vector<RowAt> rows;
  std::vector<Value> row;
  while (cursor.next(row)) rows.push_back({row, cursor.lastLocation()});
  return rows;
}

size_t columnIndex(const TableDef& t, const std::string& name) { return size_t(t.findColumn(name) - t.columns.data()); }

std::string messageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "";
}

std::shared_ptr<Database> openWritable(const std::string& path) {
  OpenOptions o;
  o.readOnly = false;
  return Database::open(path, o);
}

size_t entryCount(const Database& db, const TableDef& t, size_t real) {
  IndexReader reader(db.pages(), t, t.realIndexes[real], "index");
  IndexEntry e;
  size_t n = 0;
  while (reader.next(e)) ++n;
  return n;
}

TEST(TableIndexSet, UniqueKeysAreRefusedCaseInsensitivelyExceptForTheRowItself) {
  auto db = Database::open(test::sample("testv2000.mdb"));
  auto table = db->table("Table1");
  auto rows = rowsOf(db, "Table1");
  ASSERT_FALSE(rows.empty());
  TableIndexSet set(db->pages(), *table);
  const RowAt& existing = rows.front();
  std::string message = messageOf([&] { set.checkRow(existing.values); });
  EXPECT_NE(message.find("'A'"), std::string::npos) << message;
  EXPECT_NE(message.find("index 'PrimaryKey' of table 'Table1'"), std::string::npos) << message;
  EXPECT_NO_THROW(set.checkRow(existing.values, existing.location));

  std::vector<Value> shouted = existing.values;
  auto& a = std::get<std::string>(shouted[columnIndex(*table, "A")]);
  for (auto& ch : a) ch = char(std::toupper(static_cast<unsigned char>(ch)));
  EXPECT_THROW(set.checkRow(shouted), EngineError);

  std::vector<Value> fresh = existing.values;
  fresh[columnIndex(*table, "A")] = std::string("a value no row has");
  EXPECT_NO_THROW(set.checkRow(fresh));
}

TEST(TableIndexSet, RequiredIndexesRefuseNulls) {
  auto db = Database::open(test::sample("testv2000.mdb"));
  auto table = db->table("Table1");
  auto rows = rowsOf(db, "Table1");
  TableIndexSet set(db->pages(), *table);
  std::vector<Value> row = rows.front().values;
  row[columnIndex(*table, "A")] = std::monostate{};
  std::string message = messageOf([&] { set.checkRow(row); });
  EXPECT_NE(message.find("cannot be empty"), std::string::npos) << message;
  EXPECT_NE(message.find("'A'"), std::string::npos) << message;
}

TEST(TableIndexSet, AddAndRemoveTouchEveryIndexOnce) {
  test::PatchableCopy copy("testv2000.mdb");
  auto db = openWritable(copy.path());
  auto table = db->table("Table1");
  auto rows = rowsOf(db, "Table1");
  std::vector<size_t> before;
  for (size_t i = 0; i < table->realIndexes.size(); ++i) before.push_back(entryCount(*db, *table, i));

  std::vector<Value> fresh = rows.front().values;
  fresh[columnIndex(*table, "A")] = std::string("zz new key");
  const uint32_t location = (4000u << 8) | 2;
  db->pages().beginTransaction();
  {
    TableIndexSet set(db->pages(), *table);
    set.checkRow(fresh);
    set.add(fresh, location);
    EXPECT_THROW(set.checkRow(fresh), EngineError);  // now a duplicate
    EXPECT_NO_THROW(set.checkRow(fresh, location));
  }
  db->pages().commit();
  for (size_t i = 0; i < table->realIndexes.size(); ++i) EXPECT_EQ(entryCount(*db, *table, i), before[i] + 1);

  db->pages().beginTransaction();
  {
    TableIndexSet set(db->pages(), *table);
    set.remove(fresh, location);
    EXPECT_THROW(set.remove(fresh, location), CorruptFileError);
  }
  db->pages().commit();
  db.reset();
  test::CheckRun check = test::runCheck(copy.path());
  EXPECT_EQ(check.status, 0) << check.output;
}

}  // namespace
}  // namespace kevra
