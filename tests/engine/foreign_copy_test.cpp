// Select-into across files through the data-access objects, as the import
// and export commands run it: a connection on a foreign source copying into
// a database, a database copying out to a driver or to another database.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "database/catalog.h"
#include "database/connection.h"
#include "database/conversion_statements.h"
#include "database/recordset.h"
#include "engine/isam/text_driver.h"
#include "engine/table/schema_view.h"
#include "foreign_test_support.h"

namespace kevra::test {
namespace {

long run(const db::Connection& c, const std::string& sql) {
  db::Recordset r;
  r.Open(sql, c, 0, 3, 0);
  return r.rowsAffected();
}

std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "(accepted)";
}

std::shared_ptr<Database> reopen(const std::string& path) { return Database::open(path); }

db::Connection openImport(const std::string& file) {
  auto source = db::importSourceFor(file);
  EXPECT_TRUE(source) << file;
  db::Connection c;
  c.Open(source->connectionString, source->user, "", 0);
  return c;
}

TEST(ForeignCopy, TextImportThroughAForeignConnectionLandsInTheDatabase) {
  ScratchCopy target("empty.mdb");
  const std::string file = foreignSample("text/products.csv");
  auto source = db::importSourceFor(file);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->sourceTable, "products#csv");
  db::Connection c = openImport(file);
  db::Catalog catalog;
  catalog.ActiveConnection(c);
  const db::Table& listed = catalog.Tables().Item("products#csv");
  EXPECT_EQ(listed.Type(), "TABLE");
  EXPECT_THROW(c.engine(), EngineError);

  EXPECT_EQ(run(c, db::importStatement(source->baseName, source->sourceTable, target.path())), 5);
  auto db = reopen(target.path());
  TableSchema s = describeTable(*db, "products");
  ASSERT_EQ(s.columns.size(), 7u);
  EXPECT_EQ(s.columns[0].type, 3);    // Long
  EXPECT_EQ(s.columns[4].type, 7);    // Date/Time
  EXPECT_EQ(s.columns[6].type, 203);  // Memo
  EXPECT_EQ(allRows(db, "products").size(), 5u);
  db.reset();

  auto [status, printed] = runCommand("mdb-export " + target.path() + " products");
  ASSERT_EQ(status, 0) << printed;
  EXPECT_EQ(printed.substr(0, printed.find('\n')), "ID,Name,Price,Qty,Added,InStock,Notes");
  EXPECT_NE(printed.find("\"Gadget, large\""), std::string::npos) << printed;
  EXPECT_EQ(checkFile(target.path()), "clean");

  const auto before = target.bytes();
  EXPECT_NE(errorOf([&] { run(c, db::importStatement("products", "products#csv", target.path())); })
                .find("already exists"),
            std::string::npos);
  EXPECT_EQ(target.bytes(), before);
}

TEST(ForeignCopy, FailedImportLeavesTheDatabaseAsItWas) {
  ScratchCopy target("empty.mdb");
  ScratchFolder in;
  std::string csv = "n\r\n";
  for (int i = 0; i < 5000; ++i) csv += std::to_string(i) + "\r\n";
  in.write("bad.csv", csv + "oops\r\n");
  in.write("Schema.ini", "[bad.csv]\r\nCol1=n Long\r\n");
  const auto before = target.bytes();
  db::Connection c = openImport(in.file("bad.csv"));
  const std::string refused = errorOf([&] { run(c, db::importStatement("bad", "bad#csv", target.path())); });
  EXPECT_NE(refused.find("'oops'"), std::string::npos) << refused;
  EXPECT_EQ(target.bytes(), before);
  EXPECT_NE(errorOf([&] { run(c, "select n into [x] in \"" + target.path() + "\" from [bad#csv]"); })
                .find("select * into"),
            std::string::npos);
  EXPECT_NE(errorOf([&] { run(c, "select * from [bad#csv]"); }).find("select * into"), std::string::npos);
}

TEST(ForeignCopy, ExportToTextAndHtmlReadsBackThroughImport) {
  AllTypesDatabase src;
  ScratchFolder out;
  ScratchCopy again("empty.mdb");
  db::Connection shared;
  shared.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + src.path(), "admin", "", 0);
  db::Recordset r;
  r.Open(*db::exportStatement("Text", "AllTypes", out.path()), shared, 0, 3, 0);
  EXPECT_EQ(r.rowsAffected(), 3);
  EXPECT_EQ(r.warnings().size(), 1u);  // the OLE field
  EXPECT_EQ(run(shared, *db::exportStatement("HTML", "AllTypes", out.path() + "/")), 3);
  EXPECT_EQ(out.names(), (std::vector<std::string>{"AllTypes.html", "AllTypes.txt", "Schema.ini"}));

  // The same statement again is refused, and the file stays.
  const std::string txt = out.read("AllTypes.txt");
  EXPECT_NE(errorOf([&] { run(shared, *db::exportStatement("Text", "AllTypes", out.path())); }).find("already exists"),
            std::string::npos);
  EXPECT_EQ(out.read("AllTypes.txt"), txt);
  EXPECT_NE(errorOf([&] { run(shared, "select * into [x] in \"" + out.path() + "\" \"Lotus WK3;\" from [AllTypes]"); })
                .find("Lotus WK3"),
            std::string::npos);

  // Both files come back into a database with their values.
  db::Connection text = openImport(out.file("AllTypes.txt"));
  EXPECT_EQ(run(text, db::importStatement("FromText", "AllTypes#txt", again.path())), 3);
  db::Connection html = openImport(out.file("AllTypes.html"));
  EXPECT_EQ(run(html, db::importStatement("FromHtml", "AllTypes", again.path())), 3);
  auto db = reopen(again.path());
  TableSchema t = describeTable(*db, "FromText");
  EXPECT_EQ(t.columns[db->table("FromText")->columns.size() - 2].type, 11);  // Flag: Yes/No
  auto textRows = allRows(db, "FromText");
  auto htmlRows = allRows(db, "FromHtml");
  auto srcRows = allRows(src.db(), "AllTypes");
  for (size_t col : {1, 2, 5, 7, 10}) {  // Name, Notes, Big, Amount, Stamp
    EXPECT_EQ(textRows[1][col], srcRows[1][col]) << col;
    if (col != 2) {  // HTML turns CRLF into one break
      EXPECT_EQ(htmlRows[1][col], srcRows[1][col]) << col;
    }
  }
}

