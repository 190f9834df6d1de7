// The system tables of a new database. Columns are listed by column number;
// fixed offsets and variable slots follow from that order as Jet assigns
// them (fixed columns packed one after another, Booleans at offset 0 taking
// no room; variable columns numbered 0, 1, 2, ...; a fixed column records
// how many variable columns precede it).
#include "engine/table/new_database_catalog.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/catalog/catalog_object.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr uint8_t kFixedColumn = 0x13;     // fixed, always-set bit, system-table bit
constexpr uint8_t kVariableColumn = 0x12;  // the same without "fixed"
constexpr uint8_t kSidColumn = 0x32;       // the binary owner/SID columns
constexpr uint16_t kGeneralSortOrder = 0x0409;

struct ColumnSpec {
  const char* name;
  ColumnType type;
  uint8_t flags;
};

uint16_t storedLength(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return 1;
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: return 4;
    case ColumnType::DateTime: return 8;
    case ColumnType::Text: return 510;  // 255 characters
    case ColumnType::Binary: return 510;
    default: return 0;  // Memo and OLE live on their own pages
  }
}

TableDef systemTable(const char* name, std::initializer_list<ColumnSpec> columns) {
  TableDef t;
  t.name = name;
  t.systemTable = true;
  uint16_t number = 0, fixedOffset = 0, variables = 0;
  for (const ColumnSpec& spec : columns) {
    ColumnDef c;
    c.name = spec.name;
    c.type = spec.type;
    c.rawType = uint8_t(spec.type);
    c.number = number++;
    c.flags = spec.flags;
    c.length = storedLength(spec.type);
    c.sortOrder = kGeneralSortOrder;
    if (c.isFixed()) {
      c.varIndex = variables;
      c.fixedOffset = spec.type == ColumnType::Boolean ? 0 : fixedOffset;
      if (spec.type != ColumnType::Boolean) fixedOffset = uint16_t(fixedOffset + c.length);
    } else {
      c.varIndex = variables++;
    }
    t.columns.push_back(std::move(c));
  }
  t.maxColumnCount = number;
  t.varColumnCount = variables;
  return t;
}

// One real index with one logical index on it.
void addIndex(TableDef& t, const char* name, uint32_t number, IndexKind kind, uint8_t flags,
              std::initializer_list<uint16_t> columnNumbers) {
  RealIndexDef real;
  for (uint16_t c : columnNumbers) real.columns.push_back({c, true});
  real.flags = flags;
  LogicalIndexDef logical;
  logical.name = name;
  logical.number = number;
  logical.realIndex = uint32_t(t.realIndexes.size());
  logical.kind = kind;
  t.realIndexes.push_back(std::move(real));
  t.logicalIndexes.push_back(std::move(logical));
}

// Jet stores the logical indexes of its own tables sorted by name.
void sortIndexesByName(TableDef& t) {
  std::stable_sort(t.logicalIndexes.begin(), t.logicalIndexes.end(),
                   [](const auto& a, const auto& b) { return compareNamesCaseInsensitive(a.name, b.name) < 0; });
}

constexpr uint8_t kUniqueIndex = 0x81;
constexpr uint8_t kRequiredIndex = 0x88;
constexpr uint8_t kIgnoreNullsIndex = 0x82;

