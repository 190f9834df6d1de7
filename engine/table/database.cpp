// Opening a Jet 4 or Jet 3 file, reading its system catalog, and handing out table
// definitions, relationships and property blobs on demand.
#include "engine/table/database.h"

#include "engine/table/complex_columns.h"
#include "engine/table/linked_tables.h"
#include "engine/table/table_cursor.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>


#include "engine/catalog/tdef_reader.h"
#include "engine/storage/data_page.h"
#include "engine/format/long_value.h"
#include "engine/format/row_codec.h"
#include "engine/storage/page_codec.h"
#include "engine/storage/page_file.h"
#include "engine/util/code_page.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr uint32_t kCatalogPage = 2;
constexpr uint32_t kJetSystemFlag = 0x80000000;
constexpr uint32_t kAccessSystemFlag = 0x00000002;

// A copy of `table` that keeps only the named columns, so a scan decodes
// (and follows long values for) nothing else.
std::shared_ptr<TableDef> withColumns(const TableDef& table, std::initializer_list<const char*> names) {
  auto copy = std::make_shared<TableDef>(table);
  copy->columns.clear();
  for (const auto& c : table.columns)
    for (const char* n : names)
      if (namesEqualCaseInsensitive(c.name, n)) copy->columns.push_back(c);
  return copy;
}

size_t columnIndex(const TableDef& t, std::string_view name) {
  for (size_t i = 0; i < t.columns.size(); ++i)
    if (namesEqualCaseInsensitive(t.columns[i].name, name)) return i;
  throw CorruptFileError("Corrupt file: the system table '" + t.name + "' has no column '" + std::string(name) + "'.");
}

template <typename T>
T valueAs(const Value& v, T fallback) {
  if (auto p = std::get_if<T>(&v)) return *p;
  return fallback;
}

int64_t integerOf(const Value& v) {
  if (auto p = std::get_if<int32_t>(&v)) return *p;
  if (auto p = std::get_if<int16_t>(&v)) return *p;
  if (auto p = std::get_if<uint8_t>(&v)) return *p;
  return 0;
}

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string typeText(const CatalogObject& o) {
  if (o.parentId != kTablesContainerId) return {};
  if (o.type == int16_t(ObjectType::Table)) {
    if (o.flags & kJetSystemFlag) return "SYSTEM TABLE";
    if (o.flags & kAccessSystemFlag) return "ACCESS TABLE";
    if (o.name.size() >= 4 && namesEqualCaseInsensitive(o.name.substr(0, 4), "MSys")) return "SYSTEM TABLE";
    return "TABLE";
  }
  if (o.type == int16_t(ObjectType::LinkedTable)) return "LINK";
  if (o.type == int16_t(ObjectType::LinkedOdbc)) return "PASS-THROUGH";
  if (o.type == int16_t(ObjectType::Query) && o.queryKind() == 0) return "VIEW";
  return {};
}

}  // namespace

Database::Database(std::string path, OpenOptions options) : path_(std::move(path)), options_(std::move(options)) {}
Database::~Database() = default;

namespace {

// Databases open for writing in this process, by file identity: a second
// open for writing shares the first one's Database (one lock, one cache).
std::mutex registryMutex;
using WriterKey = std::pair<const FileSystem*, FileIdentity>;
std::map<WriterKey, std::weak_ptr<Database>>& writers() {
  static std::map<WriterKey, std::weak_ptr<Database>> map;
  return map;
}

}  // namespace

std::shared_ptr<Database> Database::open(const std::string& path, const OpenOptions& options) {
  if (options.readOnly) return openFile(path, options);
  std::lock_guard lock(registryMutex);
  FileSystem& fs = options.fileSystem ? *options.fileSystem : realFileSystem();
  std::optional<WriterKey> id;
  if (auto identity = fs.identity(path)) id = WriterKey{&fs, *identity};
  if (id) {
    auto it = writers().find(*id);
    if (it != writers().end()) {
      if (auto existing = it->second.lock()) {
        if (existing->passwordProtected_ && options.password.empty()) throw PasswordRequiredError(fileName(path));
        if (existing->passwordProtected_ && options.password != existing->options_.password)
          throw EngineError(wrongPasswordMessage(fileName(path)));
        return existing;
      }
    }
  }
  auto db = openFile(path, options);
  if (id) writers()[*id] = db;
  return db;
}

// Formats read but not written yet: why writing is refused, or empty.
std::string readOnlyReasonFor(FileFormat format) {
  switch (format) {
    case FileFormat::Jet3: return "Access 97 files open read-only for now.";
    case FileFormat::Ace12:
    case FileFormat::Ace14:
    case FileFormat::Ace16:
    case FileFormat::Ace17: return "Access 2007 and later (.accdb) files open read-only for now.";
    default: return {};
  }
}

