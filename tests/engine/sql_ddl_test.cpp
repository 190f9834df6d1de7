// Jet SQL structure statements run through the statement runner with every
// local service: each form the window builds and the ones users type, read
// back through the engine and mdbtools, kevra-cli check clean afterwards,
// and every refusal leaving the file byte for byte as it was.
#include <gtest/gtest.h>

#include "engine/format/value_text.h"
#include "engine/sql/local_services.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

long ddl(const std::shared_ptr<Database>& db, const std::string& sql) {
  LocalServices local(db);
  return runStatement(db, sql, local.services()).rowsAffected;
}

void expectDdlRefused(const std::shared_ptr<Database>& db, const ScratchCopy& copy, const std::string& sql,
                      const std::string& fragment) {
  const auto before = copy.bytes();
  try {
    ddl(db, sql);
    ADD_FAILURE() << "accepted: " << sql;
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << sql << "\n" << e.what();
  }
  EXPECT_EQ(copy.bytes(), before) << sql;
}

const ColumnDef& columnOf(const std::shared_ptr<Database>& db, const std::string& table, const std::string& name) {
  const ColumnDef* c = db->table(table)->findColumn(name);
  if (!c) throw std::runtime_error("no field " + name);
  return *c;
}

std::vector<std::string> indexNames(const std::shared_ptr<Database>& db, const std::string& table) {
  std::vector<std::string> names;
  for (const auto& li : db->table(table)->logicalIndexes) names.push_back(li.name);
  return names;
}

bool requiredProperty(const std::shared_ptr<Database>& db, const std::string& table, const std::string& column) {
  const PropertySet* set = db->tableProperties(table).column(column);
  const PropertyRecord* r = set ? set->find("Required") : nullptr;
  return r && std::holds_alternative<bool>(r->value) && std::get<bool>(r->value);
}

}  // namespace

// The statement forms the structure page builds, spelled as it builds them.
TEST(SqlDdl, TheWindowsStatementFormsChangeTheStructure) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  ddl(db, "CREATE TABLE [Order Details] (id COUNTER CONSTRAINT pk PRIMARY KEY, qty LONG, note TEXT(20))");
  ddl(db, "INSERT INTO [Order Details] (qty, note) VALUES (3, 'three')");

  ddl(db, "alter table [Order Details] add column [price] CURRENCY NULL");
  EXPECT_EQ(columnOf(db, "Order Details", "price").type, ColumnType::Currency);
  ddl(db, "ALTER TABLE [Order Details] ALTER COLUMN  [note] TEXT(80) NOT NULL ");
  EXPECT_EQ(columnOf(db, "Order Details", "note").length, 160);
  EXPECT_TRUE(requiredProperty(db, "Order Details", "note"));
  ddl(db, "ALTER TABLE [Order Details] ALTER COLUMN  [qty] double NULL ");
  EXPECT_EQ(columnOf(db, "Order Details", "qty").type, ColumnType::Double);
  // The autonumber restated with "counter" is no change of type.
  ddl(db, "ALTER TABLE [Order Details] ALTER COLUMN  [id] counter NOT NULL ");
  EXPECT_TRUE(columnOf(db, "Order Details", "id").isLongAutoNumber());

  ddl(db, "create UNIQUE index qtyNote on [Order Details]([qty],[note])");
  ddl(db, "create index byNote on [Order Details]([note])");
  EXPECT_EQ(indexNames(db, "Order Details"), (std::vector<std::string>{"byNote", "pk", "qtyNote"}));
  ddl(db, "DROP INDEX byNote ON [Order Details]");
  ddl(db, "ALTER TABLE [Order Details] DROP CONSTRAINT pk");
  ddl(db, "alter table [Order Details] add constraint [PrimaryKey] primary key ([id],[note])");
  const auto def = db->table("Order Details");
  bool primary = false;
  for (const auto& li : def->logicalIndexes)
    if (li.kind == IndexKind::PrimaryKey) primary = def->realIndexes[li.realIndex].columns.size() == 2;
  EXPECT_TRUE(primary);

  // ALTER COLUMN ... REFERENCES makes an enforced relationship.
  ddl(db, "CREATE TABLE Notes (note TEXT(80) CONSTRAINT notePk PRIMARY KEY)");
  expectDdlRefused(db, copy, "ALTER TABLE [Order Details] ALTER COLUMN  [note] TEXT(80) NULL  REFERENCES [Notes]([note]) ",
                   "matches no row of 'Notes'");
  ddl(db, "INSERT INTO Notes (note) VALUES ('three')");
  ddl(db, "ALTER TABLE [Order Details] ALTER COLUMN  [note] TEXT(80) NULL  REFERENCES [Notes]([note]) ");
  EXPECT_THROW(ddl(db, "INSERT INTO [Order Details] (note) VALUES ('four')"), EngineError);
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  const std::string schema = runCommand("mdb-schema -T 'Order Details' '" + copy.path() + "'").second;
  EXPECT_NE(schema.find("[price]"), std::string::npos) << schema;
}

