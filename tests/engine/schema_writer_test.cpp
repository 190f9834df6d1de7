// Structure changes on copies of real files: each one read back through the
// engine and through mdbtools, checked with kevra-cli check, and every
// refusal leaving the file byte for byte as it was.
#include <gtest/gtest.h>

#include "engine/format/value_text.h"
#include "engine/storage/page_file.h"
#include "engine/storage/usage_map.h"
#include "engine/table/schema_writer.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

ColumnSpec column(const std::string& name, ColumnType type, uint16_t length = 0, bool required = false) {
  ColumnSpec c;
  c.name = name;
  c.type = type;
  c.length = length;
  c.required = required;
  return c;
}

ColumnSpec text(const std::string& name, int characters) { return column(name, ColumnType::Text, uint16_t(2 * characters)); }

ColumnSpec counter(const std::string& name) {
  ColumnSpec c = column(name, ColumnType::Long, 4);
  c.autoNumber = true;
  return c;
}

IndexSpec index(const std::string& name, std::vector<std::string> columns, bool primary = false, bool unique = false) {
  IndexSpec spec;
  spec.name = name;
  for (auto& c : columns) spec.columns.push_back({c, false});
  spec.primaryKey = primary;
  spec.unique = unique;
  return spec;
}

// Runs `change` with a fresh schema writer; the writer's transaction ends with it.
template <typename Change>
void change(const std::shared_ptr<Database>& db, Change work) {
  TableWriter writer(db);
  SchemaWriter schema(db, writer);
  work(schema);
}

template <typename Change>
void expectRefused(const std::shared_ptr<Database>& db, const ScratchCopy& copy, const std::string& fragment,
                   Change work) {
  const auto before = copy.bytes();
  try {
    change(db, work);
    ADD_FAILURE() << "accepted; expected a refusal with: " << fragment;
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
  }
  EXPECT_EQ(copy.bytes(), before) << fragment;
}

std::vector<std::string> columnNames(const std::shared_ptr<Database>& db, const std::string& table) {
  std::vector<std::string> names;
  for (const auto& c : db->table(table)->columns) names.push_back(c.name);
  return names;
}

// Runs `count` statements made by `statement(i)` in one transaction (one
// commit, not one flush per row).
template <typename Make>
void runMany(const std::shared_ptr<Database>& db, int count, Make statement) {
  TableWriter writer(db);
  writer.begin();
  for (int i = 0; i < count; ++i) runStatement(db, statement(i), &writer);
  writer.commit();
}

std::string cell(const std::shared_ptr<Database>& db, const std::string& sql) {
  auto result = runStatement(db, sql, nullptr);
  std::vector<std::vector<Value>> rows;
  result.rows->fetch(0, 1, rows);
  return rows.empty() || isNull(rows[0][0]) ? "<null>" : valueToText(rows[0][0]);
}

}  // namespace

