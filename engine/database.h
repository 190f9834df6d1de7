// Database: the engine's entry point for one Jet 4 file. Opening reads the
// header page and the system catalog; table definitions are read on first
// use and rows are read page by page through TableCursor.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog/catalog_object.h"
#include "engine/catalog/property_blob.h"
#include "engine/catalog/table_def.h"
#include "engine/format/value.h"
#include "engine/storage/header.h"

namespace kevra {

class PageFile;
class TableCursor;

struct OpenOptions {
  bool readOnly = true;
  std::string password;  // database password, if the file has one
};

class Database : public std::enable_shared_from_this<Database> {
 public:
  // Throws EngineError when the file is missing, not a Jet 4 database,
  // password-protected without the right password, or corrupt.
  static std::shared_ptr<Database> open(const std::string& path, const OpenOptions& options = {});
  ~Database();

  const std::string& path() const { return path_; }
  bool readOnly() const { return options_.readOnly; }
  const DatabaseHeader& header() const { return header_; }

  // Catalog
  const std::vector<CatalogObject>& objects() const { return objects_; }
  const CatalogObject* findObject(std::string_view name) const;  // tables, queries, links
  std::vector<TableListEntry> tableList() const;  // ordered by type text, then name
  std::vector<std::string> userTableNames() const;  // "TABLE" entries in list order
  // Definition of a local table (user or system). Throws when no table has that
  // name, or when the name is a link whose target is not available.
  std::shared_ptr<const TableDef> table(std::string_view name) const;
  std::shared_ptr<const TableDef> tableAtPage(uint32_t tdefPage, std::string name) const;
  const std::vector<Relationship>& relationships() const;
  // Properties of a table and its columns (empty when the table has none).
  const PropertyBlob& tableProperties(std::string_view name) const;
  // Database-level properties (MSysDb).
  const PropertyBlob& databaseProperties() const;

  // Rows
  std::unique_ptr<TableCursor> openCursor(std::shared_ptr<const TableDef> table) const;
  // Reads a long value (Memo/OLE) given its 12-byte header and any inline bytes.
  Binary readLongValue(ByteSpan field, const std::string& what) const;

  PageFile& pages() const { return *pages_; }
  // Drops cached definitions, properties and relationships after a change.
  void invalidateCaches();

 private:
  Database(std::string path, OpenOptions options);
  static std::shared_ptr<Database> openFile(const std::string& path, const OpenOptions& options);
  void loadCatalog();

  std::string path_;
  OpenOptions options_;
  std::unique_ptr<PageFile> pages_;
  DatabaseHeader header_;
  std::vector<CatalogObject> objects_;
  mutable std::mutex cacheMutex_;
  mutable std::vector<std::pair<uint32_t, std::shared_ptr<const TableDef>>> tdefCache_;
  mutable std::unique_ptr<std::vector<Relationship>> relationships_;
  mutable std::vector<std::pair<std::string, std::unique_ptr<PropertyBlob>>> propertyCache_;
  mutable std::unique_ptr<PropertyBlob> databaseProperties_;
};

// Reads a table's live rows in storage order (owned data pages ascending, slots
// in order, overflow rows followed). Keeps one checkpoint per data page so any
// row position can be reached again without reading the whole table.
class TableCursor {
 public:
  TableCursor(std::shared_ptr<const Database> db, std::shared_ptr<const TableDef> table);
  ~TableCursor();
  const TableDef& table() const { return *table_; }
  // Next row in storage order; false at the end. `row` gets one value per
  // column of table().columns.
  bool next(std::vector<Value>& row);
  // Location (page << 8 | slot) of the row last returned by next().
  uint32_t lastLocation() const { return lastLocation_; }
  // Moves so that the following next() returns the row at `position`
  // (0-based); returns false when the table has fewer rows.
  bool seek(uint64_t position);
  uint64_t position() const { return position_; }
  // Counts the rows by walking every data page (decoding nothing).
  uint64_t countRows();
  // A writer added (+1), rewrote (0) or removed (-1) the row at `location`
  // after this cursor began. Adjusts what the cursor knows of the table's
  // pages instead of counting them again, and returns the row's position (for
  // a removed row, the one it had). The next read seeks afresh.
  uint64_t followRowChange(uint32_t location, int liveRows);

 private:
  struct Impl;
  std::shared_ptr<const Database> db_;
  std::shared_ptr<const TableDef> table_;
  std::unique_ptr<Impl> impl_;
  uint64_t position_ = 0;
  uint32_t lastLocation_ = 0;
};

}  // namespace kevra
