// The copy runs table by table on a new file made beside the destination,
// then renamed into place. Rows go over as their stored bytes where the new
// table lays its fields out as the source's does (RowBytesCopier), else
// through the engine's own writer; catalog objects always go through it.
#include "engine/compact/compactor.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <future>
#include <optional>
#include <random>
#include <system_error>

#include "engine/catalog/property_blob.h"
#include "engine/catalog/tdef_writer.h"
#include "engine/compact/row_bytes_copier.h"
#include "engine/format/row_codec.h"
#include "engine/index/index_key_encoder.h"
#include "engine/index/index_reader.h"
#include "engine/storage/data_page.h"
#include "engine/storage/page_file.h"
#include "engine/table/catalog_rows.h"
#include "engine/table/database.h"
#include "engine/table/database_creator.h"
#include "engine/table/file_check.h"
#include "engine/table/schema_writer.h"
#include "engine/table/table_cursor.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr long kRowsPerTransaction = 50000;
constexpr size_t kPagesPerTransaction = 1024;
// Bytes of index keys a table's copy holds in memory; the rest wait in a
// scratch file beside the new one.
constexpr size_t kKeyMemoryBudget = size_t(32) << 20;
const char* const kJetTables[] = {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"};

bool isJetSystemTable(const CatalogObject& o) {
  return o.type == int16_t(ObjectType::Table) &&
         std::any_of(std::begin(kJetTables), std::end(kJetTables), [&](const char* n) { return o.name == n; });
}

// The objects every new file has already: the Jet containers, the database
// object and the four system tables.
bool isInEveryNewFile(const CatalogObject& o) {
  if (isJetSystemTable(o)) return true;
  if (o.type == int16_t(ObjectType::DatabaseObject) && o.name == "MSysDb") return true;
  return o.type == int16_t(ObjectType::Container) && o.parentId == kRootContainerId &&
         (o.name == "Tables" || o.name == "Databases" || o.name == "Relationships");
}

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// The field as the source defines it: its type code, flags, extra flags
// (Unicode compression) and sort order travel as stored.
ColumnSpec specOf(const ColumnDef& c) {
  ColumnSpec spec;
  spec.name = c.name;
  spec.type = c.type;
  spec.storedType = c.rawType;
  spec.storedFlags = c.flags;
  spec.storedExtFlags = c.extFlags;
  if (c.type != ColumnType::Decimal) {
    spec.storedSortOrder = c.sortOrder;
    spec.storedSortVersion = c.sortVersion;
  }
  spec.length = c.length;
  spec.autoNumber = c.isAutoNumber();
  spec.precision = c.precision;
  spec.scale = c.scale;
  return spec;
}

// Every row of a system table, with its values.
std::vector<std::vector<Value>> rowsOf(const std::shared_ptr<Database>& db, const std::string& table) {
  std::vector<std::vector<Value>> rows;
  auto cursor = db->openCursor(db->table(table));
  std::vector<Value> row;
  while (cursor->next(row)) rows.push_back(row);
  return rows;
}

size_t columnIndex(const TableDef& t, std::string_view name) {
  for (size_t i = 0; i < t.columns.size(); ++i)
    if (namesEqualCaseInsensitive(t.columns[i].name, name)) return i;
  throw CorruptFileError("Corrupt file: table '" + t.name + "' has no field '" + std::string(name) + "'.");
}

// Copies a source table's rows in the order of its primary key (storage
// order when it has none) into `target`.
class RowCopier {
 public:
  RowCopier(std::shared_ptr<Database> source, std::shared_ptr<Database> target, const CompactOptions& options,
            uint64_t total)
      : source_(std::move(source)), target_(std::move(target)), options_(options), total_(total) {}

  // Through the engine's writer: each row decoded and encoded again.
  void copy(const TableDef& from, const TableDef& to) {
    TableWriter writer(target_);
    long inBatch = 0;
    writer.begin();
    std::vector<Value> row;
    auto put = [&](const std::vector<Value>& values) {
      std::vector<std::optional<Value>> given(values.begin(), values.end());
      writer.insertRow(to, given);
      if (++inBatch == kRowsPerTransaction) {
        writer.commit();
        writer.begin();
        inBatch = 0;
      }
      tick();
    };
    if (primaryKeyOf(from)) {
      RowDecoder decoder(source_->pages(), from);
      forEachRowInKeyOrder(from, [&](ByteSpan bytes) {
        decoder.decode(bytes, row);
        put(row);
      });
    } else {
      auto cursor = source_->openCursor(source_->table(from.name));
      while (cursor->next(row)) put(row);
    }
    writer.commit();
  }

  // Rows as their bytes, in primary-key order, into `to` (same layout, its
  // indexes defined and empty); the indexes filled from them.
  void copyBytes(const TableDef& from, const TableDef& to) {
    PageFile& file = target_->pages();
    file.beginTransaction();
    try {
      RowBytesCopier copier(source_->pages(), file, from, to, kKeyMemoryBudget);
      forEachRowInKeyOrder(from, [&](ByteSpan bytes) {
        copier.add(bytes);
        if (file.dirtyPages() >= kPagesPerTransaction) {
          file.commit();
          file.beginTransaction();
        }
        tick();
      });
      copier.finish(from.lastAutoNumber);
      file.commit();
    } catch (...) {
      file.rollback();
      throw;
    }
    target_->reloadCatalog();
  }

  static const RealIndexDef* primaryKeyOf(const TableDef& table) {
    for (const auto& li : table.logicalIndexes)
      if (li.kind == IndexKind::PrimaryKey) return &table.realIndexes[li.realIndex];
    return nullptr;
  }

  uint64_t done() const { return done_; }

 private:
  void tick() {
    if (options_.progress && ++done_ % 4096 == 0) options_.progress(done_, total_);
  }

  // Each row's data bytes in the order of the table's primary key; checks
  // that the key names as many rows as the table holds.
  template <typename Visit>
  void forEachRowInKeyOrder(const TableDef& from, Visit visit) {
    IndexReader index(source_->pages(), from, *primaryKeyOf(from), "the primary key of table '" + from.name + "'");
    IndexEntry entry;
    const std::string owner = "table '" + from.name + "'";
    uint64_t read = 0;
    // Rows in key order mostly follow one another on a page: the page read
    // (and its slot table checked) once for all of them.
    std::optional<DataPage> page;
    PageRef moved;
    while (index.next(entry)) {
      if (entry.page == 0)
        throw CorruptFileError("Corrupt file: a row pointer of " + owner + " points at the header page.");
      if (!page || page->page() != entry.page)
        page.emplace(source_->pages().read(entry.page), entry.page, owner, source_->pages().layout());
      ByteSpan bytes = page->row(entry.row);
      if (page->slotFlags(entry.row) & kSlotOverflow) {
        if (bytes.size() < 4) throw CorruptFileError("Corrupt file: an overflow row of " + owner + " is truncated.");
        const uint32_t target = u32At(bytes, 0);
        bytes = readRowAt(source_->pages(), target, moved, owner);
      }
      visit(bytes);
      ++read;
    }
    if (!from.systemTable && read != from.rowCount)  // Jet leaves its own tables' counts inexact
      throw EngineError("Cannot compact: the primary key of table '" + from.name + "' names " + std::to_string(read) +
                        " rows but the table holds " + std::to_string(from.rowCount) +
                        "; the index is damaged. Run kevra-cli check on the file.");
  }

  std::shared_ptr<Database> source_, target_;
  const CompactOptions& options_;
  uint64_t total_;
  uint64_t done_ = 0;
};

void copyTables(const std::shared_ptr<Database>& source, const std::shared_ptr<Database>& target,
                const CompactOptions& options) {
  std::vector<CatalogObject> tables;
  uint64_t total = 0;
  for (const auto& o : source->objects())
    if (o.isLocalTable() && !isJetSystemTable(o)) {
      tables.push_back(o);
      total += source->table(o.name)->rowCount;
    }
  RowCopier copier(source, target, options, total);
  for (const CatalogObject& o : tables) {
    auto from = source->table(o.name);
    std::vector<ColumnSpec> columns;
    for (const auto& c : from->columns) columns.push_back(specOf(c));
    {
      TableWriter writer(target);
      SchemaWriter(target, writer).createTable(o.name, columns);
    }
    auto createIndex = [&](const LogicalIndexDef& li) {
      const RealIndexDef& real = from->realIndexes[li.realIndex];
      IndexSpec index;
      index.name = li.name;
      index.primaryKey = li.kind == IndexKind::PrimaryKey;
      index.unique = real.unique();
      index.ignoreNulls = real.ignoreNulls();
      index.required = real.required();
      for (const auto& c : real.columns) index.columns.push_back({from->indexedColumn(c.columnNumber).name, !c.ascending});
      TableWriter indexWriter(target);
      SchemaWriter(target, indexWriter).createIndex(o.name, index);
    };
    // Rows mean the same in the new table when its fields lie where the
    // source's do (no field was ever dropped there, say): then they are
    // copied as bytes, into indexes defined beforehand whose keys are taken
    // as the rows are placed. Else the rows go through the writer and the
    // indexes are built after them. Foreign keys come with relationships.
    const bool asBytes = RowCopier::primaryKeyOf(*from) && RowBytesCopier::sameLayout(*from, *target->table(o.name));
    std::vector<const LogicalIndexDef*> before, after;
    for (const auto& li : from->logicalIndexes)
      if (li.kind != IndexKind::ForeignKey) (asBytes ? before : after).push_back(&li);
    for (const auto* li : before) createIndex(*li);
    if (asBytes)
      copier.copyBytes(*from, *target->table(o.name));
    else
      copier.copy(*from, *target->table(o.name));
    TableWriter writer(target);
    writer.begin();
    CatalogRows rows(target, writer);
    const PropertyBlob& properties = source->tableProperties(o.name);
    if (!properties.empty()) rows.setProperties(target->findObject(o.name)->rowLocation, properties);
    // The next autonumber continues where the source's would have.
    auto stored = target->table(o.name);
    if (from->lastAutoNumber > stored->lastAutoNumber) {
      writer.forget(stored->tdefPage);
      putU32(target->pages().modify(stored->tdefPage) + 20, from->lastAutoNumber);
    }
    writer.commit();
    target->reloadCatalog();
    for (const auto* li : after) createIndex(*li);
  }
  if (options.progress) options.progress(total, total);
}

// Flags last: Access's own tables are system tables, which take no
// structure changes (indexes, relationships) once marked.
void copyTableFlags(const std::shared_ptr<Database>& source, const std::shared_ptr<Database>& target) {
  TableWriter writer(target);
  writer.begin();
  for (const auto& o : source->objects())
    if (o.isLocalTable() && !isJetSystemTable(o) && o.flags != 0)
      if (const CatalogObject* made = target->findObject(o.name))
        CatalogRows(target, writer).setObjectFields(made->rowLocation, {{"Flags", Value(int32_t(o.flags))}});
  writer.commit();
  target->reloadCatalog();
}

void copyRelationships(const std::shared_ptr<Database>& source, const std::shared_ptr<Database>& target) {
  for (const Relationship& r : source->relationships()) {
    if (!target->findObject(r.table) || !target->findObject(r.referencedTable)) continue;
    RelationshipSpec spec;
    spec.name = r.name;
    spec.table = r.table;
    spec.referencedTable = r.referencedTable;
    for (const auto& c : r.columns) {
      spec.columns.push_back(c.column);
      spec.referencedColumns.push_back(c.referencedColumn);
    }
    spec.enforced = r.enforced();
    spec.cascadeUpdates = r.cascadeUpdates();
    spec.cascadeDeletes = r.cascadeDeletes();
    spec.cascadeNull = r.cascadeNull();
    TableWriter writer(target);
    SchemaWriter schema(target, writer);
    // The rows are the source's, where the relationship held them already.
    schema.setCheckExistingRows(false);
    schema.addRelationship(spec);
  }
}

// What a logical index is, apart from its name and number: kind, role in a
// relationship, the table on the other side, and its fields in order.
std::string indexSignature(const Database& db, const TableDef& table, const LogicalIndexDef& li) {
  std::string s = std::to_string(int(li.kind)) + "/" + std::to_string(li.relationshipRole) + "/";
  if (li.kind == IndexKind::ForeignKey)
    for (const auto& o : db.objects())
      if (o.isLocalTable() && uint32_t(o.id) == li.otherTablePage) s += o.name;
  for (const auto& c : table.realIndexes[li.realIndex].columns)
    s += "/" + table.indexedColumn(c.columnNumber).name + (c.ascending ? "+" : "-");
  return s;
}

// Relationships make their indexes anew, named as the engine names them
// (".rA", ".rB"... on the referenced side) and kept in its order: each
// table's logical indexes get the source's names and order back, matched by
// what each is. A table whose indexes cannot all be matched keeps its own.
void restoreIndexNamesAndOrder(const std::shared_ptr<Database>& source, const std::shared_ptr<Database>& target) {
  TableWriter writer(target);
  writer.begin();
  for (const auto& o : source->objects()) {
    if (!o.isLocalTable() || isJetSystemTable(o) || !target->findObject(o.name)) continue;
    auto from = source->table(o.name);
    TableDef to = *target->table(o.name);
    if (from->logicalIndexes.size() != to.logicalIndexes.size()) continue;
    std::vector<std::string> signatures;
    for (const auto& li : to.logicalIndexes) signatures.push_back(indexSignature(*target, to, li));
    std::vector<bool> taken(to.logicalIndexes.size(), false);
    std::vector<LogicalIndexDef> ordered;
    for (const auto& wanted : from->logicalIndexes) {
      const std::string signature = indexSignature(*source, *from, wanted);
      size_t k = 0;
      while (k < signatures.size() &&
             (taken[k] || signatures[k] != signature ||
              (wanted.kind != IndexKind::ForeignKey && !namesEqualCaseInsensitive(wanted.name, to.logicalIndexes[k].name))))
        ++k;
      if (k == signatures.size()) break;
      taken[k] = true;
      ordered.push_back(to.logicalIndexes[k]);
      ordered.back().name = wanted.name;
    }
    if (ordered.size() != to.logicalIndexes.size()) continue;
    bool same = true;
    for (size_t k = 0; k < ordered.size(); ++k)
      same = same && ordered[k].number == to.logicalIndexes[k].number && ordered[k].name == to.logicalIndexes[k].name;
    if (same) continue;
    to.logicalIndexes = std::move(ordered);
    writer.forget(to.tdefPage);
    writeTableDef(target->pages(), to, true);
  }
  writer.commit();
  target->reloadCatalog();
}

// Queries, links, Access's containers and documents: their catalog rows (and
// the rows of saved queries and the access entries naming them) as they are;
// the database object's properties onto the new one.
void copyOtherObjects(const std::shared_ptr<Database>& source, const std::shared_ptr<Database>& target) {
  auto sourceObjects = source->table("MSysObjects");
  auto targetObjects = target->table("MSysObjects");
  const size_t cId = columnIndex(*sourceObjects, "Id"), cType = columnIndex(*sourceObjects, "Type"),
               cName = columnIndex(*sourceObjects, "Name"), cParent = columnIndex(*sourceObjects, "ParentId");
  std::vector<int32_t> copied;
  TableWriter writer(target);
  writer.begin();
  for (const auto& row : rowsOf(source, "MSysObjects")) {
    CatalogObject o;
    o.id = std::holds_alternative<int32_t>(row[cId]) ? std::get<int32_t>(row[cId]) : 0;
    o.type = std::holds_alternative<int16_t>(row[cType]) ? std::get<int16_t>(row[cType]) : 0;
    o.parentId = std::holds_alternative<int32_t>(row[cParent]) ? std::get<int32_t>(row[cParent]) : 0;
    if (auto* s = std::get_if<std::string>(&row[cName])) o.name = *s;
    if (o.type == int16_t(ObjectType::DatabaseObject) && o.name == "MSysDb") {
      const Value& properties = row[columnIndex(*sourceObjects, "LvProp")];
      for (const auto& existing : target->objects())
        if (existing.type == int16_t(ObjectType::DatabaseObject) && existing.name == "MSysDb")
          CatalogRows(target, writer).setObjectFields(existing.rowLocation, {{"LvProp", properties}});
      continue;
    }
    if (isInEveryNewFile(o) || o.type == int16_t(ObjectType::Table) || o.type == int16_t(ObjectType::Relationship))
      continue;
    std::vector<std::optional<Value>> values(targetObjects->columns.size(), Value{});
    for (size_t i = 0; i < sourceObjects->columns.size(); ++i)
      values[columnIndex(*targetObjects, sourceObjects->columns[i].name)] = row[i];
    writer.insertRow(*targetObjects, values);
    copied.push_back(o.id);
  }
  auto copyRowsWhere = [&](const std::string& table, const std::string& idField) {
    auto from = source->table(table);
    auto to = target->table(table);
    const size_t cObject = columnIndex(*from, idField);
    for (const auto& row : rowsOf(source, table)) {
      const int32_t id = std::holds_alternative<int32_t>(row[cObject]) ? std::get<int32_t>(row[cObject]) : 0;
      if (std::find(copied.begin(), copied.end(), id) == copied.end()) continue;
      std::vector<std::optional<Value>> values(to->columns.size(), Value{});
      for (size_t i = 0; i < from->columns.size(); ++i) values[columnIndex(*to, from->columns[i].name)] = row[i];
      writer.insertRow(*to, values);
    }
  };
  copyRowsWhere("MSysQueries", "ObjectId");
  copyRowsWhere("MSysACEs", "ObjectId");
  writer.commit();
  target->reloadCatalog();
}

// The copy's temporary name is the destination's with this and 8 hex digits.
constexpr const char* kTemporaryInfix = ".kevra-compact-";

bool isTemporaryName(const std::string& name) {
  const size_t at = name.rfind(kTemporaryInfix);
  if (at == std::string::npos || at == 0) return false;
  const std::string tag = name.substr(at + std::char_traits<char>::length(kTemporaryInfix));
  return tag.size() == 8 && std::all_of(tag.begin(), tag.end(), [](char c) { return std::isxdigit(uint8_t(c)); });
}

// Copies that a compaction stopped midway (killed, or its machine down) left
// in the folder of `destination`. A compaction holds its copy's lock until
// the copy has its final name, so a temporary copy whose lock can be taken
// belongs to none that is still running: it goes, with any journal beside
// it. One that cannot be opened or locked stays. (A new copy is unlocked
// for the moment between its creation and its opening for writing; a
// compaction into the same folder starting just then could take it for a
// stale one, and the first one then stops, naming its file.)
void removeStaleTemporaries(FileSystem& fs, const std::string& destination) {
  std::string folder = std::filesystem::path(destination).parent_path().string();
  const std::string prefix = folder.empty() ? "" : folder == "/" ? folder : folder + "/";
  std::vector<std::string> names;
  try {
    names = fs.filesIn(folder.empty() ? "." : folder);
  } catch (const EngineError&) {
    return;  // a folder that cannot be listed: nothing is tidied
  }
  for (const std::string& name : names) {
    if (!isTemporaryName(name)) continue;
    const std::string path = prefix + name;
    try {
      std::unique_ptr<File> file = fs.open(path, OpenMode::Read);
      if (!file->tryLockExclusive()) continue;  // a compaction running now
      fs.remove(path);
      fs.remove(path + ".journal");
    } catch (const EngineError&) {
      // Not ours to remove, or gone already.
    }
  }
}

// Every index is built anew, so the keys of each text field in an index and
// of the catalog's names must be ones this engine can build in the source's
// sort order; a copy in another order would not be the file its owner made.
void refuseUnkeyableSortOrders(const Database& src) {
  const DatabaseHeader& h = src.header();
  const std::string file = "Cannot compact '" + fileName(src.path()) + "': ";
  if (!canEncodeTextSortOrder(h.sortOrder, h.sortOrderVersion))
    throw UnsupportedError(file + "its text is sorted in sort order " + std::to_string(h.sortOrder) +
                           (h.sortOrderVersion ? " (version " + std::to_string(h.sortOrderVersion) + ")" : "") +
                           ", whose index keys Kevra cannot build yet; compacting would change the sort order.");
  for (const auto& o : src.objects()) {
    if (!o.isLocalTable() || isJetSystemTable(o)) continue;
    auto table = src.table(o.name);
    for (const auto& real : table->realIndexes)
      for (const auto& ref : real.columns) {
        const ColumnDef& c = table->indexedColumn(ref.columnNumber);
        if ((c.type == ColumnType::Text || c.type == ColumnType::Memo) &&
            !canEncodeTextSortOrder(c.sortOrder, c.sortVersion))
          throw UnsupportedError(file + "field '" + c.name + "' of table '" + table->name +
                                 "' is indexed in sort order " + std::to_string(c.sortOrder) +
                                 ", whose index keys Kevra cannot build yet; compacting would change the sort order.");
      }
  }
}

}  // namespace

