// Rows of the system catalog (MSysObjects) that the engine keeps in memory,
// and relationships read from MSysRelationships.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kevra {

enum class ObjectType : int16_t {
  Table = 1,
  DatabaseObject = 2,
  Container = 3,
  LinkedOdbc = 4,
  Query = 5,
  LinkedTable = 6,
  Relationship = 8,
};

// Catalog ids of Jet's containers and of the database object, and the flag
// of Jet's own objects.
constexpr int32_t kRootContainerId = 0x0F000000;
constexpr int32_t kTablesContainerId = 0x0F000001;
constexpr int32_t kDatabasesContainerId = 0x0F000002;
constexpr int32_t kRelationshipsContainerId = 0x0F000003;
constexpr int32_t kDatabaseObjectId = 0x10000000;
constexpr uint32_t kJetSystemObjectFlag = 0x80000000;

struct CatalogObject {
  int32_t id = 0;
  int32_t parentId = 0;
  std::string name;
  int16_t type = 0;
  uint32_t flags = 0;
  std::string database;     // linked tables: path of the other file
  std::string connect;      // linked tables: connect string
  std::string foreignName;  // linked tables: name in the other file
  uint32_t rowLocation = 0;  // (page << 8 | row) of the MSysObjects row

  bool isLocalTable() const { return type == int16_t(ObjectType::Table) && parentId == kTablesContainerId; }
  bool isLink() const { return type == int16_t(ObjectType::LinkedTable) || type == int16_t(ObjectType::LinkedOdbc); }
  bool isQuery() const { return type == int16_t(ObjectType::Query); }
  uint32_t queryKind() const { return flags & 0xF0; }
};

struct RelationshipColumn {
  std::string column;            // in the referencing (foreign-key) table
  std::string referencedColumn;  // in the referenced table
};

struct Relationship {
  std::string name;
  std::string table;            // holds the foreign key (szObject)
  std::string referencedTable;  // szReferencedObject
  uint32_t flags = 0;           // grbit
  std::vector<RelationshipColumn> columns;  // ordered by icolumn

  bool enforced() const { return !(flags & 0x2); }
  bool cascadeUpdates() const { return flags & 0x100; }
  bool cascadeDeletes() const { return flags & 0x1000; }
  bool cascadeNull() const { return flags & 0x2000; }  // on delete, children's keys become NULL
};

// One entry of a provider-style table list.
struct TableListEntry {
  std::string name;
  std::string type;  // "TABLE", "SYSTEM TABLE", "ACCESS TABLE", "VIEW", "LINK", "PASS-THROUGH"
};

}  // namespace kevra