std::shared_ptr<Database> Database::openFile(const std::string& path, const OpenOptions& options) {
  std::shared_ptr<Database> db(new Database(path, options));
  FileSystem& fs = options.fileSystem ? *options.fileSystem : realFileSystem();
  db->pages_ = std::make_unique<PageFile>(fs, path, options.readOnly);
  DatabaseHeader header;
  {
    ReadScope reading(*db);
    header = decodeHeader(db->pages_->span(db->pages_->read(0)));
  }
  if (header.format == FileFormat::Unknown)
    throw UnsupportedError("'" + fileName(path) + "' has an unknown database format (version byte " +
                           std::to_string(header.versionByte) + ").");
  if (std::string reason = readOnlyReasonFor(header.format); !reason.empty()) {
    db->readOnlyReason_ = reason;
    if (!options.readOnly) {
      db->pages_.reset();
      db->options_.readOnly = true;
      db->pages_ = std::make_unique<PageFile>(fs, path, true);
    }
  }
  if (header.format == FileFormat::Jet3) {
    int codePage = options.codePage ? options.codePage : header.codePage;
    if (options.codePage && (options.codePage > 0xFFFF || !canDecodeCodePage(options.codePage)))
      throw EngineError("Code page " + std::to_string(options.codePage) +
                        " is not one Kevra can read text in: neither its own tables nor this system's converter know it.");
    db->pages_->setTextCodePage(uint16_t(canDecodeCodePage(codePage) ? codePage : 1252));
  }
  ReadScope reading(*db);
  if (header.hasPassword()) {
    if (options.password.empty()) throw PasswordRequiredError(fileName(path));
    if (options.password != header.password) throw EngineError(wrongPasswordMessage(fileName(path)));
  }
  if (header.encryptionKey != 0) {
    const PageRef headerPage = db->pages_->read(0);
    ByteSpan page0 = db->pages_->span(headerPage);
    db->passwordProtected_ = header.hasPassword() || needsEncryptionPassword(page0, header);
    db->pages_->setCodec(openPageCodec(page0, header, options.password, fileName(path)));
  } else {
    db->passwordProtected_ = header.hasPassword();
  }
  db->header_ = std::move(header);
  db->loadCatalog();
  return db;
}

Database::ReadScope::ReadScope(Database& db) : db_(db) {
  if (db_.pages_->beginRead() && !db_.objects_.empty()) {
    try {
      db_.reloadCatalog();
    } catch (...) {
      db_.pages_->endRead();
      throw;
    }
  }
}

Database::ReadScope::~ReadScope() { db_.pages_->endRead(); }

void Database::loadCatalog() {
  auto full = readTableDef(*pages_, kCatalogPage, "MSysObjects");
  auto slim = withColumns(*full, {"Id", "ParentId", "Name", "Type", "Flags", "Database", "Connect", "ForeignName"});
  const size_t cId = columnIndex(*slim, "Id"), cParent = columnIndex(*slim, "ParentId"),
               cName = columnIndex(*slim, "Name"), cType = columnIndex(*slim, "Type"),
               cFlags = columnIndex(*slim, "Flags"), cDb = columnIndex(*slim, "Database"),
               cConnect = columnIndex(*slim, "Connect"), cForeign = columnIndex(*slim, "ForeignName");
  {
    std::lock_guard lock(cacheMutex_);
    tdefCache_.emplace_back(kCatalogPage, full);
  }
  TableCursor cursor(shared_from_this(), slim);
  std::vector<Value> row;
  while (cursor.next(row)) {
    CatalogObject o;
    o.id = int32_t(integerOf(row[cId]));
    o.parentId = int32_t(integerOf(row[cParent]));
    o.name = valueAs<std::string>(row[cName], "");
    o.type = int16_t(integerOf(row[cType]));
    o.flags = uint32_t(integerOf(row[cFlags]));
    o.database = valueAs<std::string>(row[cDb], "");
    o.connect = valueAs<std::string>(row[cConnect], "");
    o.foreignName = valueAs<std::string>(row[cForeign], "");
    o.rowLocation = cursor.lastLocation();
    objects_.push_back(std::move(o));
  }
}

const CatalogObject* Database::findObject(std::string_view name) const {
  for (const auto& o : objects_)
    if (o.parentId == kTablesContainerId && namesEqualCaseInsensitive(o.name, name)) return &o;
  return nullptr;
}

