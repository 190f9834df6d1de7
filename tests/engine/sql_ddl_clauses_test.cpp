// The column and key clauses of Jet's data-definition SQL beyond names and
// types: DEFAULT, ON UPDATE / ON DELETE actions, WITH COMPRESSION, and CHECK
// (refused). Each is read back through the engine and, where it shows it,
// through mdbtools.
#include <gtest/gtest.h>

#include "engine/format/value_text.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

std::optional<std::string> defaultOf(const std::shared_ptr<Database>& db, const std::string& table,
                                     const std::string& column) {
  const PropertySet* set = db->tableProperties(table).column(column);
  const PropertyRecord* r = set ? set->find("DefaultValue") : nullptr;
  if (!r) return std::nullopt;
  return std::get<std::string>(r->value);
}

bool compressed(const std::shared_ptr<Database>& db, const std::string& table, const std::string& column) {
  return db->table(table)->findColumn(column)->isCompressedUnicode();
}

uint32_t relationshipFlags(const std::shared_ptr<Database>& db, const std::string& name) {
  for (const Relationship& r : db->relationships())
    if (r.name == name) return r.flags;
  throw std::runtime_error("no relationship " + name);
}

std::vector<std::string> texts(const std::shared_ptr<Database>& db, const std::string& table) {
  std::vector<std::string> out;
  for (const auto& row : allRows(db, table)) {
    std::string line;
    for (const Value& v : row) line += (line.empty() ? "" : ",") + (isNull(v) ? std::string("NULL") : valueToText(v));
    out.push_back(line);
  }
  return out;
}

}  // namespace

TEST(SqlDdlClauses, DefaultIsStoredAsTheFieldsDefaultValueAndUsed) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE D (id LONG, name TEXT(20) DEFAULT 'none', qty LONG DEFAULT -5 NOT NULL, "
             "price CURRENCY NOT NULL DEFAULT 1.25, made DATETIME DEFAULT Now(), plain LONG)");
  EXPECT_EQ(defaultOf(db, "D", "name"), "'none'");
  EXPECT_EQ(defaultOf(db, "D", "qty"), "-5");
  EXPECT_EQ(defaultOf(db, "D", "price"), "1.25");
  EXPECT_EQ(defaultOf(db, "D", "made"), "Now()");
  EXPECT_EQ(defaultOf(db, "D", "plain"), std::nullopt);
  runSql(db, "INSERT INTO D (id) VALUES (1)");
  auto rows = allRows(db, "D");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(valueToText(rows[0][1]), "none");
  EXPECT_EQ(valueToText(rows[0][2]), "-5");
  EXPECT_EQ(valueToText(rows[0][3]), "1.25");
  EXPECT_TRUE(std::holds_alternative<DateTime>(rows[0][4]));

  runSql(db, "ALTER TABLE D ADD COLUMN note TEXT(10) DEFAULT 'n' & '/a'");
  EXPECT_EQ(defaultOf(db, "D", "note"), "'n' & '/a'");
  runSql(db, "ALTER TABLE D ALTER COLUMN qty DOUBLE DEFAULT 2.5");
  EXPECT_EQ(defaultOf(db, "D", "qty"), "2.5");
  runSql(db, "ALTER TABLE D ALTER COLUMN qty DOUBLE NOT NULL");  // without DEFAULT the default stays
  EXPECT_EQ(defaultOf(db, "D", "qty"), "2.5");
  runSql(db, "INSERT INTO D (id) VALUES (2)");
  EXPECT_EQ(texts(db, "D").back().substr(0, 13), "2,none,2.5,1.");

  // A constant the field cannot hold is refused, naming the field; nothing changes.
  const auto before = copy.bytes();
  expectRefusedUnchanged(db, copy, before, "CREATE TABLE E (a LONG DEFAULT 'abc')", "field 'a'");
  expectRefusedUnchanged(db, copy, before, "ALTER TABLE D ADD COLUMN big BYTE DEFAULT 256", "field 'big'");
  expectRefusedUnchanged(db, copy, before, "ALTER TABLE D ADD COLUMN x LONG DEFAULT", "expected");

  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  const auto [code, schema] = runCommand("mdb-schema --default-values -T D '" + copy.path() + "' access");
  ASSERT_EQ(code, 0) << schema;
  EXPECT_NE(schema.find("DEFAULT 'none'"), std::string::npos) << schema;
  EXPECT_NE(schema.find("DEFAULT 2.5"), std::string::npos) << schema;
}

