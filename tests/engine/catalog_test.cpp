// The system catalog as the engine reads it from real files: object list and
// its provider types, table definitions, index flags, relationships,
// properties, links and refusals.
#include <gtest/gtest.h>

#include "engine/table/schema_view.h"
#include "engine/table/database.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"
#include "sample_files.h"

using namespace kevra;
using kevra::test::sample;

namespace {

std::shared_ptr<Database> openSample(const std::string& name, const std::string& password = "") {
  OpenOptions o;
  o.password = password;
  return Database::open(sample(name), o);
}

std::string messageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

TEST(CatalogList, OrderedByTypeThenNameWithProviderTypes) {
  auto db = openSample("querytestv2000.mdb");
  std::vector<std::pair<std::string, std::string>> got;
  for (auto& e : db->tableList()) got.emplace_back(e.type, e.name);
  std::vector<std::pair<std::string, std::string>> want = {
      {"ACCESS TABLE", "MSysAccessObjects"}, {"SYSTEM TABLE", "MSysACEs"},      {"SYSTEM TABLE", "MSysObjects"},
      {"SYSTEM TABLE", "MSysQueries"},       {"SYSTEM TABLE", "MSysRelationships"}, {"TABLE", "Table1"},
      {"TABLE", "Table2"},                   {"TABLE", "Table3"},               {"VIEW", "SelectQuery"}};
  EXPECT_EQ(got, want);
  EXPECT_EQ(db->userTableNames(), (std::vector<std::string>{"Table1", "Table2", "Table3"}));
  // Action queries are not tables; asking for one as a table says what it is.
  EXPECT_NE(messageOf([&] { db->table("UpdateQuery"); }).find("saved query"), std::string::npos);
}

TEST(CatalogList, EmptyDatabaseHasOnlySystemTables) {
  auto db = openSample("empty.mdb");
  EXPECT_TRUE(db->userTableNames().empty());
  EXPECT_EQ(db->tableList().size(), 5u);
}

TEST(TableDefinition, EveryBasicTypeWithOffsetsAndFlags) {
  auto db = openSample("testv2000.mdb");
  auto t = db->table("table1");  // names match case-insensitively
  ASSERT_EQ(t->columns.size(), 9u);
  EXPECT_EQ(t->name, "Table1");
  std::vector<ColumnType> types;
  for (auto& c : t->columns) types.push_back(c.type);
  EXPECT_EQ(types, (std::vector<ColumnType>{ColumnType::Text, ColumnType::Text, ColumnType::Byte, ColumnType::Integer,
                                            ColumnType::Long, ColumnType::Double, ColumnType::DateTime,
                                            ColumnType::Currency, ColumnType::Boolean}));
  EXPECT_TRUE(t->columns[0].isCompressedUnicode());
  EXPECT_FALSE(t->columns[1].isCompressedUnicode());
  EXPECT_EQ(t->columns[1].length, 200);
  EXPECT_EQ(t->columns[4].fixedOffset, 3);
  EXPECT_EQ(t->rowCount, 2u);

  // A definition spread over two pages (89 columns).
  auto wide = db->table("Table2");
  EXPECT_EQ(wide->columns.size(), 89u);
  EXPECT_EQ(describeTable(*db, "Table2").indexes.size(), 5u);

  // Autonumbers: Long counter and GUID.
  EXPECT_TRUE(db->table("Table3")->columns[0].isLongAutoNumber());
  EXPECT_TRUE(db->table("Table4")->columns[1].isGuidAutoNumber());
}

TEST(TableDefinition, DeletedColumnsLeaveGapsInColumnNumbers) {
  auto db = openSample("delcoltestv2000.mdb");
  auto t = db->table("Table1");
  std::vector<int> numbers;
  for (auto& c : t->columns) numbers.push_back(c.number);
  EXPECT_EQ(numbers, (std::vector<int>{0, 2, 3, 5}));
  TableSchema s = describeTable(*db, "Table1");
  ASSERT_EQ(s.indexes.size(), 2u);
  EXPECT_EQ(s.indexes[1].columns[0].name, "id2");  // an index mdbtools cannot resolve
}

TEST(TableDefinition, IndexFlagsAndMultiColumnIndexes) {
  auto db = openSample("testindexpropertiesv2000.mdb");
  TableSchema s = describeTable(*db, "TableIgnoreNulls2");
  ASSERT_EQ(s.indexes.size(), 2u);
  const IndexInfo& data = s.indexes[0];
  EXPECT_EQ(data.name, "DataIndex");
  ASSERT_EQ(data.columns.size(), 2u);
  EXPECT_EQ(data.columns[0].name, "data1");
  EXPECT_EQ(data.columns[1].name, "data2");
  EXPECT_TRUE(data.ignoreNulls);
  EXPECT_FALSE(data.unique);
  EXPECT_TRUE(s.indexes[1].primary);
  EXPECT_TRUE(s.indexes[1].unique);
  ASSERT_FALSE(s.keys.empty());
  EXPECT_EQ(s.keys[0].kind, KeyKind::Primary);

  auto desc = describeTable(*openSample("compindextestv2000.mdb"), "Table1");
  bool sawDescending = false;
  for (auto& ix : desc.indexes)
    for (auto& c : ix.columns) sawDescending |= c.descending;
  EXPECT_TRUE(sawDescending);
}

TEST(Relationships, ReadFromTheCatalogWithCascadeFlags) {
  auto db = openSample("indextestv2000.mdb");
  TableSchema s = describeTable(*db, "Table1");
  std::vector<const KeyInfo*> foreign;
  for (auto& k : s.keys)
    if (k.kind == KeyKind::Foreign) foreign.push_back(&k);
  ASSERT_EQ(foreign.size(), 2u);
  EXPECT_EQ(foreign[0]->name, "Table2Table1");
  EXPECT_EQ(foreign[0]->relatedTable, "Table2");
  EXPECT_EQ(foreign[0]->columns[0].name, "otherfk1");
  EXPECT_EQ(foreign[0]->columns[0].relatedColumn, "id");
  EXPECT_TRUE(foreign[0]->cascadeDeletes);
  EXPECT_FALSE(foreign[0]->cascadeUpdates);
  EXPECT_TRUE(foreign[1]->cascadeUpdates);
  // The referencing table's foreign-key indexes are listed; the referenced
  // side's back-references are not.
  int fkIndexes = 0;
  for (auto& ix : s.indexes) fkIndexes += ix.foreign;
  EXPECT_EQ(fkIndexes, 2);
  for (auto& ix : describeTable(*db, "Table2").indexes) EXPECT_NE(ix.name.substr(0, 2), ".r");
}

TEST(Properties, DefaultsRequiredAndDecimalPrecision) {
  auto db = openSample("accesslike.mdb");
  TableSchema s = describeTable(*db, "t_like1");
  EXPECT_EQ(s.columns[0].defaultValue.value_or(""), "\"rrr\"");
  EXPECT_TRUE(s.columns[0].nullable);
  EXPECT_FALSE(s.columns[1].nullable);  // Required
  EXPECT_FALSE(s.columns[1].defaultValue.has_value());

  TableSchema t = describeTable(*openSample("testv2000.mdb"), "Table1");
  EXPECT_EQ(t.columns[2].defaultValue.value_or(""), "0");
  EXPECT_EQ(t.columns[0].type, 202);
  EXPECT_EQ(t.columns[0].definedSize, 50);
  EXPECT_EQ(t.columns[8].type, 11);
  EXPECT_FALSE(t.columns[8].nullable);  // Yes/No never holds NULL

  TableSchema d = describeTable(*openSample("fixednumerictestv2000.mdb"), "test");
  EXPECT_EQ(d.columns[1].type, 131);
  EXPECT_EQ(d.columns[1].precision, 18);
  EXPECT_EQ(d.columns[1].scale, 0);

  auto withProps = openSample("testv2000.mdb");
  const PropertyBlob& dbProps = withProps->databaseProperties();
  const PropertyRecord* version = dbProps.table.find("AccessVersion");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(std::get<std::string>(version->value), "08.50");
}

TEST(LinkedTables, ListedAndReportedWhenTheTargetIsMissing) {
  auto db = openSample("linked.mdb");
  int links = 0;
  for (auto& e : db->tableList()) links += e.type == "LINK";
  EXPECT_EQ(links, 2);
  std::string msg = messageOf([&] { db->table("Table1"); });
  EXPECT_NE(msg.find("linkee1.mdb"), std::string::npos) << msg;
  EXPECT_NE(msg.find("cannot be found"), std::string::npos) << msg;
}

TEST(OpenRefusals, FormatsPasswordsAndMissingFiles) {
  // An .accdb file asked for writing opens read-only, saying why, and a
  // write is refused with that reason.
  OpenOptions writable;
  writable.readOnly = false;
  auto accdb = Database::open(sample("stretch-testv2010.accdb"), writable);
  EXPECT_TRUE(accdb->readOnly());
  EXPECT_NE(accdb->readOnlyReason().find(".accdb"), std::string::npos);
  EXPECT_NE(messageOf([&] { TableWriter(accdb).begin(); }).find("read-only for now"), std::string::npos);
  EXPECT_TRUE(openSample("testv2000.mdb")->readOnlyReason().empty());
  EXPECT_NE(messageOf([] { openSample("v2000_with-password.mdb"); }).find("password"), std::string::npos);
  EXPECT_NE(messageOf([] { openSample("v2000_with-password.mdb", "Password"); }).find("Not a valid password"),
            std::string::npos);
  EXPECT_EQ(openSample("v2000_with-password.mdb", "password")->userTableNames(), std::vector<std::string>{"Table1"});
  EXPECT_NE(messageOf([] { openSample("no-such-file.mdb"); }).find("Could not find"), std::string::npos);
  EXPECT_NE(messageOf([] { openSample("MANIFEST.md"); }).find("Not an Access database"), std::string::npos);
  auto db = openSample("testv2000.mdb");
  EXPECT_NE(messageOf([&] { db->table("Nope"); }).find("'Nope' does not exist"), std::string::npos);
}