void compactDatabase(FileSystem& fs, const std::string& source, const std::string& destination,
                     const CompactOptions& options) {
  const auto sourceId = fs.identity(source);
  if (source == destination || (sourceId && fs.identity(destination) == sourceId))
    throw EngineError("Cannot compact '" + fileName(source) + "' into itself: choose a new file as the destination.");
  // Anything of that name, a symbolic link or a device too: the copy never
  // replaces anything (engine/storage/write_target.h).
  if (fs.kindOf(destination))
    throw EngineError("Cannot compact into '" + destination + "': a file with that name already exists.");
  // A writer elsewhere could change the source while it is copied: refuse
  // then, and keep writers out until the copy is done.
  std::unique_ptr<File> lock = fs.open(source, OpenMode::Read);
  if (!lock->tryLockExclusive())
    throw EngineError("The database '" + fileName(source) +
                      "' is in use: another program has it open for changes. Close it there, then compact.");
  OpenOptions readOptions;
  readOptions.password = options.sourcePassword;
  readOptions.fileSystem = &fs;
  auto src = Database::open(source, readOptions);
  // Rows are copied as stored, in the Jet 4 layout the destination has.
  if (src->header().format == FileFormat::Jet3)
    throw UnsupportedError("'" + fileName(source) + "' is a " + fileFormatName(FileFormat::Jet3) +
                           " database; only Jet 4 files can be compacted for now.");
  // A copy in the Jet 4 layout would lose what only the newer format holds
  // (attachments, multi-valued and calculated fields, its sort order).
  if (src->header().format != FileFormat::Jet4)
    throw UnsupportedError("Compacting .accdb files is not supported yet: '" + fileName(source) + "' is an " +
                           fileFormatName(src->header().format) +
                           " database, and only Jet 4 (.mdb) files can be compacted for now.");
  // A damaged source is not copied: the copy would carry the damage on, or
  // stop halfway. The first problem is named.
  auto refuseIfDamaged = [&](const CheckReport& health) {
    if (!health.clean())
      throw EngineError("Cannot compact '" + fileName(source) + "': it has " + std::to_string(health.problems.size()) +
                        " problem" + (health.problems.size() == 1 ? "" : "s") + " (the first: " +
                        health.problems.front() + "). Run kevra-cli check on it for all of them.");
  };
  // The definitions the copy is made from first, before anything is written.
  refuseIfDamaged(checkDatabase(src, {}, CheckScope::Definitions));
  refuseUnkeyableSortOrders(*src);
  // Index contents are not compared here (that needs memory as large as the
  // keys); indexes are rebuilt from the rows anyway, and the one rows are
  // read through is checked against the row count as it is read. On the
  // operating system's files the check of rows and maps reads the source
  // through a second handle beside the copy (the copy is thrown away when
  // the check finds a problem).
  auto checkSource = [source, readOptions] {
    return checkDatabase(Database::open(source, readOptions), {}, CheckScope::RowsAndMaps);
  };
  std::future<CheckReport> health;
  if (&fs == &realFileSystem()) {
    try {
      health = std::async(std::launch::async, checkSource);
    } catch (const std::system_error&) {
      // No thread to be had: the check runs first instead.
    }
  }
  if (!health.valid()) refuseIfDamaged(checkSource());

  removeStaleTemporaries(fs, destination);
  std::mt19937_64 rng{std::random_device{}()};
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "%s%08llx", kTemporaryInfix,
                static_cast<unsigned long long>(rng() & 0xFFFFFFFFu));
  const std::string temporary = destination + suffix;
  NewDatabaseOptions created;
  // The copy keeps the source's protection: its Jet page encryption, and its
  // password.
  const std::string sourcePassword =
      src->header().hasPassword() ? src->header().password : src->passwordProtected() ? options.sourcePassword : "";
  created.password = options.destinationPassword.value_or(sourcePassword);
  created.encryptionKey = src->header().encryptionKey;
  // And its collation: the header's sort order and code page (the fields
  // keep their own sort orders).
  created.sortOrder = src->header().sortOrder;
  created.sortOrderVersion = src->header().sortOrderVersion;
  created.codePage = src->header().codePage;
  auto discardTemporary = [&] {
    try {
      fs.remove(temporary);
      fs.remove(temporary + ".journal");
    } catch (...) {
      // The error that stopped the copy is the one to report; a temporary
      // file left behind is harmless, and the next compaction into this
      // folder removes it.
    }
  };
  try {
    createDatabase(fs, temporary, created);
    OpenOptions writeOptions;
    writeOptions.readOnly = false;
    writeOptions.password = created.password;
    writeOptions.fileSystem = &fs;
    // Open for writing, the new file is locked until it is closed, after it
    // has taken its name: so another compaction into this folder tells it
    // from one left by a compaction that was stopped.
    auto dst = Database::open(temporary, writeOptions);
    // Nobody else sees the new file and it goes on any failure: no
    // journal, one sync at the end, before it takes its name.
    dst->pages().setUnjournaled(true);
    copyTables(src, dst, options);
    // Other objects keep their ids, so they go in before relationships,
    // which are given new ones.
    copyOtherObjects(src, dst);
    copyRelationships(src, dst);
    restoreIndexNamesAndOrder(src, dst);
    copyTableFlags(src, dst);
    if (health.valid()) refuseIfDamaged(health.get());
    dst->pages().setUnjournaled(false);
    // The rename refuses a destination that appeared meanwhile.
    fs.rename(temporary, destination);
    fs.syncFolderOf(destination);
  } catch (...) {
    discardTemporary();
    // A damaged source often stops the copy first: the check names why.
    if (health.valid()) refuseIfDamaged(health.get());
    throw;
  }
}

}  // namespace kevra
