// Reading through indexes: the cursor against the tree walk, every seekable
// WHERE form and ORDER BY against a full scan of the same generated table
// (duplicates, NULLs, text in several scripts, descending and multi-column
// keys), the plan naming the index, relationship checks and COUNT(*) inside a
// transaction, index joins and TOP n without an index.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/format/value_text.h"
#include "engine/index/index_cursor.h"
#include "engine/index/index_key_encoder.h"
#include "engine/index/index_reader.h"
#include "engine/sql/local_services.h"
#include "engine/sql/row_ordering.h"
#include "engine/sql/spilling_sorter.h"
#include "engine/sql/statement_runner.h"
#include "engine/storage/memory_file_system.h"
#include "engine/storage/page_file.h"
#include "engine/table/database.h"
#include "engine/table/database_creator.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"

using namespace kevra;
using kevra::sql::OrderItem;

namespace {

const char* kWords[] = {"alpha", "Alpha", "ALPHA", "écho", "Echo", "Ωμέγα", "ωμέγα", "Мир", "мир", "北京",
                        "São", "sao", "Łódź", "a-b", "ab", "straße", "İzmir", "zulu", "Zulu", "alpha "};

class IndexedTable : public ::testing::Test {
 protected:
  void SetUp() override {
    createDatabase(fs_, "/t.mdb");
    db_ = Database::open("/t.mdb", OpenOptions{false, "", &fs_});
    run("CREATE TABLE T (id COUNTER PRIMARY KEY, n LONG, d DOUBLE, s TEXT(40), g LONG, h TEXT(20), q LONG)");
    run("CREATE INDEX n_idx ON T (n)");
    run("CREATE INDEX d_desc ON T (d DESC)");
    run("CREATE INDEX s_idx ON T (s)");
    run("CREATE INDEX gh_idx ON T (g, h DESC)");
    std::mt19937 rng(7);
    TableWriter writer(db_);
    writer.begin();
    for (int i = 0; i < 2500; ++i) {
      auto maybe = [&](const std::string& v) { return rng() % 10 == 0 ? std::string("NULL") : v; };
      const std::string n = maybe(std::to_string(int(rng() % 400) - 200));
      const std::string d = maybe(std::to_string(double(int(rng() % 2000) - 1000) / 8.0));
      const std::string s = maybe("'" + std::string(kWords[rng() % 20]) + (rng() % 2 ? " " + std::to_string(rng() % 30) : "") + "'");
      const std::string g = std::to_string(rng() % 12);
      const std::string h = maybe("'" + std::string(kWords[rng() % 20]) + "'");
      runStatement(db_, "INSERT INTO T (n, d, s, g, h, q) VALUES (" + n + ", " + d + ", " + s + ", " + g + ", " + h +
                            ", " + std::to_string(rng() % 50) + ")", &writer);
    }
    writer.commit();
  }

  long run(const std::string& sql) {
    LocalServices local(db_);
    return runStatement(db_, sql, local.services()).rowsAffected;
  }

  std::vector<std::string> rows(const std::string& sql) {
    auto result = runStatement(db_, sql).rows;
    std::vector<std::string> out;
    std::vector<std::vector<Value>> block;
    for (uint64_t at = 0; result->fetch(at, 500, block) > 0; at += block.size())
      for (const auto& r : block) {
        std::string line;
        for (const auto& v : r) line += valueToText(v) + "|";
        out.push_back(line);
      }
    return out;
  }

  std::string plan(const std::string& sql) {
    std::string out;
    for (const auto& line : explainStatement(db_, sql)) out += line + "\n";
    return out;
  }

  MemoryFileSystem fs_;
  std::shared_ptr<Database> db_;
};

}  // namespace

TEST_F(IndexedTable, CursorSeeksAndWalksBothWaysAsTheTreeOrders) {
  auto table = db_->table("T");
  for (size_t i = 0; i < table->realIndexes.size(); ++i) {
    IndexReader reader(db_->pages(), *table, table->realIndexes[i], "index");
    std::vector<Bytes> all;
    IndexEntry e;
    while (reader.next(e)) {
      Bytes whole = e.key;
      appendRowPointer(e.page, e.row, whole);
      all.push_back(whole);
    }
    ASSERT_TRUE(std::is_sorted(all.begin(), all.end(), [](const Bytes& a, const Bytes& b) { return entryLess(a, b); }));
    IndexCursor cursor(db_->pages(), table->realIndexes[i], "index");
    std::vector<Bytes> backward;
    cursor.seekLast();
    while (cursor.previous(e)) {
      backward.push_back(e.key);
      appendRowPointer(e.page, e.row, backward.back());
    }
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, all) << "index " << i;
    std::mt19937 rng{unsigned(i)};
    for (int probe = 0; probe < 200; ++probe) {
      Bytes bound = all[rng() % all.size()];
      bound.resize(rng() % (bound.size() + 1));  // a key prefix, a whole key, or nothing
      if (!bound.empty() && probe % 3 == 0) bound.back() = uint8_t(bound.back() + 1);
      const size_t at = size_t(std::lower_bound(all.begin(), all.end(), bound,
                                                [](const Bytes& a, const Bytes& b) { return entryLess(a, b); }) -
                               all.begin());
      cursor.seek(bound);
      if (at < all.size()) {
        ASSERT_TRUE(cursor.next(e));
        EXPECT_EQ(e.rowLocation(), (uint32_t(readEntryPointerPage(ByteSpan(all[at]).last(4))) << 8) | all[at].back());
        ASSERT_TRUE(cursor.previous(e));  // steps back over the same entry
        ASSERT_EQ(at > 0, cursor.previous(e));
        if (at > 0) EXPECT_EQ(e.rowLocation(), (readEntryPointerPage(ByteSpan(all[at - 1]).last(4)) << 8) | all[at - 1].back());
      } else {
        EXPECT_FALSE(cursor.next(e));
      }
    }
  }
}

