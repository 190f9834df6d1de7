// Reading through indexes: the cursor against the tree walk, every seekable
// WHERE form and ORDER BY against a full scan of the same generated table
// (duplicates, NULLs, text in several scripts, descending and multi-column
// keys), the plan naming the index, relationship checks and COUNT(*) inside a
// transaction, index joins and TOP n without an index.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "engine/format/value_text.h"
#include "engine/index/index_cursor.h"
#include "engine/index/index_key_encoder.h"
#include "engine/index/index_reader.h"
#include "engine/sql/index_result_set.h"
#include "engine/sql/local_services.h"
#include "engine/sql/row_ordering.h"
#include "engine/sql/spilling_sorter.h"
#include "engine/sql/statement_runner.h"
#include "engine/storage/memory_file_system.h"
#include "engine/storage/page_file.h"
#include "engine/table/database.h"
#include "engine/table/database_creator.h"
#include "engine/table/file_check.h"
#include "engine/table/schema_writer.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"
#include "write_test_support.h"

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
      bound.resize(rng() % (bound.size() - kRowPointerSize + 1));  // a key prefix, a whole key, or nothing
      if (!bound.empty() && probe % 3 == 0) bound.back() = uint8_t(bound.back() + 1);
      const size_t at = size_t(std::lower_bound(all.begin(), all.end(), bound,
                                                [](const Bytes& e, const Bytes& key) { return entryBelowKey(e, key); }) -
                               all.begin());
      cursor.seek(bound);
      IndexCursor fresh(db_->pages(), table->realIndexes[i], "index");
      fresh.seek(bound);
      fresh.next(e);
      EXPECT_LE(fresh.pagesRead(), 4u);  // one descent (at most three levels here), perhaps one leaf hop
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
  // A WHERE on another index wins; its rows are sorted (the best n for TOP n).
  EXPECT_EQ(plan("SELECT TOP 4 id FROM T WHERE n > 190 ORDER BY s"),
            "table 'T': index 'n_idx' (n range)\norder: sort, best 4 kept\n");
  EXPECT_EQ(rows("SELECT TOP 4 id, s FROM T WHERE n > 190 ORDER BY s"),
            rows("SELECT TOP 4 id, s FROM T WHERE n > 190 OR 1 = 0 ORDER BY s"));
  // Direction must match: the ascending index does not serve a descending order.
  EXPECT_EQ(plan("SELECT id FROM T ORDER BY n DESC"), "table 'T': scan\norder: sort\n");
}

