// The rows of the system tables that describe objects: MSysObjects (one row
// per table or relationship, with its property blob), MSysACEs (who may do
// what with it) and MSysRelationships (one row per column pair). Changes go
// through the caller's TableWriter, so the catalog's own indexes stay right
// and everything is part of the caller's transaction.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/catalog/catalog_object.h"
#include "engine/catalog/property_blob.h"
#include "engine/format/value.h"

namespace kevra {

class Database;
class TableWriter;
struct TableDef;
struct RelationshipSpec;

class CatalogRows {
 public:
  CatalogRows(std::shared_ptr<Database> db, TableWriter& writer);

  // The MSysObjects row of a table (Type 1) whose definition is at `tdefPage`,
  // and its access entries copied from the Tables container.
  void addTable(const std::string& name, uint32_t tdefPage, const PropertyBlob& properties);
  // Removes the object's MSysObjects row and its access entries.
  void removeObject(int32_t id, uint32_t rowLocation);
  void renameObject(uint32_t rowLocation, const std::string& name);
  // Rewrites the property blob of the object whose row is at `rowLocation`.
  void setProperties(uint32_t rowLocation, const PropertyBlob& properties);
  // Sets fields of the object's MSysObjects row by name.
  void setObjectFields(uint32_t rowLocation, const std::vector<std::pair<std::string, Value>>& fields);

  // A relationship object (Type 8) with one MSysRelationships row per column
  // pair, and its access entries; returns the object's id.
  int32_t addRelationship(const RelationshipSpec& spec, uint32_t flags);
  // Removes the relationship's object and its MSysRelationships rows.
  void removeRelationship(const std::string& name);
  // MSysRelationships rows that name `table` (as either side) follow its new
  // name; with `column`, rows naming that column of that table follow it.
  void renameInRelationships(const std::string& table, const std::optional<std::string>& column,
                             const std::string& newName);

 private:
  using Row = std::vector<Value>;
  // Calls `visit` for every live row of a system table (rows are read first,
  // so `visit` may change the table).
  void eachRow(const std::string& table, const std::function<void(const TableDef&, const Row&, uint32_t)>& visit);
  void insert(const std::string& table, const std::vector<std::pair<std::string, Value>>& values);
  void copyAces(int32_t container, int32_t objectId);
  Binary adminOwner();

  std::shared_ptr<Database> db_;
  TableWriter& writer_;
};

}  // namespace kevra