TEST(SqlDdlClauses, ForeignKeyActionsAreStoredAndCarriedOut) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE Parent (id LONG PRIMARY KEY)");
  runSql(db, "CREATE TABLE Lines (id LONG, p LONG, "
             "CONSTRAINT follow FOREIGN KEY (p) REFERENCES Parent (id) ON UPDATE CASCADE ON DELETE CASCADE)");
  runSql(db, "CREATE TABLE Notes (id LONG, p LONG CONSTRAINT orphan REFERENCES Parent (id) ON DELETE SET NULL)");
  runSql(db, "CREATE TABLE Keep (id LONG, p LONG)");
  runSql(db, "ALTER TABLE Keep ADD CONSTRAINT hold FOREIGN KEY (p) REFERENCES Parent "
             "ON DELETE NO ACTION ON UPDATE NO ACTION");
  EXPECT_EQ(relationshipFlags(db, "follow"), 0x1100u);
  EXPECT_EQ(relationshipFlags(db, "orphan"), 0x2000u);
  EXPECT_EQ(relationshipFlags(db, "hold"), 0u);
  // Both sides' relationship indexes say so too: set-null is a 2 where a cascading delete has its 1.
  int setNullIndexes = 0;
  for (const char* table : {"Notes", "Parent"})
    for (const auto& li : db->table(table)->logicalIndexes) {
      EXPECT_FALSE(li.cascadeDeletes && li.cascadeNull) << li.name;
      setNullIndexes += li.cascadeNull;
    }
  EXPECT_EQ(setNullIndexes, 2);

  for (int id : {1, 2, 3, 4}) runSql(db, "INSERT INTO Parent VALUES (" + std::to_string(id) + ")");
  runSql(db, "INSERT INTO Lines VALUES (10, 1)");
  runSql(db, "INSERT INTO Lines VALUES (11, 2)");
  runSql(db, "INSERT INTO Notes VALUES (20, 2)");
  runSql(db, "INSERT INTO Notes VALUES (21, 4)");
  runSql(db, "INSERT INTO Keep VALUES (30, 3)");

  runSql(db, "UPDATE Parent SET id = 5 WHERE id = 1");  // the line follows its parent
  EXPECT_EQ(texts(db, "Lines"), (std::vector<std::string>{"10,5", "11,2"}));
  runSql(db, "DELETE FROM Parent WHERE id = 2");  // its line goes, its note keeps an empty key
  EXPECT_EQ(texts(db, "Lines"), (std::vector<std::string>{"10,5"}));
  EXPECT_EQ(texts(db, "Notes"), (std::vector<std::string>{"20,NULL", "21,4"}));
  const auto before = copy.bytes();
  expectRefusedUnchanged(db, copy, before, "DELETE FROM Parent WHERE id = 3", "relationship 'hold'");
  expectRefusedUnchanged(db, copy, before, "UPDATE Parent SET id = 7 WHERE id = 4", "relationship 'orphan'");

  // Actions Jet does not have, or one given twice, are syntax errors.
  expectRefusedUnchanged(db, copy, before, "CREATE TABLE X (p LONG REFERENCES Parent ON UPDATE SET NULL)",
                         "CASCADE or NO ACTION");
  expectRefusedUnchanged(db, copy, before,
                         "CREATE TABLE X (p LONG REFERENCES Parent ON DELETE CASCADE ON DELETE CASCADE)", "UPDATE");

  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  const auto [code, rows] = runCommand("mdb-export '" + copy.path() + "' MSysRelationships");
  ASSERT_EQ(code, 0) << rows;
  EXPECT_NE(rows.find("\"follow\",4352,1,0,\"Lines\",\"p\",\"Parent\",\"id\""), std::string::npos) << rows;
  EXPECT_NE(rows.find("\"orphan\",8192,1,0,\"Notes\",\"p\",\"Parent\",\"id\""), std::string::npos) << rows;

  const auto [schemaCode, schema] = runCommand("mdb-schema --relations '" + copy.path() + "' postgres");
  ASSERT_EQ(schemaCode, 0) << schema;
  const size_t follow = schema.find("REFERENCES \"Parent\"(\"id\") ON UPDATE CASCADE ON DELETE CASCADE");
  EXPECT_NE(follow, std::string::npos) << schema;

  // Compaction keeps the actions.
  const std::string compacted = copy.path() + ".compacted.mdb";
  const auto [compactCode, compactOut] =
      runCommand(std::string(KEVRA_CLI_PATH) + " compact '" + copy.path() + "' '" + compacted + "'");
  ASSERT_EQ(compactCode, 0) << compactOut;
  auto again = Database::open(compacted);
  EXPECT_EQ(relationshipFlags(again, "follow"), 0x1100u);
  EXPECT_EQ(relationshipFlags(again, "orphan"), 0x2000u);
}