// Access allows '/' in a table name; an export names its file after the
// table with '_' in its place, and a target name that would leave the chosen
// folder is refused by every driver before anything is written.
TEST(ForeignCopy, ExportsStayInTheChosenFolderWhateverTheTableIsCalled) {
  AllTypesDatabase src;
  runSql(src.db(), "CREATE TABLE [a/b] (Id LONG, Name TEXT(10))");
  runSql(src.db(), "INSERT INTO [a/b] VALUES (1, 'one')");
  ScratchFolder top;
  const std::string out = top.file("out");
  std::filesystem::create_directory(out);
  db::Connection shared;
  shared.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + src.path(), "admin", "", 0);
  for (const char* format : {"dBase", "Excel", "HTML", "Paradox", "Text"}) {
    EXPECT_EQ(run(shared, *db::exportStatement(format, "a/b", out)), 1) << format;
    EXPECT_TRUE(std::filesystem::exists(*db::exportedFileName(format, "a/b", out))) << format;
  }
  std::vector<std::string> written;
  for (auto& e : std::filesystem::directory_iterator(out)) written.push_back(e.path().filename().string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"Schema.ini", "a_b.db", "a_b.dbf", "a_b.html", "a_b.txt", "a_b.xls"}));

  for (const std::string target : {"[../Ord] in \"" + out + "\" \"dBase 5.0;\"",
                                   "[../Ord] in \"" + out + "\" \"Paradox 7.x;\"",
                                   "[../Ord.html] in \"" + out + "\" \"HTML Export;\"",
                                   "[../Ord#txt] in \"" + out + "\" \"Text;\"", "[..#txt] in \"" + out + "\" \"Text;\"",
                                   "[Ord#../txt] in \"" + out + "\" \"Text;\""}) {
    const std::string error = errorOf([&] { run(shared, "select * into " + target + " from [AllTypes]"); });
    EXPECT_NE(error.find("cannot name a"), std::string::npos) << target << ": " << error;
  }
  EXPECT_EQ(top.names(), (std::vector<std::string>{"out"})) << "nothing beside the chosen folder";
  top.write("Ord.csv", "a\r\n1\r\n");
  EXPECT_NE(errorOf([&] { makeTextDriver()->openTable(out, "../Ord#csv"); }).find("cannot name a"), std::string::npos)
      << "nor is a file beside it read";
  EXPECT_EQ(top.read("out/Schema.ini").find(".."), std::string::npos);
}

TEST(ForeignCopy, ExportWorksFromAReadOnlyConnection) {
  AllTypesDatabase src;
  ScratchFolder out;
  db::Connection shared;
  shared.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + src.path() + ";Mode=Read", "admin", "", 0);
  ASSERT_TRUE(shared.readOnly());
  EXPECT_EQ(run(shared, *db::exportStatement("Text", "AllTypes", out.path())), 3);
  EXPECT_NE(errorOf([&] { run(shared, "select * into [Copy] from [AllTypes]"); }).find("read-only"), std::string::npos);
}

TEST(ForeignCopy, AccessImportKeepsTypesSizesDefaultsAndRequiredButNotAutonumber) {
  AllTypesDatabase src;
  runSql(src.db(), "CREATE TABLE Keyed (Id COUNTER, Code TEXT(12) NOT NULL, Qty SHORT)");
  runSql(src.db(), "INSERT INTO Keyed (Code, Qty) VALUES ('A-1', 3)");
  {
    db::Connection c;
    c.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + src.path(), "admin", "", 0);
    db::Catalog cat;
    cat.ActiveConnection(c);
    cat.Tables().Item("Keyed").Columns().Item("Qty").SetProperty("Default", Value(std::string("7")));
  }
  ScratchCopy target("empty.mdb");
  db::Connection c = openImport(src.path());
  db::Catalog cat;
  cat.ActiveConnection(c);
  std::vector<std::string> offered;
  for (int i = 0; i < cat.Tables().Count(); ++i)
    if (cat.Tables().Item(i).Type() == "TABLE") offered.push_back(cat.Tables().Item(i).Name());
  EXPECT_EQ(offered, (std::vector<std::string>{"AllTypes", "Keyed"}));
  for (const auto& name : offered) run(c, db::importStatement(name, name, target.path()));

  auto db = reopen(target.path());
  TableSchema k = describeTable(*db, "Keyed");
  EXPECT_FALSE(k.columns[0].autoIncrement);
  EXPECT_EQ(k.columns[0].type, 3);
  EXPECT_EQ(k.columns[1].definedSize, 12);
  EXPECT_FALSE(k.columns[1].nullable);
  EXPECT_EQ(k.columns[2].defaultValue.value_or(""), "7");
  EXPECT_EQ(allRows(db, "Keyed")[0][1], Value(std::string("A-1")));
  EXPECT_EQ(allRows(db, "AllTypes"), allRows(src.db(), "AllTypes"));
  db.reset();
  EXPECT_EQ(checkFile(target.path()), "clean");
}

}  // namespace
}  // namespace kevra::test