TEST(SchemaTables, ANewTableTakesRowsAndReadsBackEverywhere) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  change(db, [](SchemaWriter& s) {
    s.createTable("Order Details",
                  {counter("ID"), text("Name", 50), column("Qty", ColumnType::Long, 4, true),
                   column("Price", ColumnType::Currency, 8), column("When", ColumnType::DateTime, 8),
                   column("Done", ColumnType::Boolean, 1), column("Notes", ColumnType::Memo),
                   column("Ratio", ColumnType::Double, 8)},
                  {index("PrimaryKey", {"ID"}, true), index("Name", {"Name"}, false, true)});
  });
  ASSERT_NE(db->findObject("Order Details"), nullptr);
  EXPECT_EQ(columnNames(db, "Order Details"),
            (std::vector<std::string>{"ID", "Name", "Qty", "Price", "When", "Done", "Notes", "Ratio"}));
  runMany(db, 300, [](int i) {
    return "INSERT INTO [Order Details] (Name, Qty, Price, Notes) VALUES ('item " + std::to_string(i) + "', " +
           std::to_string(i) + ", 1.25, '" + std::string(size_t(i % 7) * 300, 'n') + "')";
  });
  EXPECT_EQ(cell(db, "SELECT COUNT(*) FROM [Order Details]"), "300");
  EXPECT_EQ(cell(db, "SELECT MAX(ID) FROM [Order Details]"), "300");
  // The unique index and the required field are enforced.
  EXPECT_THROW(runSql(db, "INSERT INTO [Order Details] (Name, Qty) VALUES ('item 7', 1)"), EngineError);
  EXPECT_THROW(runSql(db, "INSERT INTO [Order Details] (Name) VALUES ('no quantity')"), EngineError);
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  auto [code, tables] = runCommand("mdb-tables -1 '" + copy.path() + "'");
  EXPECT_NE(tables.find("Order Details"), std::string::npos) << tables;
  auto [countCode, count] = runCommand("mdb-count '" + copy.path() + "' 'Order Details'");
  EXPECT_EQ(count, "300\n");
  auto exported = runCommand("mdb-export '" + copy.path() + "' 'Order Details'").second;
  EXPECT_NE(exported.find("\"item 299\""), std::string::npos);
  auto schema = runCommand("mdb-schema -T 'Order Details' '" + copy.path() + "'").second;
  EXPECT_NE(schema.find("[Notes]"), std::string::npos) << schema;
}

TEST(SchemaTables, RefusalsNameTheProblemAndChangeNothing) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  expectRefused(db, copy, "'Table1' already exists", [](SchemaWriter& s) { s.createTable("table1", {text("a", 5)}); });
  expectRefused(db, copy, "contains '.'", [](SchemaWriter& s) { s.createTable("a.b", {text("a", 5)}); });
  expectRefused(db, copy, "contains ']'", [](SchemaWriter& s) { s.createTable("x] ; DROP", {text("a", 5)}); });
  expectRefused(db, copy, "cannot begin with a space", [](SchemaWriter& s) { s.createTable(" T", {text("a", 5)}); });
  expectRefused(db, copy, "appears twice", [](SchemaWriter& s) { s.createTable("T", {text("a", 5), text("A", 5)}); });
  expectRefused(db, copy, "at most 64", [](SchemaWriter& s) { s.createTable(std::string(65, 'x'), {text("a", 5)}); });
  expectRefused(db, copy, "system table", [](SchemaWriter& s) { s.dropTable("MSysObjects"); });
  expectRefused(db, copy, "does not exist", [](SchemaWriter& s) { s.renameTable("Nope", "Other"); });
  expectRefused(db, copy, "'Table2' already exists", [](SchemaWriter& s) { s.renameTable("Table1", "TABLE2"); });
}

TEST(SchemaTables, DropAndRenameKeepTheFileWhole) {
  ScratchCopy copy("indextestv2000.mdb");
  auto db = openForWriting(copy.path());
  // Tables in a relationship are not dropped from under it.
  const std::string child = "Table1";  // holds the keys of "Table2Table1" and "Table3Table1"
  expectRefused(db, copy, "is part of the relationship", [&](SchemaWriter& s) { s.dropTable(child); });

  // A rename carries the relationship along.
  change(db, [&](SchemaWriter& s) { s.renameTable(child, "Renamed Child"); });
  EXPECT_EQ(db->findObject(child), nullptr);
  ASSERT_NE(db->findObject("Renamed Child"), nullptr);
  bool followed = false;
  for (const auto& r : db->relationships()) followed = followed || r.table == "Renamed Child";
  EXPECT_TRUE(followed);

  // A table of its own goes, and its pages are free again.
  change(db, [](SchemaWriter& s) { s.createTable("Scratch", {counter("ID"), text("t", 100)}, {index("PrimaryKey", {"ID"}, true)}); });
  runMany(db, 500, [](int) { return "INSERT INTO Scratch (t) VALUES ('" + std::string(90, 'x') + "')"; });
  const auto scratch = db->table("Scratch");
  std::vector<uint32_t> owned = UsageMap::read(db->pages(), scratch->ownedMapPointer, "Scratch").pages();
  owned.push_back(scratch->tdefPage);
  owned.push_back(scratch->realIndexes[0].rootPage);
  ASSERT_GT(owned.size(), 10u);
  change(db, [](SchemaWriter& s) { s.dropTable("Scratch"); });
  EXPECT_EQ(db->findObject("Scratch"), nullptr);
  // Its data pages, definition and index root are free in the global map.
  const UsageMap freePages = UsageMap::read(db->pages(), (1u << 8) | 0, "the global page map");
  for (uint32_t page : owned) EXPECT_TRUE(freePages.contains(page)) << page;
  change(db, [](SchemaWriter& s) { s.createTable("Again", {counter("ID"), text("t", 100)}); });
  runMany(db, 500, [](int) { return "INSERT INTO Again (t) VALUES ('" + std::string(90, 'x') + "')"; });
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  EXPECT_EQ(runCommand("mdb-count '" + copy.path() + "' Again").second, "500\n");
}

