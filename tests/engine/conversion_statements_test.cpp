// The import sources and conversion statements the Convert commands send.
#include <gtest/gtest.h>

#include "database/conversion_statements.h"

namespace kevra::db {
namespace {

TEST(ConversionStatements, ImportSourcesByExtensionInAnyCase) {
  auto dbf = importSourceFor("/in/ORDERS.DBF");
  ASSERT_TRUE(dbf);
  EXPECT_EQ(dbf->kind, ImportKind::Dbase);
  EXPECT_EQ(dbf->connectionString,
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/in/;Extended Properties=dbase 5.0;Persist Security Info=False");
  EXPECT_EQ(dbf->sourceTable, "ORDERS");
  EXPECT_EQ(dbf->user, "");

  auto csv = importSourceFor("/in/ORDERS.CSV");
  EXPECT_EQ(csv->sourceTable, "ORDERS#CSV");  // the extension keeps its case
  auto dotted = importSourceFor("/in/my.data.txt");
  EXPECT_EQ(dotted->baseName, "my.data");
  EXPECT_EQ(dotted->sourceTable, "my.data#txt");
  EXPECT_EQ(importSourceFor("/in/page.html")->connectionString,
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/in/page.html;Extended Properties=HTML "
            "Import;Persist Security Info=False");
  EXPECT_EQ(importSourceFor("/in/page.html")->sourceTable, "page");
  EXPECT_EQ(importSourceFor("/in/t.db")->kind, ImportKind::Paradox);
  auto mdb = importSourceFor("/in/shop.MDB");
  EXPECT_TRUE(mdb->choosesTables);
  EXPECT_EQ(mdb->user, "admin");
  EXPECT_EQ(mdb->connectionString, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/in/shop.MDB;Persist Security Info=False");
  EXPECT_EQ(importSourceFor("/in/book.xls")->kind, ImportKind::Excel);
  EXPECT_FALSE(importSourceFor("/in/notes.pdf"));
  EXPECT_FALSE(importSourceFor("/in/archive.dbx"));

  EXPECT_EQ(importStatement("orders", "orders#csv", "/db/shop.mdb"),
            "select * into [orders] in \"/db/shop.mdb\" from [orders#csv]");
}

TEST(ConversionStatements, ExportStatementsPerFormat) {
  EXPECT_EQ(*exportStatement("dBase", "Orders", "/out"),
            "select * into [Orders] in \"/out\" \"dBase 5.0;\" from [Orders]");
  EXPECT_EQ(*exportStatement("HTML", "My Orders", "/out"),
            "select * into [My Orders.html] in \"/out\" \"HTML Export;\" from [My Orders]");
  EXPECT_EQ(*exportStatement("Paradox", "Orders", "/out"),
            "select * into [Orders] in \"/out\" \"Paradox 7.x;\" from [Orders]");
  EXPECT_EQ(*exportStatement("Excel", "Orders", "/out"),
            "select * into [Orders] in \"/out/Orders.xls\" \"Excel 8.0;\" from [Orders]");
  EXPECT_EQ(*exportStatement("Excel", "Orders", "/"), "select * into [Orders] in \"/Orders.xls\" \"Excel 8.0;\" from [Orders]");
  EXPECT_EQ(*exportStatement("Text", "a.b", "/out"), "select * into [a.b#txt] in \"/out\" \"Text;\" from [a.b]");
  EXPECT_FALSE(exportStatement("text", "Orders", "/out"));  // compared exactly
  // The file is named after the table with what no file name may hold as '_'.
  EXPECT_EQ(*exportStatement("Excel", "../Ord", "/out"),
            "select * into [../Ord] in \"/out/.._Ord.xls\" \"Excel 8.0;\" from [../Ord]");
  EXPECT_EQ(*exportStatement("Text", "a/b", "/out"), "select * into [a_b#txt] in \"/out\" \"Text;\" from [a/b]");
  EXPECT_EQ(*exportedFileName("HTML", "a/b", "/out"), "/out/a_b.html");
}

}  // namespace
}  // namespace kevra::db
