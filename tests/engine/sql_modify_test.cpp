// INSERT, UPDATE, DELETE and DDL through the statement runner: refused until
// the write path exists, and with a RowWriter the right rows and converted
// values are handed over inside one transaction.
#include <gtest/gtest.h>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/table/row_writer.h"
#include "engine/sql/statement_runner.h"
#include "engine/expr/value_coercion.h"
#include "engine/util/error.h"
#include "sample_files.h"
#include "write_test_support.h"

using namespace kevra;

namespace {

// Records what a statement asks the write path to do.
class RecordingWriter : public RowWriter {
 public:
  void begin() override { log.push_back("begin"); }
  void commit() override { log.push_back("commit"); }
  void rollback() override { log.push_back("rollback"); }
  void insertRow(const TableDef&, const std::vector<std::optional<Value>>& values) override {
    log.push_back("insert");
    inserted.push_back(values);
  }
  void updateRow(const TableDef&, uint32_t location, const std::vector<Value>& values) override {
    if (failOnWrite) throw EngineError("disk full");
    log.push_back("update");
    updated.emplace_back(location, values);
  }
  void deleteRow(const TableDef&, uint32_t location) override {
    log.push_back("delete");
    deleted.push_back(location);
  }

  bool failOnWrite = false;
  std::vector<std::string> log;
  std::vector<std::vector<std::optional<Value>>> inserted;
  std::vector<std::pair<uint32_t, std::vector<Value>>> updated;
  std::vector<uint32_t> deleted;
};

std::shared_ptr<Database> typesFile() { return Database::open(test::sample("testv2000.mdb")); }

void expectUnsupported(const std::shared_ptr<Database>& db, std::string_view sql, std::string_view fragment) {
  try {
    runStatement(db, sql);
    ADD_FAILURE() << sql;
  } catch (const UnsupportedError& e) {
    EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
  }
}

}  // namespace

TEST(SqlModifyWithoutWriter, ChangesAreRefusedClearly) {
  auto db = typesFile();
  expectUnsupported(db, "DELETE FROM Table1", "Changing rows is not supported yet.");
  expectUnsupported(db, "INSERT INTO Table1 (A) VALUES ('x')", "Changing rows is not supported yet.");
  expectUnsupported(db, "UPDATE Table1 SET D = 1", "Changing rows is not supported yet.");
  expectUnsupported(db, "alter table Table1 add column [N] text(5) NULL ", "ALTER TABLE Table1");
  expectUnsupported(db, "create  UNIQUE index X on [Table1]([C])", "CREATE INDEX X");
  expectUnsupported(db, "DROP TABLE Table2", "DROP TABLE Table2");
  expectUnsupported(db, "select * into [Copy] from [Table1]", "'Copy'");
  // Syntax is still checked first.
  EXPECT_THROW(
      {
        try {
          runStatement(db, "DELETE FORM Table1");
        } catch (const UnsupportedError&) {
          FAIL() << "syntax should be reported before support";
        }
      },
      EngineError);
}

TEST(SqlModifyDelete, HandsOverTheLocationsOfMatchingRows) {
  auto db = Database::open(test::sample("compindextestv2000.mdb"));
  RecordingWriter all, some;
  EXPECT_EQ(runStatement(db, "DELETE * FROM Table1", &all).rowsAffected, 512);
  EXPECT_EQ(all.deleted.size(), 512u);
  EXPECT_EQ(runStatement(db, "DELETE FROM Table1 WHERE CD_AGENTE IS NULL OR CD_AGENTE = 27", &some).rowsAffected,
            3);
  ASSERT_EQ(some.deleted.size(), 3u);
  // The same locations a scan reports for those rows.
  auto cursor = db->openCursor(db->table("Table1"));
  std::vector<Value> row;
  std::vector<uint32_t> expected;
  while (cursor->next(row))
    if (isNull(row[0]) || std::get<int32_t>(row[0]) == 27) expected.push_back(cursor->lastLocation());
  EXPECT_EQ(some.deleted, expected);
  EXPECT_EQ(some.log.front(), "begin");
  EXPECT_EQ(some.log.back(), "commit");
}

