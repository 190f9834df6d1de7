// Structure changes through the catalog objects, as the window makes them:
// new tables with their columns, renames, deleted columns, indexes and keys,
// default values — each read back through a fresh connection.
#include <gtest/gtest.h>

#include "database/ado_types.h"
#include "database/catalog.h"
#include "database/connection.h"
#include "database/properties.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::db;
using namespace kevra::test;

namespace {

struct Session {
  explicit Session(const std::string& path) {
    connection.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path, "admin", "", 0);
    catalog.ActiveConnection(connection);
  }
  Connection connection;
  Catalog catalog;
};

int positionOf(Catalog& catalog, const std::string& name) {
  for (int i = 0; i < catalog.Tables().Count(); ++i)
    if (catalog.Tables().Item(i).Name() == name) return i;
  return -1;
}

}  // namespace

TEST(CatalogChanges, ATableMadeOnItsOwnIsStoredWithItsColumn) {
  ScratchCopy copy("testv2000.mdb");
  {
    Session s(copy.path());
    Table table;
    table.Name("Sales");
    table.Columns().Append("Sales", adBoolean, 15);
    s.catalog.Tables().Append(table);
    EXPECT_THROW(s.catalog.Tables().Append(table), EngineError);  // the same name again
  }
  Session s(copy.path());
  const Table& sales = s.catalog.Tables().Item("Sales");
  EXPECT_EQ(sales.Type(), "TABLE");
  ASSERT_EQ(sales.Columns().Count(), 1);
  EXPECT_EQ(sales.Columns().Item(0).Name(), "Sales");
  EXPECT_EQ(sales.Columns().Item(0).Type(), adBoolean);
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

TEST(CatalogChanges, RenameAndDropByTheCatalog) {
  ScratchCopy copy("testv2000.mdb");
  {
    Session s(copy.path());
    s.catalog.Tables().Item(positionOf(s.catalog, "Table2")).Name("Second Table");
  }
  {
    Session s(copy.path());
    EXPECT_EQ(positionOf(s.catalog, "Table2"), -1);
    ASSERT_GE(positionOf(s.catalog, "Second Table"), 0);
    s.catalog.Tables().Delete("Second Table");
    EXPECT_EQ(positionOf(s.catalog, "Second Table"), -1);
  }
  Session s(copy.path());
  EXPECT_EQ(positionOf(s.catalog, "Second Table"), -1);
  EXPECT_THROW(s.catalog.Tables().Delete("Second Table"), EngineError);
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

TEST(CatalogChanges, ColumnsIndexesKeysAndDefaults) {
  ScratchCopy copy("indextestv2000.mdb");  // Table1 holds the keys of Table2Table1 and Table3Table1
  {
    Session s(copy.path());
    Table& table1 = s.catalog.Tables().Item("Table1");
    table1.Columns().Append("Extra", adVarWChar, 40);
    table1.Columns().Item("Extra").Name("Renamed");
    table1.Columns().Item("Renamed").SetProperty("default", std::string("\"none\""));
    EXPECT_THROW(table1.Columns().Item("Renamed").SetProperty("Description", std::string("x")), EngineError);
    table1.Keys().Delete("Table2Table1");
  }
  {
    Session s(copy.path());
    const Table& table1 = s.catalog.Tables().Item("Table1");
    const Column& renamed = table1.Columns().Item("Renamed");
    EXPECT_EQ(renamed.Type(), adVarWChar);
    EXPECT_EQ(renamed.DefinedSize(), 40);
    EXPECT_EQ(propertyText(renamed.Properties().Item("Default").Value), "\"none\"");
    for (int k = 0; k < table1.Keys().Count(); ++k) EXPECT_NE(table1.Keys().Item(k).Name(), "Table2Table1");
    // The foreign key's field is free to go now; its index went with the key.
    s.catalog.Tables().Item("Table1").Columns().Delete("otherfk1");
    s.catalog.Tables().Item("Table1").Columns().Item("Renamed").SetProperty("Default", std::string());
  }
  Session s(copy.path());
  const Table& table1 = s.catalog.Tables().Item("Table1");
  EXPECT_THROW(table1.Columns().Item("otherfk1"), EngineError);
  EXPECT_EQ(propertyText(table1.Columns().Item("Renamed").Properties().Item("Default").Value), "");
  // An index that a relationship still uses is refused by name.
  const int before = table1.Indexes().Count();
  EXPECT_THROW(s.catalog.Tables().Item("Table1").Indexes().Delete("Table3Table1"), EngineError);
  EXPECT_EQ(s.catalog.Tables().Item("Table1").Indexes().Count(), before);
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

TEST(CatalogChanges, FormatPropertyAndHyperlinkFields) {
  ScratchCopy copy("testaccess2_2000.mdb");
  {
    Session s(copy.path());
    const Table& table1 = s.catalog.Tables().Item("Table1");
    // The formats Access stored, and the hyperlink mark of the column.
    EXPECT_EQ(propertyText(table1.Columns().Item("CurrencyField").Properties().Item("Format").Value),
              "$#,##0.00;($#,##0.00)");
    EXPECT_EQ(propertyText(table1.Columns().Item("ShortTextField").Properties().Item("Format").Value), "");
    EXPECT_EQ(table1.Columns().Item("HyperLinkField").Properties().Item("Jet OLEDB:Hyperlink").Value, Value(true));
    EXPECT_EQ(table1.Columns().Item("PlainTextMemo").Properties().Item("Jet OLEDB:Hyperlink").Value, Value(false));
    Table& writable = s.catalog.Tables().Item("Table1");
    writable.Columns().Item("CurrencyField").SetProperty("Format", std::string("Standard"));
    writable.Columns().Item("ShortTextField").SetProperty("format", std::string(">"));
    writable.Columns().Item("YesNoField").SetProperty("Format", std::string());  // removed
  }
  Session s(copy.path());
  const Columns& columns = s.catalog.Tables().Item("Table1").Columns();
  EXPECT_EQ(propertyText(columns.Item("CurrencyField").Properties().Item("Format").Value), "Standard");
  EXPECT_EQ(propertyText(columns.Item("ShortTextField").Properties().Item("Format").Value), ">");
  EXPECT_EQ(propertyText(columns.Item("YesNoField").Properties().Item("Format").Value), "");
  EXPECT_EQ(checkFile(copy.path()), "clean");
}