std::vector<TableListEntry> Database::tableList() const {
  std::vector<TableListEntry> list;
  for (const auto& o : objects_) {
    std::string type = typeText(o);
    if (!type.empty()) list.push_back({o.name, std::move(type)});
  }
  std::stable_sort(list.begin(), list.end(), [](const TableListEntry& a, const TableListEntry& b) {
    if (a.type != b.type) return a.type < b.type;
    return compareNamesCaseInsensitive(a.name, b.name) < 0;
  });
  return list;
}

std::vector<std::string> Database::userTableNames() const {
  std::vector<std::string> names;
  for (auto& e : tableList())
    if (e.type == "TABLE") names.push_back(e.name);
  return names;
}

std::shared_ptr<const TableDef> Database::table(std::string_view name) const {
  const CatalogObject* o = findObject(name);
  if (!o) throw EngineError("The table '" + std::string(name) + "' does not exist in '" + fileName(path_) + "'.");
  if (o->isLink()) {
    if (o->type == int16_t(ObjectType::LinkedOdbc))
      throw UnsupportedError("'" + o->name + "' is linked to an ODBC data source, which cannot be read here.");
    const LinkedTable link = linkedTable(*this, o->name);
    const std::optional<std::string> target = findLinkTarget(*this, link.datasource);
    if (!target) throw EngineError(missingLinkTargetMessage(*this, link));
    throw UnsupportedError("The linked table '" + o->name + "' is the table '" + link.foreignName + "' of '" +
                           *target + "'; its rows are read from that file, not through this one.");
  }
  if (o->isQuery()) throw EngineError("'" + o->name + "' is a saved query, not a table.");
  if (o->type != int16_t(ObjectType::Table))
    throw EngineError("'" + o->name + "' is not a table.");
  if (o->id <= 2 && o->name != "MSysObjects")
    throw CorruptFileError("Corrupt file: table '" + o->name + "' has an impossible definition page.");
  return tableAtPage(uint32_t(o->id), o->name);
}

std::shared_ptr<const TableDef> Database::tableAtPage(uint32_t tdefPage, std::string name) const {
  {
    std::lock_guard lock(cacheMutex_);
    for (auto& [page, def] : tdefCache_)
      if (page == tdefPage) return def;
  }
  auto def = readTableDef(*pages_, tdefPage, name);
  applyResultTypes(*def);
  for (const auto& c : def->columns)
    if (c.type == ColumnType::Complex) {
      std::lock_guard lock(cacheMutex_);
      if (!complexColumns_) complexColumns_ = std::make_shared<ComplexColumns>(weak_from_this());
      def->complexValues = complexColumns_;
      break;
    }
  std::lock_guard lock(cacheMutex_);
  for (auto& [page, cached] : tdefCache_)
    if (page == tdefPage) return cached;
  tdefCache_.emplace_back(tdefPage, def);
  return def;
}

void Database::applyResultTypes(TableDef& def) const {
  bool any = false;
  for (const auto& c : def.columns) any = any || c.isCalculated();
  if (!any || !findObject(def.name)) return;
  const PropertyBlob& props = tableProperties(def.name);
  for (auto& c : def.columns) {
    if (!c.isCalculated()) continue;
    const PropertySet* set = props.column(c.name);
    const PropertyRecord* r = set ? set->find("ResultType") : nullptr;
    const uint8_t* code = r ? std::get_if<uint8_t>(&r->value) : nullptr;
    if (!code || !isKnownColumnType(*code))
      throw CorruptFileError("Corrupt file: the calculated column '" + c.name + "' of table '" + def.name +
                             "' has no readable result type.");
    c.type = ColumnType(*code);
    // A Decimal result keeps no precision of its own (the descriptor's is 0,
    // or the descriptor is of another type): it holds what the expression
    // gives, each value with its own scale, up to the type's 28 digits.
    if (c.type == ColumnType::Decimal) {
      c.precision = 28;
      if (c.rawType != uint8_t(ColumnType::Decimal) || c.scale > 28) c.scale = 0;
    }
  }
}