TableDef objectsTable() {
  TableDef t = systemTable("MSysObjects", {
                                              {"Id", ColumnType::Long, kFixedColumn},
                                              {"ParentId", ColumnType::Long, kFixedColumn},
                                              {"Name", ColumnType::Text, kVariableColumn},
                                              {"Type", ColumnType::Integer, kFixedColumn},
                                              {"DateCreate", ColumnType::DateTime, kFixedColumn},
                                              {"DateUpdate", ColumnType::DateTime, kFixedColumn},
                                              {"Owner", ColumnType::Binary, kSidColumn},
                                              {"Flags", ColumnType::Long, kFixedColumn},
                                              {"Database", ColumnType::Memo, kVariableColumn},
                                              {"Connect", ColumnType::Memo, kVariableColumn},
                                              {"ForeignName", ColumnType::Text, kVariableColumn},
                                              {"RmtInfoShort", ColumnType::Binary, kVariableColumn},
                                              {"RmtInfoLong", ColumnType::OLE, kVariableColumn},
                                              {"Lv", ColumnType::OLE, kVariableColumn},
                                              {"LvProp", ColumnType::OLE, kVariableColumn},
                                              {"LvModule", ColumnType::OLE, kVariableColumn},
                                              {"LvExtra", ColumnType::OLE, kVariableColumn},
                                          });
  addIndex(t, "ParentIdName", 0, IndexKind::Normal, kUniqueIndex, {1, 2});
  addIndex(t, "Id", 1, IndexKind::PrimaryKey, kUniqueIndex, {0});
  sortIndexesByName(t);
  return t;
}

TableDef acesTable() {
  TableDef t = systemTable("MSysACEs", {
                                           {"ObjectId", ColumnType::Long, kFixedColumn},
                                           {"SID", ColumnType::Binary, kSidColumn},
                                           {"ACM", ColumnType::Long, kFixedColumn},
                                           {"FInheritable", ColumnType::Boolean, kFixedColumn},
                                       });
  addIndex(t, "ObjectId", 0, IndexKind::Normal, kRequiredIndex, {0});
  return t;
}

TableDef queriesTable() {
  TableDef t = systemTable("MSysQueries", {
                                              {"ObjectId", ColumnType::Long, kFixedColumn},
                                              {"Attribute", ColumnType::Byte, kFixedColumn},
                                              {"Order", ColumnType::Binary, kVariableColumn},
                                              {"Name1", ColumnType::Text, kVariableColumn},
                                              {"Name2", ColumnType::Text, kVariableColumn},
                                              {"Expression", ColumnType::Memo, kVariableColumn},
                                              {"Flag", ColumnType::Integer, kFixedColumn},
                                              {"LvExtra", ColumnType::Long, kFixedColumn},
                                          });
  addIndex(t, "ObjectIdAttribute", 0, IndexKind::PrimaryKey, kUniqueIndex, {0, 1, 2});
  return t;
}

TableDef relationshipsTable() {
  TableDef t = systemTable("MSysRelationships", {
                                                    {"szRelationship", ColumnType::Text, kVariableColumn},
                                                    {"grbit", ColumnType::Long, kFixedColumn},
                                                    {"ccolumn", ColumnType::Long, kFixedColumn},
                                                    {"icolumn", ColumnType::Long, kFixedColumn},
                                                    {"szObject", ColumnType::Text, kVariableColumn},
                                                    {"szColumn", ColumnType::Text, kVariableColumn},
                                                    {"szReferencedObject", ColumnType::Text, kVariableColumn},
                                                    {"szReferencedColumn", ColumnType::Text, kVariableColumn},
                                                });
  addIndex(t, "szRelationship", 0, IndexKind::Normal, kIgnoreNullsIndex, {0});
  addIndex(t, "szObject", 1, IndexKind::Normal, kIgnoreNullsIndex, {4});
  addIndex(t, "szReferencedObject", 2, IndexKind::Normal, kIgnoreNullsIndex, {6});
  sortIndexesByName(t);
  return t;
}

// A catalog row: the eight leading columns given, the long and remote ones NULL.
std::vector<Value> objectRow(int32_t id, int32_t parentId, const char* name, ObjectType type, DateTime created,
                             const Binary& owner) {
  std::vector<Value> row(17);
  row[0] = id;
  row[1] = parentId;
  row[2] = std::string(name);
  row[3] = int16_t(type);
  row[4] = created;
  row[5] = created;
  row[6] = owner;
  row[7] = int32_t(kJetSystemObjectFlag);
  return row;
}

}  // namespace

