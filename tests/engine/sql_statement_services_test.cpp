// Statements handed to the services that carry them out: DDL to a
// SchemaEditor, SELECT ... INTO to a TableCopier with the query's rows.
#include <gtest/gtest.h>

#include "engine/table/database.h"
#include "engine/format/value_text.h"
#include "engine/sql/schema_editor.h"
#include "engine/sql/statement_runner.h"
#include "engine/sql/table_copier.h"
#include "engine/util/error.h"
#include "sample_files.h"

using namespace kevra;

namespace {

class RecordingEditor : public SchemaEditor {
 public:
  void createTable(const sql::CreateTableStatement& s) override { calls.push_back("create table " + s.table.name); }
  void createIndex(const sql::CreateIndexStatement& s) override {
    calls.push_back(std::string("create ") + (s.unique ? "unique " : "") + "index " + s.index + " on " + s.table.name);
  }
  void alterTable(const sql::AlterTableStatement& s) override {
    calls.push_back("alter " + s.table.name + " " + s.column.name + s.dropName + s.constraint.name);
  }
  void dropTable(const sql::DropTableStatement& s) override { calls.push_back("drop table " + s.table.name); }
  void dropIndex(const sql::DropIndexStatement& s) override {
    calls.push_back("drop index " + s.index + " on " + s.table.name);
  }
  std::vector<std::string> calls;
};

class CollectingCopier : public TableCopier {
 public:
  long copy(const sql::SelectInto& target, ResultSet& rows) override {
    this->target = target;
    for (const auto& c : rows.columns()) columns.push_back(c.name);
    std::vector<std::vector<Value>> block;
    for (uint64_t at = 0; rows.fetch(at, 7, block) > 0; at += block.size())
      for (const auto& row : block) firstColumn.push_back(valueToText(row[0]));
    return long(firstColumn.size());
  }
  sql::SelectInto target;
  std::vector<std::string> columns;
  std::vector<std::string> firstColumn;
};

}  // namespace

TEST(SqlServicesSchema, EachDdlStatementReachesItsEditorMethod) {
  auto db = Database::open(test::sample("testv2000.mdb"));
  RecordingEditor editor;
  StatementServices services;
  services.schema = &editor;
  for (const char* sql : {"create  UNIQUE index IxA on [Table1]([A])", "alter table Table1 add column [N] text(5) NULL ",
                          "alter table Table1 drop constraint PrimaryKey", "DROP INDEX IxA ON Table1",
                          "CREATE TABLE T2 (x long)", "DROP TABLE T2"})
    EXPECT_EQ(runStatement(db, sql, services).rowsAffected, 0) << sql;
  EXPECT_EQ(editor.calls, (std::vector<std::string>{"create unique index IxA on Table1", "alter Table1 N",
                                                    "alter Table1 PrimaryKey", "drop index IxA on Table1",
                                                    "create table T2", "drop table T2"}));
  // Without an editor the statement is refused; rows still need a RowWriter.
  EXPECT_THROW(runStatement(db, "DROP TABLE T2"), UnsupportedError);
  EXPECT_THROW(runStatement(db, "DELETE FROM Table1", services), UnsupportedError);
}

TEST(SqlServicesCopy, SelectIntoHandsTheQueryRowsToTheCopier) {
  auto db = Database::open(test::sample("compindextestv2000.mdb"));
  CollectingCopier copier;
  StatementServices services;
  services.copier = &copier;
  StatementResult r = runStatement(
      db, "select CD_AGENTE AS Code, DC_AGENTE into [Small] in \"exports\" \"dBase 5.0;\" from [Table1] "
          "where CD_AGENTE < 60 order by CD_AGENTE desc",
      services);
  EXPECT_FALSE(r.rows);
  EXPECT_EQ(r.rowsAffected, 4);
  EXPECT_EQ(copier.target.table, "Small");
  EXPECT_EQ(copier.target.externalPath, "exports");
  EXPECT_EQ(copier.target.connect, "dBase 5.0;");
  EXPECT_EQ(copier.columns, (std::vector<std::string>{"Code", "DC_AGENTE"}));
  EXPECT_EQ(copier.firstColumn, (std::vector<std::string>{"43", "35", "27", "19"}));

  try {
    runStatement(db, "select * into [Copy] from [Table1]");
    FAIL();
  } catch (const UnsupportedError& e) {
    EXPECT_NE(std::string(e.what()).find("'Copy'"), std::string::npos);
  }
}