TEST(SqlDdlClauses, WithCompressionSetsTheCompressedUnicodeFlag) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE Z (a TEXT(10) WITH COMPRESSION, b TEXT(10), c MEMO WITH COMP NOT NULL, d LONG)");
  EXPECT_TRUE(compressed(db, "Z", "a"));
  EXPECT_FALSE(compressed(db, "Z", "b"));  // as Jet's SQL makes text: only when asked
  EXPECT_TRUE(compressed(db, "Z", "c"));
  runSql(db, "INSERT INTO Z VALUES ('plain', 'plain', 'memo text', 1)");
  runSql(db, "ALTER TABLE Z ADD COLUMN e TEXT(5) WITH COMP");
  EXPECT_TRUE(compressed(db, "Z", "e"));
  runSql(db, "ALTER TABLE Z ALTER COLUMN a TEXT(20)");  // a change that does not say keeps it
  EXPECT_TRUE(compressed(db, "Z", "a"));
  runSql(db, "ALTER TABLE Z ALTER COLUMN b TEXT(20) WITH COMPRESSION");
  EXPECT_TRUE(compressed(db, "Z", "b"));
  runSql(db, "INSERT INTO Z VALUES ('x', 'y', 'z', 2, 'e')");
  EXPECT_EQ(texts(db, "Z"), (std::vector<std::string>{"plain,plain,memo text,1,NULL", "x,y,z,2,e"}));

  const auto before = copy.bytes();
  expectRefusedUnchanged(db, copy, before, "CREATE TABLE Y (a LONG WITH COMPRESSION)", "text and memo fields only");
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  const auto [code, csv] = runCommand("mdb-export '" + copy.path() + "' Z");
  EXPECT_EQ(csv, "a,b,c,d,e\n\"plain\",\"plain\",\"memo text\",1,\n\"x\",\"y\",\"z\",2,\"e\"\n");
}

TEST(SqlDdlClauses, CheckConstraintsAreRefusedByName) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE K (a LONG)");
  const auto before = copy.bytes();
  expectRefusedUnchanged(db, copy, before, "CREATE TABLE C (a LONG, CONSTRAINT positive CHECK (a > 0))",
                         "CHECK constraints are not supported: constraint 'positive', CHECK (a > 0).");
  expectRefusedUnchanged(db, copy, before, "CREATE TABLE C (a LONG CHECK (a>0 AND a < 10))",
                         "CHECK constraints are not supported: CHECK (a>0 AND a < 10).");
  expectRefusedUnchanged(db, copy, before, "CREATE TABLE C (a LONG NOT NULL UNIQUE CHECK (a <> 0))",
                         "CHECK constraints are not supported: CHECK (a <> 0).");
  expectRefusedUnchanged(db, copy, before, "ALTER TABLE K ADD CONSTRAINT small CHECK (a < 100)",
                         "constraint 'small'");
  expectRefusedUnchanged(db, copy, before, "ALTER TABLE K ADD COLUMN b LONG CONSTRAINT big CHECK (b > 100)",
                         "constraint 'big'");
  EXPECT_EQ(db->findObject("C"), nullptr);
}
