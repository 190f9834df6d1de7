// Database: the engine's entry point for one Jet 4 file (or an Access 97 Jet 3
// file, read-only). Opening reads the header page and the system catalog;
// table definitions are read on first use and rows are read page by page
// through TableCursor.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog/catalog_object.h"
#include "engine/catalog/property_blob.h"
#include "engine/format/table_def.h"
#include "engine/format/value.h"
#include "engine/storage/file_system.h"
#include "engine/storage/header.h"

namespace kevra {

class PageFile;
class TableCursor;     // engine/table/table_cursor.h
class ComplexColumns;  // engine/table/complex_columns.h

struct OpenOptions {
  bool readOnly = true;
  std::string password;  // database password, if the file has one
  // Where the file lives; null means the operating system's file system.
  // Must outlive the Database.
  FileSystem* fileSystem = nullptr;
  // Access 97 files: the code page their text is read in, when it is not the
  // one the header declares (0: the header's). Other formats ignore it.
  int codePage = 0;
};

class Database : public std::enable_shared_from_this<Database> {
 public:
  // Throws EngineError when the file is missing, not a Jet 4 database,
  // password-protected without the right password, or corrupt.
  static std::shared_ptr<Database> open(const std::string& path, const OpenOptions& options = {});
  ~Database();

  const std::string& path() const { return path_; }
  bool readOnly() const { return options_.readOnly; }
  // Why a file opened for writing is read-only all the same (a format this
  // engine reads but does not write yet); empty otherwise.
  const std::string& readOnlyReason() const { return readOnlyReason_; }
  // Whether opening needed a password (a Jet password, or Office encryption).
  bool passwordProtected() const { return passwordProtected_; }
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
  // What the complex columns of an ACE file hold (null until a table with
  // one was read).
  std::shared_ptr<const ComplexColumns> complexColumns() const {
    std::lock_guard lock(cacheMutex_);
    return complexColumns_;
  }

  // Rows
  std::unique_ptr<TableCursor> openCursor(std::shared_ptr<const TableDef> table) const;
  // Reads a long value (Memo/OLE) given its 12-byte header and any inline bytes.
  Binary readLongValue(ByteSpan field, const std::string& what) const;

  PageFile& pages() const { return *pages_; }

  // One read of the file that sees one state of it while it lives, whatever
  // other programs write meanwhile (page_file.h, 8): a statement, an export,
  // a block of rows. Nests. When the file changed since the last read, the
  // catalog and every cache are read again first. Throws EngineError when a
  // writer kept the file busy past the timeout.
  class ReadScope {
   public:
    explicit ReadScope(Database& db);
    ~ReadScope();
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

   private:
    Database& db_;
  };
  // Drops cached definitions, properties and relationships after a change.
  void invalidateCaches();
  // Reads the system catalog again (after objects were added, renamed or
  // removed), dropping the caches too.
  void reloadCatalog();
  // The page that took the last new usage-map row (0: none yet), so that new
  // maps share pages rather than each taking one.
  uint32_t& lastMapPage() { return lastMapPage_; }

 private:
  Database(std::string path, OpenOptions options);
  static std::shared_ptr<Database> openFile(const std::string& path, const OpenOptions& options);
  void loadCatalog();
  // Calculated columns take the type of their stored result (the ResultType
  // property); the descriptor's type code does not tell it.
  void applyResultTypes(TableDef& def) const;

  std::string path_;
  OpenOptions options_;
  std::string readOnlyReason_;
  bool passwordProtected_ = false;  // opened only with the right password
  std::unique_ptr<PageFile> pages_;
  DatabaseHeader header_;
  std::vector<CatalogObject> objects_;
  mutable std::mutex cacheMutex_;
  mutable std::vector<std::pair<uint32_t, std::shared_ptr<const TableDef>>> tdefCache_;
  mutable std::unique_ptr<std::vector<Relationship>> relationships_;
  mutable std::vector<std::pair<std::string, std::unique_ptr<PropertyBlob>>> propertyCache_;
  mutable std::unique_ptr<PropertyBlob> databaseProperties_;
  mutable std::shared_ptr<ComplexColumns> complexColumns_;
  uint32_t lastMapPage_ = 0;
};

}  // namespace kevra