TEST(SchemaFields, AddDropAndRenameFields) {
  ScratchCopy copy("testv2000.mdb");  // Table1: A text (primary key), B text (indexed), C..I
  auto db = openForWriting(copy.path());
  const size_t rows = allRows(db, "Table1").size();
  change(db, [](SchemaWriter& s) { s.addColumn("Table1", text("Added", 30)); });
  EXPECT_EQ(cell(db, "SELECT COUNT(*) FROM Table1 WHERE Added IS NULL"), std::to_string(rows));
  runSql(db, "UPDATE Table1 SET Added = 'filled'");
  EXPECT_EQ(cell(db, "SELECT COUNT(*) FROM Table1 WHERE Added = 'filled'"), std::to_string(rows));

  change(db, [](SchemaWriter& s) { s.addColumn("Table1", counter("Serial")); });
  EXPECT_EQ(cell(db, "SELECT MAX(Serial) FROM Table1"), std::to_string(rows));
  runSql(db, "INSERT INTO Table1 (A) VALUES ('after serial')");
  EXPECT_EQ(cell(db, "SELECT Serial FROM Table1 WHERE A = 'after serial'"), std::to_string(rows + 1));

  expectRefused(db, copy, "required field", [](SchemaWriter& s) {
    s.addColumn("Table1", column("Must", ColumnType::Long, 4, true));
  });
  expectRefused(db, copy, "already exists", [](SchemaWriter& s) { s.addColumn("Table1", text("added", 5)); });
  expectRefused(db, copy, "only one", [](SchemaWriter& s) { s.addColumn("Table1", counter("Second")); });

  // Renaming the indexed field keeps its index; dropping it is refused while
  // the index stands, unless the index is to go with it.
  change(db, [](SchemaWriter& s) { s.renameColumn("Table1", "B", "Bee"); });
  EXPECT_EQ(cell(db, "SELECT COUNT(*) FROM Table1 WHERE Bee IS NOT NULL"),
            cell(db, "SELECT COUNT(*) FROM Table1 WHERE Bee IS NOT NULL"));
  expectRefused(db, copy, "is part of the index 'B'", [](SchemaWriter& s) { s.dropColumn("Table1", "Bee"); });
  change(db, [](SchemaWriter& s) { s.dropColumn("Table1", "Bee", true); });
  EXPECT_EQ(db->table("Table1")->findColumn("Bee"), nullptr);
  for (const auto& li : db->table("Table1")->logicalIndexes) EXPECT_NE(li.name, "B");
  runSql(db, "INSERT INTO Table1 (A, Added) VALUES ('after drop', 'x')");
  EXPECT_EQ(cell(db, "SELECT Added FROM Table1 WHERE A = 'after drop'"), "x");
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  auto exported = runCommand("mdb-export '" + copy.path() + "' Table1").second;
  EXPECT_NE(exported.find("\"after drop\""), std::string::npos) << exported;
}