TEST_F(IndexedTable, EverySeekableFormGivesWhatAScanGives) {
  struct Case {
    std::string where;
    std::string index;
  };
  const std::vector<Case> cases = {
      {"n = 17", "n_idx"},
      {"n = -200", "n_idx"},
      {"n IN (3, -4, 3, 150, 99999)", "n_idx"},
      {"n > 150", "n_idx"},
      {"n >= 150 AND n < 170", "n_idx"},
      {"n <= -190", "n_idx"},
      {"-190 >= n", "n_idx"},
      {"n BETWEEN -5 AND 5", "n_idx"},
      {"n = '17'", "n_idx"},
      {"d = 12.5", "d_desc"},
      {"d > 100", "d_desc"},
      {"d >= -3.25 AND d <= 2", "d_desc"},
      {"d < -120 AND q = 3", "d_desc"},
      {"s = 'alpha'", "s_idx"},
      {"s = 'ALPHA 7'", "s_idx"},
      {"s = 'ωμέγα'", "s_idx"},
      {"s = 'мир 12'", "s_idx"},
      {"s = 'sao'", "s_idx"},
      {"s = 'ab'", "s_idx"},
      {"s IN ('Echo', 'zulu 3', '北京')", "s_idx"},
      {"s LIKE 'al*'", "s_idx"},
      {"s LIKE 'Ω*'", "s_idx"},
      {"s LIKE 'мир 1*'", "s_idx"},
      {"s LIKE 'a-*'", "s_idx"},
      {"s LIKE 'alpha *'", "s_idx"},
      {"g = 4", "gh_idx"},
      {"g = 4 AND h = 'alpha'", "gh_idx"},
      {"g IN (1, 2) AND h = 'Мир'", "gh_idx"},
      {"g = 7 AND h LIKE 'z*'", "gh_idx"},
      {"id = 777", "PrimaryKey"},
      {"id > 2490", "PrimaryKey"},
  };
  size_t found = 0;
  for (const Case& c : cases) {
    const std::string seek = "SELECT * FROM T WHERE " + c.where;
    const std::string scan = "SELECT * FROM T WHERE (" + c.where + ") OR 1 = 0";
    EXPECT_NE(plan(seek).find("index '" + c.index + "'"), std::string::npos) << c.where << "\n" << plan(seek);
    EXPECT_NE(plan(scan).find("scan"), std::string::npos) << c.where;
    const auto expected = rows(scan);
    EXPECT_EQ(rows(seek), expected) << c.where;
    EXPECT_EQ(run("UPDATE T SET q = q WHERE " + c.where), long(expected.size())) << c.where;
    EXPECT_EQ(rows("SELECT COUNT(*), SUM(q) FROM T WHERE " + c.where),
              rows("SELECT COUNT(*), SUM(q) FROM T WHERE (" + c.where + ") OR 1 = 0"))
        << c.where;
    found += expected.empty() ? 0 : 1;
  }
  EXPECT_GE(found, cases.size() - 2);  // the generated rows answer nearly every form
}

TEST_F(IndexedTable, OrderByAnIndexReadsItInOrderAndMatchesTheSort) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ORDER BY n", "ORDER BY n + 0"},
      {"ORDER BY d DESC", "ORDER BY d + 0 DESC"},
      {"ORDER BY s", "ORDER BY s & ''"},
      {"ORDER BY g, h DESC", "ORDER BY g + 0, h & '' DESC"},
  };
  for (const auto& [indexed, sorted] : cases) {
    EXPECT_NE(plan("SELECT TOP 5 id FROM T " + indexed).find("in order"), std::string::npos) << indexed;
    EXPECT_NE(plan("SELECT TOP 5 id FROM T " + sorted).find("best 5 kept"), std::string::npos) << sorted;
    const auto expected = rows("SELECT id, n, d, s FROM T " + sorted);
    EXPECT_EQ(rows("SELECT id, n, d, s FROM T " + indexed), expected) << indexed;
    const auto top = rows("SELECT TOP 13 id, n, d, s FROM T " + indexed);
    EXPECT_EQ(top, std::vector<std::string>(expected.begin(), expected.begin() + 13)) << indexed;
    EXPECT_EQ(rows("SELECT TOP 13 id, n, d, s FROM T " + sorted), top) << sorted;
  }
  // A WHERE on the ordering index reads only its range, still in order.
  EXPECT_NE(plan("SELECT * FROM T WHERE s LIKE 'a*' ORDER BY s").find("(s LIKE), in order"), std::string::npos);
  EXPECT_EQ(rows("SELECT id FROM T WHERE s LIKE 'a*' ORDER BY s"),
            rows("SELECT id FROM T WHERE s LIKE 'a*' OR 1 = 0 ORDER BY s & ''"));
  // Direction must match: the ascending index does not serve a descending order.
  EXPECT_EQ(plan("SELECT id FROM T ORDER BY n DESC"), "table 'T': scan\norder: sort\n");
}

