// INSERT ... SELECT from another table and from the table itself: the same
// rows and sound indexes either way, one transaction, and from another table
// the rows are moved a block at a time instead of all at once.
#include <gtest/gtest.h>

#include "engine/sql/parser.h"
#include "engine/sql/selected_rows_inserter.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::sql;
using test::runSql;

namespace {

constexpr long kSourceRows = 2560;

// Source gets kSourceRows rows by doubling: each doubling reads the table it
// adds to, so a row read twice would repeat a key and be refused.
void fillSource(const std::shared_ptr<Database>& db) {
  runSql(db, "CREATE TABLE Source (id LONG PRIMARY KEY, name TEXT(20), note MEMO)");
  runSql(db, "CREATE INDEX ByName ON Source (name)");
  for (int i = 0; i < 10; ++i)
    runSql(db, "INSERT INTO Source VALUES (" + std::to_string(i) + ", 'n" + std::to_string(9 - i) + "', 'note')");
  for (long n = 10; n < kSourceRows; n *= 2)
    ASSERT_EQ(runSql(db, "INSERT INTO Source SELECT id + " + std::to_string(n) + ", name & 'x', note & id FROM Source"),
              n);
}

void makeTarget(const std::shared_ptr<Database>& db, const std::string& name) {
  runSql(db, "CREATE TABLE " + name + " (id LONG PRIMARY KEY, name TEXT(20), note MEMO)");
  runSql(db, "CREATE INDEX ByName ON " + name + " (name)");
}

// Runs `sql` (an INSERT ... SELECT of every column) straight through the
// inserter, returning how many rows it held at most.
size_t mostRowsHeld(const std::shared_ptr<Database>& db, const std::string& sql, long expectedRows) {
  Statement parsed = parseStatement(sql);
  auto& insert = std::get<InsertStatement>(parsed);
  TableWriter writer(db);
  InsertSelectedStats stats;
  EXPECT_EQ(insertSelectedRows(db, *db->table(insert.table.name), {0, 1, 2}, std::move(*insert.select), writer, &stats),
            expectedRows);
  return stats.mostRowsHeld;
}

}  // namespace

TEST(InsertSelect, FromAnotherTableMovesBlocksAndKeepsEveryRow) {
  test::ScratchCopy copy("testv2000.mdb");
  {
    auto db = test::openForWriting(copy.path());
    fillSource(db);
    makeTarget(db, "Target");
    const size_t held = mostRowsHeld(db, "INSERT INTO Target SELECT * FROM Source", kSourceRows);
    EXPECT_GT(held, 0u);
    EXPECT_LE(held, size_t(kSourceRows) / 2);
    EXPECT_EQ(test::allRows(db, "Target"), test::allRows(db, "Source"));
    // Through the index on the target's names.
    std::vector<std::vector<Value>> r;
    runStatement(db, "SELECT id FROM Target WHERE name = 'n0xxxxxxxx'").rows->fetch(0, 5, r);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(std::get<int32_t>(r[0][0]), kSourceRows - 1);

    // A refusal in a later block takes back the blocks already added.
    makeTarget(db, "Partial");
    runSql(db, "INSERT INTO Partial VALUES (" + std::to_string(kSourceRows - 1) + ", 'last', 'x')");
    EXPECT_THROW(runSql(db, "INSERT INTO Partial SELECT * FROM Source"), EngineError);
    EXPECT_EQ(test::allRows(db, "Partial").size(), 1u);
  }
  EXPECT_EQ(test::checkFile(copy.path()), "clean");
}

TEST(InsertSelect, FromItselfReadsEveryRowOnceBeforeAdding) {
  test::ScratchCopy copy("testv2000.mdb");
  {
    auto db = test::openForWriting(copy.path());
    fillSource(db);  // doublings through the same path
    EXPECT_EQ(test::allRows(db, "Source").size(), size_t(kSourceRows));
    EXPECT_EQ(mostRowsHeld(db, "INSERT INTO Source SELECT id + 10000, name, note FROM source", kSourceRows),
              size_t(kSourceRows));
    EXPECT_EQ(test::allRows(db, "Source").size(), size_t(2 * kSourceRows));
  }
  EXPECT_EQ(test::checkFile(copy.path()), "clean");
}

TEST(InsertSelect, TablesAQueryReadsAreItsFromJoinsAndUnions) {
  auto reads = [](const std::string& select, const std::string& table) {
    Statement parsed = parseStatement(select);
    return selectReadsTable(std::get<SelectStatement>(parsed), table);
  };
  EXPECT_TRUE(reads("SELECT * FROM [T]", "t"));
  EXPECT_TRUE(reads("SELECT a.x FROM A a INNER JOIN T ON a.x = T.x", "T"));
  EXPECT_TRUE(reads("SELECT x FROM A UNION ALL SELECT x FROM B UNION SELECT x FROM t", "T"));
  EXPECT_FALSE(reads("SELECT x FROM A UNION ALL SELECT x FROM B", "T"));
  // A subquery has returned its values before the first row is added.
  EXPECT_FALSE(reads("SELECT x FROM A WHERE x IN (SELECT x FROM T)", "T"));
}