TEST(SchemaFields, AlterColumnConvertsEveryRowOrNothing) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  change(db, [](SchemaWriter& s) {
    s.createTable("Numbers", {counter("ID"), text("Label", 50), column("N", ColumnType::Long, 4)},
                  {index("PrimaryKey", {"ID"}, true), index("ByN", {"N"})});
  });
  runMany(db, 2000, [](int i) {
    return "INSERT INTO Numbers (Label, N) VALUES ('" + std::to_string(i * 3) + "', " + std::to_string(i) + ")";
  });
  runSql(db, "INSERT INTO Numbers (Label, N) VALUES ('twelve', 12)");

  change(db, [](SchemaWriter& s) { s.alterColumn("Numbers", "N", column("N", ColumnType::Double, 8)); });
  EXPECT_EQ(db->table("Numbers")->findColumn("N")->type, ColumnType::Double);
  EXPECT_EQ(cell(db, "SELECT SUM(N) FROM Numbers"), std::to_string(1999 * 2000 / 2 + 12));
  change(db, [](SchemaWriter& s) { s.alterColumn("Numbers", "Label", text("Label", 80)); });
  EXPECT_EQ(db->table("Numbers")->findColumn("Label")->length, 160);
  EXPECT_EQ(cell(db, "SELECT Label FROM Numbers WHERE N = 1999"), "5997");

  expectRefused(db, copy, "the value 'twelve' does not convert", [](SchemaWriter& s) {
    s.alterColumn("Numbers", "Label", column("Label", ColumnType::Long, 4));
  });
  // The first value too long in storage order: 334 * 3.
  expectRefused(db, copy, "the value '1002' does not convert", [](SchemaWriter& s) {
    s.alterColumn("Numbers", "Label", text("Label", 3));
  });
  runSql(db, "INSERT INTO Numbers (N) VALUES (5)");
  expectRefused(db, copy, "some rows have no value", [](SchemaWriter& s) {
    s.alterColumn("Numbers", "Label", column("Label", ColumnType::Text, 160, true));
  });
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  EXPECT_EQ(runCommand("mdb-count '" + copy.path() + "' Numbers").second, "2002\n");
}

TEST(SchemaIndexes, CreateAndDropIndexesAndKeys) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  change(db, [](SchemaWriter& s) { s.createTable("People", {text("Name", 40), column("Age", ColumnType::Integer, 2)}); });
  runSql(db, "INSERT INTO People (Name, Age) VALUES ('ann', 30)");
  runSql(db, "INSERT INTO People (Name, Age) VALUES ('bob', 30)");
  runSql(db, "INSERT INTO People (Name, Age) VALUES ('ANN', 31)");
  // Text compares without regard to case: 'ann' and 'ANN' collide.
  expectRefused(db, copy, "would duplicate", [](SchemaWriter& s) { s.createIndex("People", index("U", {"Name"}, false, true)); });
  change(db, [](SchemaWriter& s) { s.createIndex("People", index("ByAge", {"Age", "Name"})); });
  runSql(db, "UPDATE People SET Name = 'anne' WHERE Age = 31");
  change(db, [](SchemaWriter& s) { s.createIndex("People", index("PrimaryKey", {"Name"}, true)); });
  expectRefused(db, copy, "already has a primary key", [](SchemaWriter& s) {
    s.createIndex("People", index("Other", {"Age"}, true));
  });
  expectRefused(db, copy, "already exists", [](SchemaWriter& s) { s.createIndex("People", index("byage", {"Age"})); });
  EXPECT_THROW(runSql(db, "INSERT INTO People (Name, Age) VALUES ('BOB', 1)"), EngineError);
  runSql(db, "INSERT INTO People (Name, Age) VALUES ('cy', 1)");
  change(db, [](SchemaWriter& s) { s.dropIndex("People", "ByAge"); });
  EXPECT_EQ(db->table("People")->logicalIndexes.size(), 1u);
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