const SidMaskPair& newDatabaseSidMask() {
  // Observed in an empty file made by Jet 4.0 build 9756: creation date
  // 42329.9448 (bytes 3e 85 d3 3b 3e ab e4 40) with the mask 67 8a.
  static const SidMaskPair pair = [] {
    SidMaskPair p{};
    const uint64_t bits = 0x40E4AB3E3BD3853EULL;
    std::memcpy(&p.createdSerial, &bits, 8);
    p.mask[0] = 0x67;
    p.mask[1] = 0x8A;
    return p;
  }();
  return pair;
}

Binary maskedSid(BuiltInAccount account, const uint8_t mask[2]) {
  Binary sid;
  switch (account) {
    case BuiltInAccount::Engine: sid = {0x02, 0x03}; break;
    case BuiltInAccount::Admin: sid = {0x03, 0x01}; break;
    case BuiltInAccount::Users: sid = {0x02, 0x01}; break;
    case BuiltInAccount::Creator: sid = {0x02, 0x04}; break;
  }
  sid[0] ^= mask[0];
  sid[1] ^= mask[1];
  return sid;
}

std::vector<NewSystemTable> newSystemTables(const uint32_t (&tdefPages)[4], DateTime created, const uint8_t mask[2]) {
  std::vector<NewSystemTable> tables(4);
  tables[0].def = objectsTable();
  tables[1].def = acesTable();
  tables[2].def = queriesTable();
  tables[3].def = relationshipsTable();
  for (size_t k = 0; k < 4; ++k) tables[k].def.tdefPage = tdefPages[k];
  const int32_t objects = int32_t(tdefPages[0]), aces = int32_t(tdefPages[1]), queries = int32_t(tdefPages[2]),
                relationships = int32_t(tdefPages[3]);

  const Binary engine = maskedSid(BuiltInAccount::Engine, mask);
  const Binary admin = maskedSid(BuiltInAccount::Admin, mask);
  const Binary users = maskedSid(BuiltInAccount::Users, mask);
  const Binary creator = maskedSid(BuiltInAccount::Creator, mask);

  // The catalog rows, in the order Jet writes them.
  auto& catalog = tables[0].rows;
  catalog.push_back(objectRow(kTablesContainerId, kRootContainerId, "Tables", ObjectType::Container, created, engine));
  catalog.push_back(
      objectRow(kDatabasesContainerId, kRootContainerId, "Databases", ObjectType::Container, created, engine));
  catalog.push_back(
      objectRow(kRelationshipsContainerId, kRootContainerId, "Relationships", ObjectType::Container, created, engine));
  catalog.push_back(
      objectRow(kDatabaseObjectId, kDatabasesContainerId, "MSysDb", ObjectType::DatabaseObject, created, admin));
  for (size_t k = 0; k < 4; ++k)
    catalog.push_back(objectRow(int32_t(tdefPages[k]), kTablesContainerId, tables[k].def.name.c_str(),
                                ObjectType::Table, created, engine));

  // Access-control rows: (object, account, permission mask, inheritable).
  struct Ace {
    int32_t object;
    const Binary& sid;
    int32_t acm;
    bool inheritable;
  };
  const Ace aceRows[] = {
      {objects, admin, 393216, false},
      {aces, admin, 393216, false},
      {queries, admin, 393216, false},
      {relationships, admin, 917504, false},
      {kTablesContainerId, creator, 983294, true},
      {kTablesContainerId, admin, 393217, false},
      {kRelationshipsContainerId, creator, 983294, true},
      {kRelationshipsContainerId, admin, 393217, false},
      {kDatabasesContainerId, admin, 393216, false},
      {kDatabaseObjectId, admin, 393230, false},
      {kDatabaseObjectId, users, 14, false},
      {queries, users, 20, false},
      {relationships, users, 20, false},
      {objects, users, 20, false},
      {kTablesContainerId, users, 1048319, true},
      {kRelationshipsContainerId, users, 1048575, true},
  };
  for (const Ace& a : aceRows) tables[1].rows.push_back({a.object, a.sid, a.acm, a.inheritable});
  return tables;
}

}  // namespace kevra
