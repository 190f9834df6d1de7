// Subqueries run ahead of their statement: IN (SELECT ...) and (SELECT ...)
// as a value, in SELECT and in row changes. Tables of indextestv2000.mdb:
// Table1 (otherfk1 -> Table2.id, otherfk2 -> Table3.id), Table2, Table3.
#include <gtest/gtest.h>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/format/value_text.h"
#include "engine/table/row_writer.h"
#include "engine/sql/statement_runner.h"
#include "engine/util/error.h"
#include "sample_files.h"

using namespace kevra;

namespace {

std::shared_ptr<Database> related() { return Database::open(test::sample("indextestv2000.mdb")); }

std::vector<std::string> column(const std::shared_ptr<Database>& db, std::string_view sql, size_t index = 0) {
  StatementResult r = runStatement(db, sql);
  std::vector<std::vector<Value>> rows;
  r.rows->fetch(0, size_t(r.rows->rowCount()), rows);
  std::vector<std::string> out;
  for (const auto& row : rows) out.push_back(isNull(row[index]) ? "-" : valueToText(row[index]));
  return out;
}

class DeleteRecorder : public RowWriter {
 public:
  void begin() override {}
  void commit() override {}
  void rollback() override {}
  void insertRow(const TableDef&, const std::vector<std::optional<Value>>&) override {}
  void updateRow(const TableDef&, uint32_t, const std::vector<Value>&) override {}
  void deleteRow(const TableDef&, uint32_t location) override { deleted.push_back(location); }
  std::vector<uint32_t> deleted;
};

}  // namespace

TEST(SqlSubqueryIn, MembershipInAnotherTablesValues) {
  auto db = related();
  EXPECT_EQ(column(db, "SELECT data FROM Table3 WHERE id IN (SELECT otherfk2 FROM Table1) ORDER BY id"),
            (std::vector<std::string>{"bar10", "bar11", "bar13"}));
  EXPECT_EQ(column(db, "SELECT data FROM Table3 WHERE id NOT IN (SELECT otherfk2 FROM Table1)"),
            std::vector<std::string>{"bar12"});
  // An empty list: IN is never true, NOT IN always.
  EXPECT_TRUE(column(db, "SELECT data FROM Table3 WHERE id IN (SELECT id FROM Table2 WHERE id > 100)").empty());
  EXPECT_EQ(column(db, "SELECT data FROM Table3 WHERE id NOT IN (SELECT id FROM Table2 WHERE id > 100)").size(), 4u);
  // Nested.
  EXPECT_EQ(column(db, "SELECT data FROM Table2 WHERE id IN (SELECT otherfk1 FROM Table1 WHERE otherfk2 IN "
                       "(SELECT id FROM Table3 WHERE data = 'bar13'))"),
            std::vector<std::string>{"foo2"});
}

TEST(SqlSubqueryValue, OneValueInPlaceOfAnExpression) {
  auto db = related();
  EXPECT_EQ(column(db, "SELECT data FROM Table1 WHERE otherfk1 = (SELECT Max(id) FROM Table2)"),
            std::vector<std::string>{"baz13"});
  EXPECT_EQ(column(db, "SELECT data, (SELECT Count(*) FROM Table2) AS N FROM Table3", 1),
            (std::vector<std::string>{"3", "3", "3", "3"}));
  // No row: NULL, which matches nothing.
  EXPECT_TRUE(column(db, "SELECT data FROM Table1 WHERE id = (SELECT id FROM Table2 WHERE id < 0)").empty());
}

TEST(SqlSubqueryErrors, TooManyRowsOrFieldsAndOuterNames) {
  auto db = related();
  try {
    runStatement(db, "SELECT * FROM Table1 WHERE id = (SELECT id FROM Table2)");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("At most one record"), std::string::npos) << e.what();
  }
  EXPECT_THROW(runStatement(db, "SELECT * FROM Table1 WHERE id IN (SELECT id, data FROM Table2)"), EngineError);
  // A subquery cannot use the outer query's fields.
  EXPECT_THROW(runStatement(db, "SELECT * FROM Table1 WHERE id IN (SELECT id FROM Table2 WHERE Table2.id = otherfk3)"),
               EngineError);
}

TEST(SqlSubqueryChanges, DeleteRowsWithoutReferences) {
  auto db = related();
  DeleteRecorder writer;
  EXPECT_EQ(runStatement(db, "DELETE FROM Table3 WHERE id NOT IN (SELECT otherfk2 FROM Table1)", &writer).rowsAffected,
            1);
  auto cursor = db->openCursor(db->table("Table3"));
  std::vector<Value> row;
  uint32_t bar12 = 0;
  while (cursor->next(row))
    if (valueToText(row[1]) == "bar12") bar12 = cursor->lastLocation();
  EXPECT_EQ(writer.deleted, std::vector<uint32_t>{bar12});
}

TEST(SqlUnion, RowsOfSeveralQueriesOnceOrAll) {
  auto db = related();
  EXPECT_EQ(column(db, "SELECT data FROM Table2 UNION SELECT data FROM Table3 ORDER BY data DESC"),
            (std::vector<std::string>{"foo2", "foo1", "foo0", "bar13", "bar12", "bar11", "bar10"}));
  EXPECT_EQ(column(db, "SELECT otherfk1 FROM Table1 UNION ALL SELECT id FROM Table2").size(), 7u);
  EXPECT_EQ(column(db, "SELECT otherfk1 AS k FROM Table1 UNION SELECT id FROM Table2 ORDER BY k"),
            (std::vector<std::string>{"0", "1", "2"}));
  // Three parts; names come from the first.
  StatementResult r = runStatement(db, "SELECT id AS Code, data FROM Table2 WHERE id = 0 UNION SELECT id, data "
                                       "FROM Table3 WHERE id > 12 UNION ALL SELECT id, data FROM Table3 WHERE id = 13");
  EXPECT_EQ(r.rows->columns()[0].name, "Code");
  // (foo0 UNION bar13) UNION ALL bar13: the last part adds its row again.
  EXPECT_EQ(r.rows->rowCount(), 3u);
  // A plain UNION after UNION ALL makes everything so far distinct.
  EXPECT_EQ(column(db, "SELECT otherfk1 FROM Table1 UNION ALL SELECT otherfk1 FROM Table1 UNION SELECT id FROM Table2")
                .size(),
            3u);
  EXPECT_THROW(runStatement(db, "SELECT id FROM Table2 UNION SELECT id, data FROM Table3"), EngineError);
  EXPECT_THROW(runStatement(db, "SELECT id FROM Table2 UNION SELECT id FROM Table3 ORDER BY nothing"), EngineError);
  // A union can feed IN.
  EXPECT_EQ(column(db, "SELECT data FROM Table1 WHERE otherfk2 IN (SELECT id FROM Table3 WHERE id = 10 UNION "
                       "SELECT id FROM Table3 WHERE id = 13)"),
            (std::vector<std::string>{"baz0", "baz13"}));
}