// Indexes are filled from sorted keys, or one row at a time when the keys
// would take more memory than allowed; both give the same, checked index.
TEST(SchemaIndexes, SortedFillAndRowByRowFillAgree) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  change(db, [](SchemaWriter& s) { s.createTable("Words", {text("w", 40), column("n", ColumnType::Long, 4)}); });
  runMany(db, 3000, [](int i) {
    return "INSERT INTO Words (w, n) VALUES ('word " + std::to_string((i * 7919) % 3000) + "', " + std::to_string(i % 50) + ")";
  });
  runSql(db, "INSERT INTO Words (w, n) VALUES ('WORD 17', 1)");  // equal to 'word 17' ignoring case
  for (size_t budget : {size_t(1) << 30, size_t(512)}) {
    const auto before = copy.bytes();
    try {
      TableWriter writer(db);
      SchemaWriter schema(db, writer);
      schema.setIndexBuildBudget(budget);
      schema.createIndex("Words", index("U", {"w"}, false, true));
      ADD_FAILURE() << "a unique index over a repeated word";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find("would duplicate"), std::string::npos) << e.what();
    }
    EXPECT_EQ(copy.bytes(), before);
    TableWriter writer(db);
    SchemaWriter schema(db, writer);
    schema.setIndexBuildBudget(budget);
    schema.createIndex("Words", index("ByN" + std::to_string(budget), {"n", "w"}));
  }
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

TEST(SchemaRelationships, AnEnforcedRelationshipRefusesOrphansUntilDropped) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  change(db, [](SchemaWriter& s) {
    s.createTable("Customers", {counter("ID"), text("Name", 40)}, {index("PrimaryKey", {"ID"}, true)});
    s.createTable("Orders", {counter("ID"), column("Customer", ColumnType::Long, 4)}, {index("PrimaryKey", {"ID"}, true)});
  });
  runSql(db, "INSERT INTO Customers (Name) VALUES ('one')");
  runSql(db, "INSERT INTO Orders (Customer) VALUES (1)");
  runSql(db, "INSERT INTO Orders (Customer) VALUES (7)");
  RelationshipSpec spec;
  spec.table = "Orders";
  spec.columns = {"Customer"};
  spec.referencedTable = "Customers";
  spec.cascadeDeletes = true;
  expectRefused(db, copy, "matches no row of 'Customers'", [&](SchemaWriter& s) { s.addRelationship(spec); });
  runSql(db, "DELETE FROM Orders WHERE Customer = 7");
  std::string name;
  change(db, [&](SchemaWriter& s) { name = s.addRelationship(spec); });
  EXPECT_EQ(name, "CustomersOrders");
  EXPECT_THROW(runSql(db, "INSERT INTO Orders (Customer) VALUES (9)"), EngineError);
  runSql(db, "DELETE FROM Customers WHERE ID = 1");  // cascades
  EXPECT_EQ(cell(db, "SELECT COUNT(*) FROM Orders"), "0");
  expectRefused(db, copy, "is part of the relationship", [](SchemaWriter& s) { s.dropColumn("Orders", "Customer"); });
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  auto relationships = runCommand("mdb-export '" + copy.path() + "' MSysRelationships").second;
  EXPECT_NE(relationships.find("CustomersOrders"), std::string::npos);

  db = openForWriting(copy.path());
  change(db, [&](SchemaWriter& s) { s.dropRelationship(name); });
  runSql(db, "INSERT INTO Orders (Customer) VALUES (9)");
  EXPECT_TRUE(db->relationships().empty() || db->relationships().front().name != name);
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

TEST(SchemaFields, DefaultValuesApplyToNewRows) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  change(db, [](SchemaWriter& s) {
    s.createTable("D", {counter("ID"), text("Status", 20)});
    s.setDefaultValue("D", "Status", "\"new\"");
  });
  runSql(db, "INSERT INTO D (ID) VALUES (5)");
  EXPECT_EQ(cell(db, "SELECT Status FROM D"), "new");
  change(db, [](SchemaWriter& s) { s.setDefaultValue("D", "Status", ""); });
  runSql(db, "INSERT INTO D (ID) VALUES (6)");
  EXPECT_EQ(cell(db, "SELECT Status FROM D WHERE ID = 6"), "<null>");
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  auto props = runCommand("mdb-prop '" + copy.path() + "' D").second;
  (void)props;
}