TEST_F(IndexedTable, EveryRowInIndexOrderIsCountedAtOnceAndItsLastRowsReadFromTheEnd) {
  const auto text = [](const std::vector<std::vector<Value>>& block) {
    std::vector<std::string> out;
    for (const auto& r : block) {
      std::string line;
      for (const auto& v : r) line += valueToText(v) + "|";
      out.push_back(line);
    }
    return out;
  };
  for (const std::string order : {"ORDER BY n", "ORDER BY d DESC", "ORDER BY s", "ORDER BY g, h DESC"}) {
    const std::vector<std::string> expected = rows("SELECT * FROM T " + order);
    ASSERT_EQ(expected.size(), 2500u) << order;
    // A fresh result reads its last rows, a middle stretch and then its
    // first rows, each matching what a walk from the start gives.
    auto result = runStatement(db_, "SELECT * FROM T " + order).rows;
    auto* indexed = dynamic_cast<sql::IndexResultSet*>(result.get());
    ASSERT_NE(indexed, nullptr) << order;
    EXPECT_EQ(indexed->knownRowCount(), std::optional<uint64_t>(2500)) << order;
    std::vector<std::vector<Value>> block;
    EXPECT_EQ(result->fetch(2450, 100, block), 50u) << order;
    EXPECT_EQ(text(block), std::vector<std::string>(expected.begin() + 2450, expected.end())) << order;
    EXPECT_EQ(result->rowLocation(2499).has_value(), true) << order;
    EXPECT_EQ(result->rowLocation(2500), std::nullopt) << order;
    EXPECT_EQ(result->fetch(1300, 20, block), 20u) << order;
    EXPECT_EQ(text(block), std::vector<std::string>(expected.begin() + 1300, expected.begin() + 1320)) << order;
    EXPECT_EQ(result->fetch(0, 10, block), 10u) << order;
    EXPECT_EQ(text(block), std::vector<std::string>(expected.begin(), expected.begin() + 10)) << order;
    EXPECT_EQ(result->rowCount(), 2500u) << order;
  }
  // A condition leaves the count to be walked.
  auto filtered = runStatement(db_, "SELECT * FROM T WHERE q > 10 ORDER BY n").rows;
  ASSERT_NE(dynamic_cast<sql::IndexResultSet*>(filtered.get()), nullptr);
  EXPECT_EQ(dynamic_cast<sql::IndexResultSet*>(filtered.get())->knownRowCount(), std::nullopt);
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

TEST(SpillingSorter, PayloadsTravelWithTheirKeysThroughSpilledBatches) {
  std::vector<OrderItem> orderBy(2);
  orderBy[0].descending = true;
  std::mt19937 rng(5);
  std::vector<std::vector<Value>> keys;
  for (int i = 0; i < 4000; ++i)
    keys.push_back({rng() % 5 == 0 ? Value{} : Value(std::string(kWords[rng() % 20])), Value(int32_t(rng() % 3))});
  std::vector<size_t> order(keys.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  sql::sortByKeys(order, keys, orderBy);
  for (size_t budget : {size_t(16 * 1024), sql::SpillingSorter::kDefaultBudget}) {
    sql::SpillingSorter sorter(orderBy, budget);
    for (size_t i = 0; i < keys.size(); ++i) {
      const std::string text = "row " + std::to_string(i);  // payload sizes differ
      sorter.add(i, keys[i], Bytes(text.begin(), text.end()));
    }
    std::vector<uint64_t> ids;
    sorter.finish([&](uint64_t id, const Bytes& payload) {
      ids.push_back(id);
      EXPECT_EQ(std::string(payload.begin(), payload.end()), "row " + std::to_string(id));
    });
    EXPECT_EQ(sorter.filesWritten() > 0, budget < sql::SpillingSorter::kDefaultBudget);
    EXPECT_EQ(ids, std::vector<uint64_t>(order.begin(), order.end()));
  }
}

namespace {

// More key types, a descending numeric column followed by another, and a
// text primary key referred to by a relationship.
class TypedKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    createDatabase(fs_, "/k.mdb");
    db_ = Database::open("/k.mdb", OpenOptions{false, "", &fs_});
    run("CREATE TABLE K (id COUNTER PRIMARY KEY, b BYTE, i SHORT, c CURRENCY, t DATETIME, f SINGLE, "
        "m DECIMAL(12, 3), p LONG, r LONG)");
    for (const char* column : {"b", "i", "c", "t", "f", "m"})
      run(std::string("CREATE INDEX ") + column + "_idx ON K (" + column + ")");
    run("CREATE INDEX pr_idx ON K (p DESC, r)");
    std::mt19937 rng(11);
    TableWriter writer(db_);
    writer.begin();
    for (int k = 0; k < 1500; ++k) {
      auto maybe = [&](const std::string& v) { return rng() % 12 == 0 ? std::string("NULL") : v; };
      const int day = int(rng() % 60);
      runStatement(db_, "INSERT INTO K (b, i, c, t, f, m, p, r) VALUES (" + maybe(std::to_string(rng() % 256)) + ", " +
                            maybe(std::to_string(int(rng() % 2000) - 1000)) + ", " +
                            maybe(std::to_string(int(rng() % 4000) - 2000) + "." + std::to_string(rng() % 10000)) +
                            ", " + maybe("#2024-01-" + std::to_string(1 + day % 28) + " " + std::to_string(rng() % 24) + ":30#") +
                            ", " + maybe(std::to_string(double(int(rng() % 400) - 200) / 4)) + ", " +
                            maybe(std::to_string(int(rng() % 20000) - 10000) + "." + std::to_string(rng() % 1000)) + ", " +
                            maybe(std::to_string(rng() % 9)) + ", " + maybe(std::to_string(int(rng() % 100) - 50)) + ")",
                   &writer);
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

TEST_F(TypedKeys, RangesOnEveryNumberTypeAndOnASecondColumnAfterADescendingOne) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"b > 250", "b_idx"},
      {"b BETWEEN 10 AND 12", "b_idx"},
      {"i < -990", "i_idx"},
      {"i IN (-5, 0, 5, 999)", "i_idx"},
      {"c >= 1990", "c_idx"},
      {"c > -5.5 AND c < 5.25", "c_idx"},
      {"t >= #2024-01-27#", "t_idx"},
      {"t BETWEEN #2024-01-03 10:00# AND #2024-01-04#", "t_idx"},
      {"f = 12.25", "f_idx"},
      {"f <= -49.75", "f_idx"},
      {"m > 9900", "m_idx"},
      {"m < -9900.5", "m_idx"},
      {"p = 3", "pr_idx"},
      {"p > 6", "pr_idx"},
      {"p = 3 AND r > 40", "pr_idx"},
      {"p IN (1, 8) AND r BETWEEN -3 AND 3", "pr_idx"},
      {"p = 5 AND r <= -45", "pr_idx"},
  };
  for (const auto& [where, index] : cases) {
    const std::string seek = "SELECT * FROM K WHERE " + where;
    EXPECT_NE(plan(seek).find("index '" + index + "'"), std::string::npos) << where << "\n" << plan(seek);
    const auto expected = rows("SELECT * FROM K WHERE (" + where + ") OR 1 = 0");
    EXPECT_FALSE(expected.empty()) << where;
    EXPECT_EQ(rows(seek), expected) << where;
  }
  EXPECT_EQ(rows("SELECT id FROM K ORDER BY p DESC, r"), rows("SELECT id FROM K ORDER BY p + 0 DESC, r + 0"));
}

TEST_F(TypedKeys, NegativeZeroIsFoundWhereZeroIs) {
  run("INSERT INTO K (f, m, p, r) VALUES (-0.0, -0.0, 1, 0)");
  run("INSERT INTO K (f, m, p, r) VALUES (0, 0, 1, 0)");
  run("UPDATE K SET f = -f, m = -m WHERE r = 0 AND p = 1 AND f = 0");
  for (const std::string where : {"f = 0", "f >= 0", "f <= 0", "f BETWEEN 0 AND 1", "f IN (0, 1)", "m = 0", "m >= 0",
                                  "m > -1 AND m <= 0"}) {
    const auto expected = rows("SELECT id FROM K WHERE (" + where + ") OR 1 = 0");
    EXPECT_GE(expected.size(), 2u) << where;
    EXPECT_EQ(rows("SELECT id FROM K WHERE " + where), expected) << where;
  }
}

TEST_F(TypedKeys, ConstantsWithNoExactKeyFallBackAndStillAnswerRight) {
  // A fraction against whole numbers, NULL, text against a number column:
  // either no index or a superset, and the answer is the scan's.
  for (const std::string where : {"i = 1.5", "i > 1.5 AND i < 4.5", "b = NULL", "b IN (NULL, 7)", "p = '3'",
                                  "i = 3 OR i = 4", "NOT (p = 3)", "p <> 3 AND r > 48", "r > p"}) {
    EXPECT_EQ(rows("SELECT id FROM K WHERE " + where), rows("SELECT id FROM K WHERE (" + where + ") OR 1 = 0")) << where;
  }
  EXPECT_EQ(plan("SELECT id FROM K WHERE i = 3 OR i = 4"), "table 'K': scan\n");
  EXPECT_EQ(plan("SELECT id FROM K WHERE r > p"), "table 'K': scan\n");
}

TEST_F(TypedKeys, ChangesThroughIndexesLeaveEveryIndexExact) {
  EXPECT_EQ(run("UPDATE K SET p = p + 1, r = -r WHERE p = 3 AND r > 0"),
            long(rows("SELECT id FROM K WHERE (p = 3 AND r > 0) OR 1 = 0").size()));
  const long gone = long(rows("SELECT id FROM K WHERE (c < 0) OR 1 = 0").size());
  EXPECT_EQ(run("DELETE FROM K WHERE c < 0"), gone);
  EXPECT_TRUE(rows("SELECT id FROM K WHERE c < 0").empty());
  EXPECT_EQ(rows("SELECT COUNT(*) FROM K"), std::vector<std::string>{std::to_string(1500 - gone) + "|"});
  const CheckReport report = checkDatabase(db_);
  EXPECT_TRUE(report.clean()) << (report.problems.empty() ? "" : report.problems.front());
}

TEST(IndexedRelationships, TextKeysMatchIgnoringCaseAndCascadesFollowTheIndex) {
  MemoryFileSystem fs;
  createDatabase(fs, "/r.mdb");
  auto db = Database::open("/r.mdb", OpenOptions{false, "", &fs});
  auto run = [&](const std::string& sql) {
    LocalServices local(db);
    return runStatement(db, sql, local.services()).rowsAffected;
  };
  run("CREATE TABLE City (name TEXT(40) PRIMARY KEY)");
  run("CREATE TABLE Street (id COUNTER PRIMARY KEY, city TEXT(40))");
  {
    TableWriter writer(db);
    RelationshipSpec link;
    link.table = "Street";
    link.columns = {"city"};
    link.referencedTable = "City";
    link.cascadeUpdates = link.cascadeDeletes = true;
    SchemaWriter(db, writer).addRelationship(link);
  }
  ASSERT_EQ(db->table("Street")->realIndexes.size(), 2u);  // the relationship's index on city
  for (const char* city : {"Łódź", "Αθήνα", "Москва", "São Paulo", "北京"})
    run(std::string("INSERT INTO City (name) VALUES ('") + city + "')");
  // The parent is found however the child spells its case; accents must match.
  EXPECT_EQ(run("INSERT INTO Street (city) VALUES ('ŁÓDŹ')"), 1);
  EXPECT_EQ(run("INSERT INTO Street (city) VALUES ('αθήνα')"), 1);
  EXPECT_EQ(run("INSERT INTO Street (city) VALUES ('МОСКВА')"), 1);
  EXPECT_THROW(run("INSERT INTO Street (city) VALUES ('Sao Paulo')"), EngineError);
  EXPECT_THROW(run("INSERT INTO Street (city) VALUES ('Lodz')"), EngineError);
  EXPECT_EQ(run("UPDATE City SET name = 'Lodz' WHERE name = 'łódź'"), 1);
  EXPECT_EQ(run("DELETE FROM City WHERE name = 'МОСКВА'"), 1);
  auto result = runStatement(db, "SELECT city FROM Street ORDER BY id").rows;
  std::vector<std::vector<Value>> streets;
  result->fetch(0, 10, streets);
  ASSERT_EQ(streets.size(), 2u);
  EXPECT_EQ(valueToText(streets[0][0]), "Lodz");
  EXPECT_EQ(valueToText(streets[1][0]), "αθήνα");
  EXPECT_TRUE(checkDatabase(db).clean());
}

TEST(SqlPlanCommand, NamesTheIndexForEachStatementOfAGeneratedFile) {
  char folder[] = "/tmp/kevra-plan-XXXXXX";
  ASSERT_TRUE(::mkdtemp(folder));
  const std::string file = std::string(folder) + "/g.mdb";
  const std::string cli = KEVRA_CLI_PATH;
  ASSERT_EQ(test::runCommand(cli + " generate '" + file + "' --rows 3000").first, 0);
  auto plan = [&](const std::string& sql) { return test::runCommand(cli + " sql '" + file + "' \"" + sql + "\" --plan"); };
  EXPECT_EQ(plan("SELECT * FROM Customers WHERE ID = 2999"),
            std::make_pair(0, std::string("table 'Customers': index 'PrimaryKey' (ID =)\n")));
  EXPECT_EQ(plan("SELECT TOP 10 * FROM Customers ORDER BY Name").second,
            "table 'Customers': index 'Name', in order\n");
  EXPECT_EQ(plan("SELECT TOP 10 * FROM Customers ORDER BY Qty").second, "table 'Customers': scan\norder: sort, best 10 kept\n");
  // No change scans a table to enforce the relationship.
  const std::string related = "relationship 'CustomersOrders': related rows in index 'CustomersOrders' of table 'Orders'\n";
  const std::string parent = "relationship 'CustomersOrders': parent in index 'PrimaryKey' of table 'Customers'\n";
  EXPECT_EQ(plan("UPDATE Customers SET Qty = 6 WHERE ID BETWEEN 5 AND 9").second,
            "table 'Customers': index 'PrimaryKey' (ID range)\n" + related);
  EXPECT_EQ(plan("DELETE FROM Customers WHERE Name LIKE 'alpha*'").second,
            "table 'Customers': index 'Name' (Name LIKE)\n" + related);
  EXPECT_EQ(plan("INSERT INTO Orders (CustomerID) VALUES (7)").second, "table 'Orders': insert\n" + parent);
  EXPECT_EQ(plan("SELECT COUNT(*) FROM Orders").second, "table 'Orders': stored row count\n");
  // --plan runs nothing: the file is unchanged, then the statements run for real.
  EXPECT_EQ(test::runCommand(cli + " sql '" + file + "' \"UPDATE Customers SET Qty = 6 WHERE ID BETWEEN 5 AND 9\"").second, "5\n");
  const auto deleted = test::runCommand(cli + " sql '" + file + "' \"DELETE FROM Orders WHERE CustomerID < 100\"");
  EXPECT_EQ(deleted.first, 0) << deleted.second;
  EXPECT_EQ(test::checkFile(file), "clean");
  std::filesystem::remove_all(folder);
}

TEST_F(IndexedTable, JoinLookupsOnTextAndMixedKeysMatchTheHashJoin) {
  run("CREATE TABLE Few (k COUNTER PRIMARY KEY, word TEXT(40), num LONG, txt TEXT(10))");
  for (const char* row : {"'ALPHA', 17, '17'", "'мир', -3, '-3.0'", "NULL, NULL, NULL", "'nothing like it', 5, '5'",
                          "'sao', 150, ' 150'"})
    run(std::string("INSERT INTO Few (word, num, txt) VALUES (") + row + ")");
  const std::vector<std::pair<std::string, std::string>> joins = {
      {"Few INNER JOIN T ON Few.word = T.s", "Few INNER JOIN T ON Few.word = T.s & ''"},
      {"Few LEFT JOIN T ON Few.word = T.s", "Few LEFT JOIN T ON Few.word = T.s & ''"},
      {"Few LEFT JOIN T ON Few.num = T.n AND T.q > 10", "Few LEFT JOIN T ON Few.num = T.n + 0 AND T.q > 10"},
      // Text against a number compares as numbers: the index is not used for those keys.
      {"Few INNER JOIN T ON Few.txt = T.n", "Few INNER JOIN T ON Few.txt = T.n + 0"},
  };
  for (const auto& [indexed, hashed] : joins) {
    const std::string select = "SELECT Few.k, T.id, T.s, T.n FROM ";
    EXPECT_NE(plan(select + indexed).find("lookup per row"), std::string::npos) << indexed;
    const auto expected = rows(select + hashed);
    EXPECT_FALSE(expected.empty()) << hashed;
    EXPECT_EQ(rows(select + indexed), expected) << indexed;
  }
}

TEST_F(IndexedTable, IndexedResultsNameTheirRowsForEditingAndHonourTopPercent) {
  auto result = runStatement(db_, "SELECT * FROM T WHERE n = 5 ORDER BY id").rows;
  ASSERT_TRUE(result->sourceTable());
  EXPECT_NE(plan("SELECT * FROM T WHERE n = 5 ORDER BY id"), "table 'T': scan\norder: sort\n");
  std::vector<std::vector<Value>> all;
  result->fetch(0, 1000, all);
  ASSERT_FALSE(all.empty());
  auto cursor = db_->openCursor(db_->table("T"));
  std::vector<Value> row;
  std::map<uint32_t, std::string> byLocation;
  while (cursor->next(row)) byLocation[cursor->lastLocation()] = valueToText(row[0]);
  for (size_t i = 0; i < all.size(); ++i) {
    auto location = result->rowLocation(i);
    ASSERT_TRUE(location);
    EXPECT_EQ(byLocation[*location], valueToText(all[i][0]));
  }
  EXPECT_EQ(rows("SELECT TOP 10 PERCENT id FROM T ORDER BY n"), rows("SELECT TOP 10 PERCENT id FROM T ORDER BY n + 0"));
  EXPECT_EQ(rows("SELECT TOP 3 id FROM T WHERE s LIKE 'zulu*' ORDER BY s"),
            rows("SELECT TOP 3 id FROM T WHERE s LIKE 'zulu*' OR 1 = 0 ORDER BY s & ''"));
}

TEST_F(IndexedTable, SortWithoutAnIndexGivesTheStableOrderOfTheKeysInEveryBlock) {
  // h: text with accents, case and NULLs; q and d: many equal values.
  const std::string columns = "SELECT id, h, q, d, s FROM T";
  const std::string sql = columns + " ORDER BY h, q DESC, d";
  ASSERT_NE(plan(sql).find("order: sort"), std::string::npos) << plan(sql);
  auto all = runStatement(db_, columns).rows;
  std::vector<std::vector<Value>> stored, block;
  for (uint64_t at = 0; all->fetch(at, 700, block) > 0; at += block.size())
    for (auto& r : block) stored.push_back(std::move(r));
  ASSERT_EQ(stored.size(), 2500u);
  std::vector<OrderItem> orderBy(3);
  orderBy[1].descending = true;
  std::vector<std::vector<Value>> keys;
  for (const auto& r : stored) keys.push_back({r[1], r[2], r[3]});
  std::vector<size_t> order(stored.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  sql::sortByKeys(order, keys, orderBy);
  std::vector<std::string> expected;
  for (size_t i : order) {
    std::string line;
    for (const auto& v : stored[i]) line += valueToText(v) + "|";
    expected.push_back(line);
  }
  EXPECT_EQ(rows(sql), expected);

  // A block fetched out of turn, and one running past the end.
  auto sorted = runStatement(db_, sql).rows;
  ASSERT_EQ(sorted->fetch(1777, 300, block), 300u);
  EXPECT_EQ(valueToText(block[0][0]), valueToText(stored[order[1777]][0]));
  EXPECT_EQ(valueToText(block[299][1]), valueToText(stored[order[2076]][1]));
  ASSERT_EQ(sorted->fetch(2400, 500, block), 100u);
  EXPECT_EQ(valueToText(block[99][0]), valueToText(stored[order[2499]][0]));
  EXPECT_EQ(sorted->fetch(2500, 10, block), 0u);
  EXPECT_EQ(sorted->rowCount(), 2500u);
}