TEST(SqlModifyUpdate, NewValuesComeFromTheOldRowAndFitTheColumn) {
  auto db = typesFile();
  RecordingWriter w;
  EXPECT_EQ(runStatement(db, "UPDATE Table1 SET D = D + 1.6, A = B, H = 2 WHERE C = 2", &w).rowsAffected, 1);
  ASSERT_EQ(w.updated.size(), 1u);
  const auto& values = w.updated[0].second;
  ASSERT_EQ(values.size(), 9u);
  EXPECT_EQ(std::get<int16_t>(values[3]), 224);  // 223.6 rounded into an Integer
  EXPECT_EQ(std::get<std::string>(values[0]), "hijklmnop");
  EXPECT_EQ(std::get<Currency>(values[7]).scaled, 20000);
  EXPECT_EQ(std::get<int32_t>(values[4]), 333333333);  // untouched columns carried over
}

TEST(SqlModifyUpdate, AFailedWriteRollsBack) {
  auto db = typesFile();
  RecordingWriter w;
  w.failOnWrite = true;
  EXPECT_THROW(runStatement(db, "UPDATE Table1 SET D = 5", &w), EngineError);
  EXPECT_EQ(w.log, (std::vector<std::string>{"begin", "rollback"}));
  // A value that does not fit is refused before anything is written.
  RecordingWriter w2;
  EXPECT_THROW(runStatement(db, "UPDATE Table1 SET C = 256", &w2), EngineError);
  EXPECT_TRUE(w2.log.empty());
}

TEST(SqlModifyInsert, ValuesGoToTheirColumnsConverted) {
  auto db = typesFile();
  RecordingWriter w;
  EXPECT_EQ(runStatement(db, "INSERT INTO Table1 (E, [A], G, I) VALUES (7, 'new', '2024-01-31', 0)", &w).rowsAffected,
            1);
  ASSERT_EQ(w.inserted.size(), 1u);
  const auto& row = w.inserted[0];
  ASSERT_EQ(row.size(), 9u);
  EXPECT_EQ(std::get<std::string>(*row[0]), "new");
  EXPECT_FALSE(row[1]);  // not named: default applies
  EXPECT_EQ(std::get<int32_t>(*row[4]), 7);
  EXPECT_DOUBLE_EQ(std::get<DateTime>(*row[6]).serial, 45322.0);
  EXPECT_EQ(std::get<bool>(*row[8]), false);
}