TEST(SqlDdl, WhatUsersTypeAsWell) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  ddl(db, "CREATE TABLE Parent (id LONG PRIMARY KEY, name VARCHAR(30) NOT NULL UNIQUE)");
  ddl(db, "CREATE TABLE Child (id AUTOINCREMENT PRIMARY KEY, parent INTEGER4, "
          "CONSTRAINT toParent FOREIGN KEY (parent) REFERENCES Parent (id))");
  ddl(db, "INSERT INTO Parent (id, name) VALUES (1, 'one')");
  ddl(db, "INSERT INTO Parent (id, name) VALUES (2, 'two')");
  ddl(db, "INSERT INTO Child (parent) VALUES (1)");
  EXPECT_THROW(ddl(db, "INSERT INTO Child (parent) VALUES (3)"), EngineError);
  ddl(db, "ALTER TABLE Child DROP CONSTRAINT toParent");
  ddl(db, "INSERT INTO Child (parent) VALUES (3)");
  expectDdlRefused(db, copy, "ALTER TABLE Child ADD CONSTRAINT again FOREIGN KEY (parent) REFERENCES Parent (id)",
                   "matches no row of 'Parent'");
  ddl(db, "DELETE FROM Child WHERE parent = 3");
  ddl(db, "ALTER TABLE Child ADD CONSTRAINT again FOREIGN KEY (parent) REFERENCES Parent (id)");
  // A name given is the name kept: taken, it is refused rather than changed.
  expectDdlRefused(db, copy, "ALTER TABLE Child ADD CONSTRAINT again FOREIGN KEY (parent) REFERENCES Parent (id)",
                   "'again' already exists");
  expectDdlRefused(db, copy, "ALTER TABLE Child DROP COLUMN parent", "part of the relationship 'again'");
  expectDdlRefused(db, copy, "DROP TABLE Parent", "part of the relationship 'again'");

  // SELECT ... INTO makes a plain copy: the autonumber becomes a Long.
  EXPECT_EQ(ddl(db, "SELECT c.id, p.name INTO Copied FROM Child AS c INNER JOIN Parent AS p ON c.parent = p.id"), 1);
  EXPECT_EQ(columnOf(db, "Copied", "id").type, ColumnType::Long);
  EXPECT_FALSE(columnOf(db, "Copied", "id").isAutoNumber());
  EXPECT_EQ(columnOf(db, "Copied", "name").type, ColumnType::Text);
  expectDdlRefused(db, copy, "SELECT * INTO Copied FROM Parent", "'Copied' already exists");

  // Type words in any letter case; an unknown one is named.
  ddl(db, "CREATE TABLE Types (a tinyint, b SHORT, c single, d Money, e DateTime, f bit, g guid, h LongBinary, "
          "i memo, j Decimal(10,2), k varbinary(16))");
  const auto types = db->table("Types");
  std::vector<ColumnType> got;
  for (const auto& c : types->columns) got.push_back(c.type);
  EXPECT_EQ(got, (std::vector<ColumnType>{ColumnType::Byte, ColumnType::Integer, ColumnType::Single, ColumnType::Currency,
                                          ColumnType::DateTime, ColumnType::Boolean, ColumnType::Guid, ColumnType::OLE,
                                          ColumnType::Memo, ColumnType::Decimal, ColumnType::Binary}));
  expectDdlRefused(db, copy, "ALTER TABLE Types ADD COLUMN z unknown", "'unknown' is not a data type");
  ddl(db, "DROP TABLE Types");
  EXPECT_EQ(db->findObject("Types"), nullptr);

  // Refusals that keep the data safe.
  expectDdlRefused(db, copy, "CREATE TABLE [a.b] (x LONG)", "contains '.'");
  expectDdlRefused(db, copy, "ALTER TABLE Parent ADD COLUMN must LONG NOT NULL", "required field 'must'");
  ddl(db, "CREATE TABLE Dups (n LONG, v TEXT(10))");
  ddl(db, "INSERT INTO Dups (n, v) VALUES (1, 'x')");
  ddl(db, "INSERT INTO Dups (n, v) VALUES (2, 'X')");  // equal to 'x': text compares without regard to case
  ddl(db, "INSERT INTO Dups (n, v) VALUES (3, NULL)");
  expectDdlRefused(db, copy, "ALTER TABLE Dups ADD CONSTRAINT pk PRIMARY KEY (v)", "would duplicate");
  expectDdlRefused(db, copy, "CREATE UNIQUE INDEX u ON Dups (v)", "would duplicate");
  ddl(db, "DELETE FROM Dups WHERE n = 2");
  expectDdlRefused(db, copy, "ALTER TABLE Dups ADD CONSTRAINT pk PRIMARY KEY (v)", "cannot be empty");
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
  EXPECT_EQ(runCommand("mdb-count '" + copy.path() + "' Copied").second, "1\n");
}
