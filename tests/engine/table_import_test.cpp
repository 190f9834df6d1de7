// Importing several tables at once through the data-access objects: names
// the database cannot take are made legal and reported, every name is
// checked before anything is copied, and all tables land in one transaction.
#include <gtest/gtest.h>

#include <algorithm>

#include "database/catalog.h"
#include "database/connection.h"
#include "database/conversion_statements.h"
#include "database/table_import.h"
#include "engine/table/schema_view.h"
#include "foreign_test_support.h"

namespace kevra::test {
namespace {

db::Connection openImport(const std::string& file) {
  auto source = db::importSourceFor(file);
  EXPECT_TRUE(source) << file;
  db::Connection c;
  c.Open(source->connectionString, source->user, "", 0);
  return c;
}

std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "(accepted)";
}

bool mentions(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(), [&](auto& l) { return l.find(part) != std::string::npos; });
}

TEST(TableImport, SheetAndFieldNamesJetRefusesAreRenamedAndReported) {
  ScratchCopy target("empty.mdb");
  db::Connection meza = openImport(sample("foreign/xls/meza_test.xls"));
  const db::ImportOutcome outcome =
      db::importTables(meza, {{"test.csv", "test.csv"}, {"Sheet2", "Sheet2"}}, target.path());
  ASSERT_EQ(outcome.tables.size(), 2u);
  EXPECT_EQ(outcome.tables[0].table, "test_csv");
  EXPECT_EQ(outcome.tables[0].rows, 5);
  EXPECT_EQ(outcome.tables[1].table, "Sheet2");
  EXPECT_TRUE(mentions(outcome.warnings, "The table 'test.csv' is imported as 'test_csv'.")) << outcome.warnings.front();
  EXPECT_TRUE(mentions(outcome.warnings, "In 'test_csv': The field ' ' is named 'F5'."));

  db::Connection tika = openImport(sample("foreign/xls/tika_testexcel-formats.xls"));
  const db::ImportOutcome formats = db::importTables(tika, {{"Format Examples", "Format Examples"}}, target.path());
  EXPECT_TRUE(mentions(formats.warnings, "The field 'Number #,##0.00' is named 'Number #,##0_00'."));

  auto db = Database::open(target.path());
  EXPECT_EQ(db->userTableNames(), (std::vector<std::string>{"Format Examples", "Sheet2", "test_csv"}));
  bool found = false;
  for (const auto& c : db->table("Format Examples")->columns) found = found || c.name == "Number #,##0_00";
  EXPECT_TRUE(found);
}

TEST(TableImport, ATakenNameOrAFailedCopyImportsNothing) {
  ScratchCopy target("empty.mdb");
  runSql(openForWriting(target.path()), "CREATE TABLE Orders (Id LONG)");
  const auto before = fileBytes(target.path());
  db::Connection book = openImport(foreignSample("excel/workbook.xls"));

  std::string error = errorOf([&] { db::importTables(book, {{"Products", "Products"}, {"Orders", "ORDERS"}}, target.path()); });
  EXPECT_NE(error.find("A table or query 'ORDERS' already exists"), std::string::npos) << error;
  EXPECT_NE(error.find("nothing was imported"), std::string::npos) << error;
  EXPECT_EQ(fileBytes(target.path()), before);

  error = errorOf([&] { db::importTables(book, {{"Products", "a.b"}, {"Orders", "a_b"}}, target.path()); });
  EXPECT_NE(error.find("both be named 'a_b'"), std::string::npos) << error;

  // Products is copied inside the transaction before the missing sheet fails it.
  error = errorOf([&] { db::importTables(book, {{"Products", "Products"}, {"Missing", "Missing"}}, target.path()); });
  EXPECT_NE(error.find("'Missing'"), std::string::npos) << error;
  auto db = Database::open(target.path());
  EXPECT_EQ(db->userTableNames(), (std::vector<std::string>{"Orders"}));
  EXPECT_EQ(fileBytes(target.path()), before);

  const db::ImportOutcome both = db::importTables(book, {{"Products", "Products"}, {"Orders", "Orders 2"}}, target.path());
  EXPECT_EQ(both.tables[1].rows, 4);
  EXPECT_EQ(Database::open(target.path())->userTableNames(), (std::vector<std::string>{"Orders", "Orders 2", "Products"}));
}

// Another Access database as the source: required flags and defaults come
// along, autonumbers arrive as plain Long.
TEST(TableImport, AccessTablesKeepRequiredFlagsAndDefaults) {
  ScratchCopy source("empty.mdb");
  {
    auto src = openForWriting(source.path());
    runSql(src, "CREATE TABLE Keyed (Id COUNTER, Code TEXT(12) NOT NULL, Qty SHORT)");
    runSql(src, "INSERT INTO Keyed (Code, Qty) VALUES ('A-1', 3)");
  }
  {
    db::Connection c;
    c.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + source.path(), "admin", "", 0);
    db::Catalog cat;
    cat.ActiveConnection(c);
    cat.Tables().Item("Keyed").Columns().Item("Qty").SetProperty("Default", Value(std::string("7")));
  }
  ScratchCopy target("empty.mdb");
  db::Connection c = openImport(source.path());
  const db::ImportOutcome outcome = db::importTables(c, {{"Keyed", "Keyed"}}, target.path());
  EXPECT_EQ(outcome.tables[0].rows, 1);
  EXPECT_TRUE(outcome.warnings.empty());
  auto db = Database::open(target.path());
  TableSchema k = describeTable(*db, "Keyed");
  EXPECT_FALSE(k.columns[0].autoIncrement);
  EXPECT_EQ(k.columns[1].definedSize, 12);
  EXPECT_FALSE(k.columns[1].nullable);
  EXPECT_EQ(k.columns[2].defaultValue.value_or(""), "7");
  EXPECT_EQ(allRows(db, "Keyed")[0][1], Value(std::string("A-1")));
}

}  // namespace
}  // namespace kevra::test
