// The data-access objects the window uses: connection strings, catalog
// collections, column attributes and properties, keys, and the recordset.
#include <gtest/gtest.h>

#include "database/catalog.h"
#include "database/connection.h"
#include "database/connection_string.h"
#include "database/recordset.h"
#include "engine/util/error.h"
#include "sample_files.h"

using namespace kevra::db;
using kevra::test::sample;

namespace {
const std::string kProvider = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
}

TEST(ConnectionStrings, KeysQuotesAndPathsWithSemicolons) {
  ConnectionString cs("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/tmp/a;b.mdb;Jet OLEDB:Database Password=\"p;w\"");
  EXPECT_EQ(cs.get("data source").value_or(""), "/tmp/a;b.mdb");
  EXPECT_EQ(cs.get("Jet OLEDB:Database Password").value_or(""), "p;w");
  EXPECT_FALSE(cs.get("Mode").has_value());
}

TEST(ConnectionLifecycle, OpenCloseStateAndErrors) {
  Connection c;
  EXPECT_EQ(c.State(), adStateClosed);
  EXPECT_THROW(c.Close(), kevra::EngineError);
  c.Open(kProvider + sample("testv2000.mdb"), "admin", "", -1);
  EXPECT_EQ(c.State(), adStateOpen);
  EXPECT_THROW(c.Open(kProvider + sample("testv2000.mdb")), kevra::EngineError);  // already open
  c.Close();
  EXPECT_EQ(c.State(), adStateClosed);
  // The same object opens another file afterwards.
  c.Open(kProvider + sample("empty.mdb"));
  c.Close();
  EXPECT_THROW(c.Open("Provider=Microsoft.Jet.OLEDB.4.0"), kevra::EngineError);
  EXPECT_THROW(c.Open("Provider=SQLOLEDB;Data Source=x"), kevra::EngineError);
  EXPECT_THROW(c.Open(kProvider + sample("missing.mdb")), kevra::EngineError);
  EXPECT_EQ(c.State(), adStateClosed);
  c.Open(kProvider + sample("v2000_with-password.mdb") + ";Jet OLEDB:Database Password=password");
  EXPECT_EQ(c.State(), adStateOpen);
}

TEST(CatalogCollections, TablesColumnsIndexesKeys) {
  Connection c;
  c.Open(kProvider + sample("indextestv2000.mdb"));
  Catalog cat;
  EXPECT_THROW(cat.Tables(), kevra::EngineError);  // not bound yet
  cat.ActiveConnection(c);
  const Tables& tables = cat.Tables();
  const Table& t1 = tables.Item("Table1");
  EXPECT_EQ(t1.Type(), "TABLE");
  EXPECT_EQ(tables.Item(tables.Count() - 3).Name(), "Table1");
  EXPECT_EQ(t1.Columns().Count(), 5);
  EXPECT_EQ(t1.Columns().Item(0).Name(), "id");
  EXPECT_EQ(t1.Columns().Item(3).Type(), adVarWChar);
  EXPECT_EQ(t1.Columns().Item(3).DefinedSize(), 50);
  EXPECT_EQ(t1.Columns().Item(3).Attributes() & adColNullable, adColNullable);
  EXPECT_EQ(kevra::db::propertyText(t1.Columns().Item(0).Properties().Item("default").Value), "0");

  const Index& pk = t1.Indexes().Item("PrimaryKey");
  EXPECT_TRUE(pk.PrimaryKey());
  EXPECT_TRUE(pk.Unique());
  EXPECT_EQ(pk.Columns().Item(0).Name(), "id");

  const Keys& keys = t1.Keys();
  ASSERT_EQ(keys.Count(), 3);  // primary key, then the two foreign keys
  EXPECT_EQ(keys.Item(0).Type(), adKeyPrimary);
  EXPECT_EQ(keys.Item(1).Type(), adKeyForeign);
  EXPECT_EQ(keys.Item(1).RelatedTable(), "Table2");
  EXPECT_EQ(keys.Item(1).Columns().Item(0).Name(), "otherfk1");
  EXPECT_EQ(keys.Item(1).Columns().Item(0).RelatedColumn(), "id");

  EXPECT_THROW(t1.Columns().Item("ID "), kevra::EngineError);  // names match exactly
  EXPECT_THROW(t1.Columns().Item(5), kevra::EngineError);
  EXPECT_THROW(tables.Item(-1), kevra::EngineError);
}

TEST(CatalogCollections, AutoIncrementAndTypeCodes) {
  Connection c;
  c.Open(kProvider + sample("testv2000.mdb"));
  Catalog cat;
  cat.ActiveConnection(c);
  const Column& counter = cat.Tables().Item("Table3").Columns().Item(0);
  EXPECT_TRUE(std::get<bool>(counter.Properties().Item("autoincrement").Value));
  const Columns& cols = cat.Tables().Item("Table1").Columns();
  std::vector<int> types;
  for (int i = 0; i < cols.Count(); ++i) types.push_back(cols.Item(i).Type());
  EXPECT_EQ(types, (std::vector<int>{adVarWChar, adVarWChar, adUnsignedTinyInt, adSmallInt, adInteger, adDouble,
                                     adDate, adCurrency, adBoolean}));
  EXPECT_FALSE(std::get<bool>(cols.Item(0).Properties().Item("Autoincrement").Value));
  EXPECT_TRUE(kevra::isNull(cols.Item(1).Properties().Item("Default").Value));
}

TEST(RecordsetReads, SelectStarFetchesBlocksAtAnyPosition) {
  Connection c;
  c.Open(kProvider + sample("compindextestv2000.mdb"));
  Recordset rs;
  rs.Open("select * from [Table1]", c, 0, 1, 1);
  EXPECT_EQ(rs.State(), adStateOpen);
  EXPECT_EQ(rs.recordCount(), 512);
  std::vector<std::vector<kevra::Value>> first, again;
  EXPECT_EQ(rs.fetch(500, 100, first), 12);
  EXPECT_EQ(rs.fetch(0, 3, again), 3);
  EXPECT_EQ(rs.fetch(500, 1, again), 1);
  EXPECT_EQ(again[0], first[0]);
  EXPECT_GT(rs.fieldCount(), 1);
  rs.Close();
  EXPECT_EQ(rs.State(), adStateClosed);
  EXPECT_THROW(rs.Open("select * from [NoSuchTable]", c), kevra::EngineError);
  EXPECT_EQ(rs.State(), adStateClosed);
}