TEST_F(IndexedTable, StatementsInATransactionSeeTheirOwnRowsThroughIndexes) {
  TableWriter writer(db_);
  writer.begin();
  runStatement(db_, "INSERT INTO T (n, s, g) VALUES (987654, 'fresh Ключ', 1)", &writer);
  EXPECT_EQ(rows("SELECT s FROM T WHERE n = 987654"), std::vector<std::string>{"fresh Ключ|"});
  EXPECT_EQ(rows("SELECT n FROM T WHERE s = 'FRESH ключ'"), std::vector<std::string>{"987654|"});
  EXPECT_EQ(rows("SELECT COUNT(*) FROM T"), std::vector<std::string>{"2501|"});
  EXPECT_EQ(runStatement(db_, "UPDATE T SET n = 5 WHERE n = 987654", &writer).rowsAffected, 1);
  EXPECT_TRUE(rows("SELECT s FROM T WHERE n = 987654").empty());
  EXPECT_EQ(runStatement(db_, "DELETE FROM T WHERE s = 'fresh ключ'", &writer).rowsAffected, 1);
  writer.rollback();
  EXPECT_EQ(rows("SELECT COUNT(*) FROM T"), std::vector<std::string>{"2500|"});
  EXPECT_EQ(plan("SELECT COUNT(*) FROM T"), "table 'T': stored row count\n");
  EXPECT_EQ(plan("SELECT COUNT(*) FROM T WHERE n = 3"), "table 'T': index 'n_idx' (n =), grouped in memory\n");
}

TEST_F(IndexedTable, RelationshipsAndJoinsGoThroughTheIndexes) {
  run("CREATE TABLE Kid (id COUNTER PRIMARY KEY, parent LONG, CONSTRAINT up FOREIGN KEY (parent) REFERENCES T (id))");
  TableWriter writer(db_);
  writer.begin();
  // A parent inserted earlier in the same transaction is found through the key.
  runStatement(db_, "INSERT INTO T (n, g) VALUES (1, 1)", &writer);
  runStatement(db_, "INSERT INTO Kid (parent) VALUES (2501)", &writer);
  for (int i = 1; i <= 40; ++i)
    runStatement(db_, "INSERT INTO Kid (parent) VALUES (" + std::to_string(i * 37 % 2500 + 1) + ")", &writer);
  writer.commit();
  EXPECT_THROW(run("INSERT INTO Kid (parent) VALUES (2502)"), EngineError);
  EXPECT_THROW(run("DELETE FROM T WHERE id = 2501"), EngineError);
  EXPECT_EQ(run("DELETE FROM T WHERE id = 2500"), 1);  // nothing refers to it

  // Few rows joined to many: each key is looked up; the result is the hash join's.
  const std::string join = "SELECT Kid.id, T.id, T.s FROM Kid INNER JOIN T ON Kid.parent = T.id";
  EXPECT_NE(plan(join).find("lookup per row through index 'PrimaryKey' of table 'T'"), std::string::npos) << plan(join);
  EXPECT_EQ(rows(join), rows("SELECT Kid.id, T.id, T.s FROM Kid INNER JOIN T ON Kid.parent = T.id + 0"));
  const std::string left = "SELECT Kid.id, T.n FROM Kid LEFT JOIN T ON Kid.parent = T.n";
  EXPECT_EQ(rows(left), rows("SELECT Kid.id, T.n FROM Kid LEFT JOIN T ON Kid.parent = T.n + 0"));
}

TEST(SpillingSorter, BatchesInFilesMergeToTheStableSortsOrder) {
  std::vector<OrderItem> orderBy(2);
  orderBy[1].descending = true;
  std::mt19937 rng(3);
  std::vector<std::vector<Value>> keys;
  for (int i = 0; i < 5000; ++i) {
    Value first = rng() % 7 == 0 ? Value{} : Value(std::string(kWords[rng() % 20]));
    Value second = rng() % 3 == 0 ? Value(double(rng() % 5) / 2) : Value(int32_t(rng() % 5));
    keys.push_back({first, second});
  }
  std::vector<size_t> order(keys.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  sql::sortByKeys(order, keys, orderBy);
  sql::SpillingSorter sorter(orderBy, 16 * 1024);
  for (size_t i = 0; i < keys.size(); ++i) sorter.add(i, keys[i]);
  const std::vector<uint64_t> sorted = sorter.finish();
  EXPECT_GT(sorter.filesWritten(), 0u);
  EXPECT_EQ(sorted, std::vector<uint64_t>(order.begin(), order.end()));
}