TEST(SqlModifyInsert, MistakesAreNamed) {
  auto db = typesFile();
  RecordingWriter w;
  EXPECT_THROW(runStatement(db, "INSERT INTO Table1 (A, B) VALUES ('x')", &w), EngineError);
  EXPECT_THROW(runStatement(db, "INSERT INTO Table1 (Nope) VALUES (1)", &w), EngineError);
  EXPECT_THROW(runStatement(db, "INSERT INTO Table1 (A, a) VALUES (1, 2)", &w), EngineError);
  try {
    runStatement(db, "INSERT INTO Table1 (A) VALUES ('" + std::string(51, 'x') + "')", &w);
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("'A'"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(w.inserted.empty());
}

TEST(SqlValueCoercion, NumbersTextDatesAndGuids) {
  ColumnDef byte{.name = "b", .type = ColumnType::Byte};
  EXPECT_EQ(std::get<uint8_t>(expr::coerceToColumn(Value{int32_t(255)}, byte)), 255);
  EXPECT_EQ(std::get<uint8_t>(expr::coerceToColumn(Value{2.5}, byte)), 2);  // half to even
  EXPECT_THROW(expr::coerceToColumn(Value{int32_t(-1)}, byte), EngineError);
  EXPECT_THROW(expr::coerceToColumn(Value{std::string("abc")}, byte), EngineError);

  ColumnDef money{.name = "m", .type = ColumnType::Currency};
  EXPECT_EQ(std::get<Currency>(expr::coerceToColumn(Value{std::string("1.23456")}, money)).scaled, 12346);

  ColumnDef dec{.name = "d", .type = ColumnType::Decimal, .precision = 5, .scale = 2};
  const Decimal d = std::get<Decimal>(expr::coerceToColumn(Value{-123.456}, dec));
  EXPECT_TRUE(d.negative);
  EXPECT_EQ(int64_t(d.magnitude), 12346);
  EXPECT_THROW(expr::coerceToColumn(Value{1000.0}, dec), EngineError);  // 5 digits hold at most 999.99

  ColumnDef guid{.name = "g", .type = ColumnType::Guid};
  const Guid g = std::get<Guid>(expr::coerceToColumn(Value{std::string("{01020304-0506-0708-090A-0B0C0D0E0F10}")}, guid));
  EXPECT_EQ(g.bytes[0], 0x04);
  EXPECT_EQ(g.bytes[3], 0x01);
  EXPECT_EQ(g.bytes[4], 0x06);
  EXPECT_EQ(g.bytes[8], 0x09);
  EXPECT_EQ(g.bytes[15], 0x10);

  // Numbers are dates only within the years 100 to 9999, like date literals.
  ColumnDef when{.name = "w", .type = ColumnType::DateTime};
  EXPECT_EQ(std::get<DateTime>(expr::coerceToColumn(Value{int32_t(45000)}, when)).serial, 45000.0);
  for (const Value& v : {Value{int32_t(3000000)}, Value{1e300}, Value{int32_t(-700000)}}) {
    try {
      expr::coerceToColumn(v, when);
      ADD_FAILURE() << "stored an impossible date";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find("not a date between the years 100 and 9999"), std::string::npos);
    }
  }

  ColumnDef memo{.name = "x", .type = ColumnType::Memo};
  EXPECT_EQ(std::get<std::string>(expr::coerceToColumn(Value{int32_t(5)}, memo)), "5");
  EXPECT_TRUE(isNull(expr::coerceToColumn(Value{}, memo)));
}

TEST(SqlModifyOnAFile, EveryMatchingRowChangesOnceAndSelectSeesIt) {
  test::ScratchCopy copy("overflowtestv2000.mdb");
  auto db = test::openForWriting(copy.path());
  auto count = [&](const std::string& where) {
    return runStatement(db, "SELECT * FROM Table1 WHERE " + where).rows->rowCount();
  };
  ASSERT_EQ(count("data1 IS NOT NULL"), 4u);
  // Rows are collected before the first write, so a row that grows and
  // moves further along the table is not changed a second time.
  EXPECT_EQ(test::runSql(db, "UPDATE Table1 SET data1 = data1 & ' ' & data1, data10 = 'grown' "
                             "WHERE data1 IS NOT NULL"),
            4);
  EXPECT_EQ(count("data1 LIKE 'row?col1 row?col1'"), 4u);
  EXPECT_EQ(count("data10 = 'GROWN'"), 4u);
  EXPECT_EQ(count("data1 = 'ROW7COL1 row7col1' AND data7 = 'row7col7'"), 1u);

  for (int i = 0; i < 12; ++i)
    ASSERT_EQ(test::runSql(db, "INSERT INTO Table1 (data3, data4) VALUES ('bulk', '" + std::to_string(i) + "')"), 1);
  EXPECT_EQ(count("data3 = 'bulk'"), 12u);
  std::vector<std::vector<Value>> r;
  auto rs = runStatement(db, "SELECT data4 FROM Table1 WHERE data3 = 'bulk' ORDER BY data4 DESC").rows;
  rs->fetch(0, 2, r);
  EXPECT_EQ(std::get<std::string>(r[0][0]), "9");  // text order
  EXPECT_EQ(std::get<std::string>(r[1][0]), "8");

  EXPECT_EQ(test::runSql(db, "DELETE FROM Table1 WHERE data3 = 'bulk' AND data4 LIKE '1*'"), 3);  // 1, 10, 11
  EXPECT_EQ(count("data3 = 'bulk'"), 9u);
  EXPECT_EQ(runStatement(db, "SELECT * FROM Table1").rows->rowCount(), 7u + 9u);
}

TEST(SqlModifyInsert, RowsOfAQueryGoInOnce) {
  test::ScratchCopy copy("overflowtestv2000.mdb");
  auto db = test::openForWriting(copy.path());
  // The query is read completely first, so the table's own new rows are not copied again.
  EXPECT_EQ(test::runSql(db, "INSERT INTO Table1 SELECT * FROM Table1"), 7);
  EXPECT_EQ(runStatement(db, "SELECT * FROM Table1").rows->rowCount(), 14u);
  EXPECT_EQ(test::runSql(db, "INSERT INTO Table1 (data9, data10) SELECT UCase(data1), 'copied' FROM Table1 "
                             "WHERE data1 LIKE 'row1*'"),
            2);
  std::vector<std::vector<Value>> r;
  runStatement(db, "SELECT data9, data1 FROM Table1 WHERE data10 = 'copied'").rows->fetch(0, 5, r);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(std::get<std::string>(r[0][0]), "ROW1COL1");
  EXPECT_TRUE(isNull(r[0][1]));

  RecordingWriter w;
  EXPECT_THROW(runStatement(db, "INSERT INTO Table1 (data1) SELECT data1, data3 FROM Table1", &w), EngineError);
  EXPECT_TRUE(w.log.empty());
}