const std::vector<Relationship>& Database::relationships() const {
  {
    std::lock_guard lock(cacheMutex_);
    if (relationships_) return *relationships_;
  }
  auto list = std::make_unique<std::vector<Relationship>>();
  if (const CatalogObject* o = findObject("MSysRelationships"); o && o->type == int16_t(ObjectType::Table)) {
    auto def = table("MSysRelationships");
    const size_t cName = columnIndex(*def, "szRelationship"), cFlags = columnIndex(*def, "grbit"),
                 cPos = columnIndex(*def, "icolumn"), cObject = columnIndex(*def, "szObject"),
                 cColumn = columnIndex(*def, "szColumn"), cRefObject = columnIndex(*def, "szReferencedObject"),
                 cRefColumn = columnIndex(*def, "szReferencedColumn");
    struct Piece {
      int64_t position;
      RelationshipColumn column;
    };
    std::vector<std::pair<Relationship, std::vector<Piece>>> groups;
    TableCursor cursor(shared_from_this(), def);
    std::vector<Value> row;
    while (cursor.next(row)) {
      std::string name = valueAs<std::string>(row[cName], "");
      auto it = std::find_if(groups.begin(), groups.end(), [&](auto& g) { return g.first.name == name; });
      if (it == groups.end()) {
        Relationship r;
        r.name = name;
        r.table = valueAs<std::string>(row[cObject], "");
        r.referencedTable = valueAs<std::string>(row[cRefObject], "");
        r.flags = uint32_t(integerOf(row[cFlags]));
        groups.emplace_back(std::move(r), std::vector<Piece>{});
        it = groups.end() - 1;
      }
      it->second.push_back(
          {integerOf(row[cPos]), {valueAs<std::string>(row[cColumn], ""), valueAs<std::string>(row[cRefColumn], "")}});
    }
    for (auto& [rel, pieces] : groups) {
      std::stable_sort(pieces.begin(), pieces.end(), [](auto& a, auto& b) { return a.position < b.position; });
      for (auto& p : pieces) rel.columns.push_back(std::move(p.column));
      list->push_back(std::move(rel));
    }
  }
  std::lock_guard lock(cacheMutex_);
  if (!relationships_) relationships_ = std::move(list);
  return *relationships_;
}

namespace {

PropertyBlob readBlobAt(const std::shared_ptr<const Database>& db, uint32_t location) {
  auto catalog = db->tableAtPage(kCatalogPage, "MSysObjects");
  auto slim = withColumns(*catalog, {"LvProp"});
  if (slim->columns.empty()) return {};
  PageRef holder;
  ByteSpan row = readRowAt(db->pages(), location, holder, "the system catalog");
  // A catalog row that grew may have moved: its slot then holds a pointer.
  auto moved = [&] {
    DataPage page(holder, pointerPage(location), "the system catalog", db->pages().layout());
    return (page.slotFlags(pointerRow(location)) & kSlotOverflow) != 0;
  };
  for (int hop = 0; moved(); ++hop) {
    if (hop >= 8 || row.size() < 4)
      throw CorruptFileError("Corrupt file: a moved row of the system catalog cannot be followed.");
    location = u32At(row, 0);
    row = readRowAt(db->pages(), location, holder, "the system catalog");
  }
  RowDecoder decoder(db->pages(), *slim);
  std::vector<Value> values;
  decoder.decode(row, values);
  if (auto* b = std::get_if<Binary>(&values[0]))
    return parsePropertyBlob(ByteSpan(*b), db->pages().layout().textCodePage);
  return {};
}

}  // namespace

const PropertyBlob& Database::tableProperties(std::string_view name) const {
  const CatalogObject* o = findObject(name);
  if (!o) throw EngineError("The table '" + std::string(name) + "' does not exist in '" + fileName(path_) + "'.");
  {
    std::lock_guard lock(cacheMutex_);
    for (auto& [n, blob] : propertyCache_)
      if (n == o->name) return *blob;
  }
  auto blob = std::make_unique<PropertyBlob>(readBlobAt(shared_from_this(), o->rowLocation));
  std::lock_guard lock(cacheMutex_);
  propertyCache_.emplace_back(o->name, std::move(blob));
  return *propertyCache_.back().second;
}

const PropertyBlob& Database::databaseProperties() const {
  {
    std::lock_guard lock(cacheMutex_);
    if (databaseProperties_) return *databaseProperties_;
  }
  PropertyBlob blob;
  for (const auto& o : objects_)
    if (o.type == int16_t(ObjectType::DatabaseObject) && o.name == "MSysDb") {
      blob = readBlobAt(shared_from_this(), o.rowLocation);
      break;
    }
  std::lock_guard lock(cacheMutex_);
  if (!databaseProperties_) databaseProperties_ = std::make_unique<PropertyBlob>(std::move(blob));
  return *databaseProperties_;
}

void Database::invalidateCaches() {
  std::lock_guard lock(cacheMutex_);
  tdefCache_.clear();
  propertyCache_.clear();
  relationships_.reset();
  databaseProperties_.reset();
  complexColumns_.reset();
}

void Database::reloadCatalog() {
  invalidateCaches();
  objects_.clear();
  loadCatalog();
}

std::unique_ptr<TableCursor> Database::openCursor(std::shared_ptr<const TableDef> table) const {
  return std::make_unique<TableCursor>(shared_from_this(), std::move(table));
}

Binary Database::readLongValue(ByteSpan field, const std::string& what) const {
  return kevra::readLongValue(*pages_, field, what);
}

}  // namespace kevra
