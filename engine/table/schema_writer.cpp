// Structure changes built from the layout helpers, the TDEF writer and the
// catalog rows, each inside one transaction of the caller's TableWriter.
#include "engine/table/schema_writer.h"

#include <algorithm>
#include <set>

#include "engine/catalog/property_blob.h"
#include "engine/catalog/tdef_writer.h"
#include "engine/expr/value_coercion.h"
#include "engine/format/value_text.h"
#include "engine/index/index_builder.h"
#include "engine/index/index_key_encoder.h"
#include "engine/index/index_page.h"
#include "engine/index/table_index_set.h"
#include "engine/storage/data_page.h"
#include "engine/storage/page_allocator.h"
#include "engine/storage/page_file.h"
#include "engine/table/catalog_rows.h"
#include "engine/table/database.h"
#include "engine/table/index_numbering.h"
#include "engine/table/object_names.h"
#include "engine/table/table_cursor.h"
#include "engine/table/table_layout.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr size_t kMaxColumns = 255;
constexpr size_t kMaxIndexes = 32;
constexpr size_t kMaxIndexColumns = 10;

bool sameName(std::string_view a, std::string_view b) { return namesEqualCaseInsensitive(a, b); }

std::string quoted(const std::string& name) { return "'" + name + "'"; }

std::string typeDescription(const ColumnSpec& spec) {
  std::string name = columnTypeName(spec.type);
  if (spec.type == ColumnType::Text) name += "(" + std::to_string(spec.length / 2) + ")";
  return name;
}

void checkColumnSpec(const ColumnSpec& spec, const std::string& table) {
  checkObjectName(spec.name, "field");
  if (spec.type == ColumnType::Text && (spec.length < 2 || spec.length > 510))
    throw EngineError("Field " + quoted(spec.name) + " of table " + quoted(table) +
                      ": a text size must be 1 to 255 characters.");
  if (spec.autoNumber && spec.type != ColumnType::Long && spec.type != ColumnType::Guid)
    throw EngineError("Field " + quoted(spec.name) + ": only Long and GUID fields can be autonumbers.");
}

// A copy of `def` holding only real index `realIndex` (and the logical
// indexes over it, for messages), so an index set maintains that one alone.
std::shared_ptr<TableDef> withOnlyRealIndex(const TableDef& def, size_t realIndex) {
  auto partial = std::make_shared<TableDef>(def);
  partial->realIndexes = {def.realIndexes[realIndex]};
  partial->logicalIndexes.clear();
  for (const auto& li : def.logicalIndexes)
    if (li.realIndex == realIndex) {
      partial->logicalIndexes.push_back(li);
      partial->logicalIndexes.back().realIndex = 0;
    }
  return partial;
}

bool usesColumn(const RealIndexDef& index, uint16_t number) {
  return std::any_of(index.columns.begin(), index.columns.end(),
                     [&](const IndexColumnRef& c) { return c.columnNumber == number; });
}

}  // namespace

SchemaWriter::SchemaWriter(std::shared_ptr<Database> db, TableWriter& writer) : db_(std::move(db)), writer_(writer) {}

template <typename Work>
void SchemaWriter::inTransaction(Work work) {
  try {
    inOneTransaction(writer_, work);
  } catch (...) {
    db_->reloadCatalog();
    throw;
  }
  db_->reloadCatalog();
}

std::shared_ptr<const TableDef> SchemaWriter::userTable(const std::string& name) {
  const CatalogObject* o = db_->findObject(name);
  if (!o || o->type != int16_t(ObjectType::Table))
    throw EngineError("The table " + quoted(name) + " does not exist.");
  if (o->flags & 0x80000002u)
    throw EngineError("The table " + quoted(o->name) + " is a system table; its structure cannot be changed.");
  return db_->table(o->name);
}

const ColumnDef& SchemaWriter::columnOf(const TableDef& table, const std::string& name) {
  if (const ColumnDef* c = table.findColumn(name)) return *c;
  throw EngineError("The field " + quoted(name) + " does not exist in table " + quoted(table.name) + ".");
}

PropertyBlob SchemaWriter::propertiesOf(const std::string& table) { return db_->tableProperties(table); }

void SchemaWriter::storeProperties(const std::string& table, const PropertyBlob& blob) {
  const CatalogObject* o = db_->findObject(table);
  CatalogRows(db_, writer_).setProperties(o->rowLocation, blob);
  db_->reloadCatalog();
}

void SchemaWriter::storeDefinition(const TableDef& given) {
  TableDef def = given;
  const std::vector<IndexRenumbering> moves = arrangeIndexes(def);
  writer_.forget(def.tdefPage);
  writeTableDef(db_->pages(), def, true);
  db_->invalidateCaches();
  if (moves.empty()) return;
  std::set<uint32_t> others;
  for (const auto& li : def.logicalIndexes)
    if (li.kind == IndexKind::ForeignKey && li.otherTablePage != def.tdefPage && li.otherTablePage != 0)
      others.insert(li.otherTablePage);
  for (const auto& o : db_->objects()) {
    if (o.type != int16_t(ObjectType::Table) || !others.count(uint32_t(o.id))) continue;
    TableDef other = *db_->tableAtPage(uint32_t(o.id), o.name);
    if (!repointReferences(other, def.tdefPage, moves)) continue;
    writer_.forget(other.tdefPage);
    writeTableDef(db_->pages(), other, true);
    db_->invalidateCaches();
  }
}

size_t SchemaWriter::realIndexNamed(const TableDef& def, const std::string& name) {
  for (const auto& li : def.logicalIndexes)
    if (sameName(li.name, name)) return li.realIndex;
  throw EngineError("Internal error: the index " + quoted(name) + " of table " + quoted(def.name) +
                    " was not stored.");
}

void SchemaWriter::checkNoRelationshipUses(const TableDef& table, const std::optional<std::string>& column,
                                           const std::string& change) {
  for (const Relationship& r : db_->relationships()) {
    for (const auto& pair : r.columns) {
      const bool asChild = sameName(r.table, table.name) && (!column || sameName(pair.column, *column));
      const bool asParent =
          sameName(r.referencedTable, table.name) && (!column || sameName(pair.referencedColumn, *column));
      if (asChild || asParent)
        throw EngineError("Cannot " + change + ": " + (column ? "field " + quoted(*column) + " of table " : "table ") +
                          quoted(table.name) + " is part of the relationship " + quoted(r.name) +
                          ". Delete the relationship first.");
    }
  }
}

// --- tables -----------------------------------------------------------------

void SchemaWriter::createTable(const std::string& name, const std::vector<ColumnSpec>& columns,
                               const std::vector<IndexSpec>& indexes) {
  checkObjectName(name, "table");
  if (const CatalogObject* o = db_->findObject(name))
    throw EngineError("The table " + quoted(o->name) + " already exists.");
  if (columns.empty()) throw EngineError("The table " + quoted(name) + " needs at least one field.");
  if (columns.size() > kMaxColumns) throw EngineError("A table can have at most 255 fields.");
  for (size_t i = 0; i < columns.size(); ++i) {
    checkColumnSpec(columns[i], name);
    for (size_t j = 0; j < i; ++j)
      if (sameName(columns[i].name, columns[j].name))
        throw EngineError("The field " + quoted(columns[i].name) + " appears twice in table " + quoted(name) + ".");
  }
  inTransaction([&] {
    PageFile& file = db_->pages();
    TableDef def;
    def.name = name;
    def.tdefPage = PageAllocator(file).allocate();
    // New maps go beside the catalog's own when there is room.
    MapRowAllocator maps(file, db_->lastMapPage(), pointerPage(db_->table("MSysObjects")->ownedMapPointer));
    def.ownedMapPointer = maps.newMap();
    def.freeMapPointer = maps.newMap();
    PropertyBlob properties;
    for (const ColumnSpec& spec : columns) {
      const ColumnDef& c = appendColumn(def, spec, collationOf(db_->header()));
      if (isLongValueType(c.type)) def.longValueMaps.push_back({c.number, maps.newMap(), maps.newMap()});
      if (spec.required) properties.columnForChange(spec.name).set("Required", ColumnType::Boolean, true);
    }
    writeTableDef(file, def, false);
    CatalogRows(db_, writer_).addTable(name, def.tdefPage, properties);
    db_->reloadCatalog();
    for (const IndexSpec& index : indexes) createIndex(name, index);
  });
}

void SchemaWriter::dropTable(const std::string& name) {
  auto def = userTable(name);
  checkNoRelationshipUses(*def, std::nullopt, "delete table " + quoted(def->name));
  const CatalogObject object = *db_->findObject(name);
  inTransaction([&] {
    PageFile& file = db_->pages();
    writer_.forget(def->tdefPage);
    CatalogRows(db_, writer_).removeObject(object.id, object.rowLocation);
    // Every page the table owned goes back to the free pages, then its maps.
    releaseMappedPages(file, def->ownedMapPointer);
    for (const auto& lv : def->longValueMaps) {
      releaseMappedPages(file, lv.ownedMapPointer);
      deleteMapRow(file, lv.ownedMapPointer);
      deleteMapRow(file, lv.freeMapPointer);
    }
    for (const auto& ri : def->realIndexes) {
      releaseMappedPages(file, ri.usageMapPointer);
      deleteMapRow(file, ri.usageMapPointer);
    }
    deleteMapRow(file, def->ownedMapPointer);
    deleteMapRow(file, def->freeMapPointer);
    PageAllocator allocator(file);
    for (uint32_t page = def->tdefPage; page != 0;) {
      const uint32_t next = u32At(file.span(file.read(page)), 4);
      allocator.release(page);
      page = next;
    }
  });
}

void SchemaWriter::renameTable(const std::string& from, const std::string& to) {
  auto def = userTable(from);
  checkObjectName(to, "table");
  if (const CatalogObject* o = db_->findObject(to); o && !sameName(o->name, def->name))
    throw EngineError("The table " + quoted(o->name) + " already exists.");
  const CatalogObject object = *db_->findObject(from);
  inTransaction([&] {
    CatalogRows rows(db_, writer_);
    rows.renameObject(object.rowLocation, to);
    rows.renameInRelationships(def->name, std::nullopt, to);
  });
}

// --- fields -----------------------------------------------------------------

void SchemaWriter::addColumn(const std::string& table, const ColumnSpec& spec) {
  auto def = userTable(table);
  checkColumnSpec(spec, def->name);
  if (def->findColumn(spec.name))
    throw EngineError("The field " + quoted(spec.name) + " already exists in table " + quoted(def->name) + ".");
  if (def->columns.size() >= kMaxColumns) throw EngineError("A table can have at most 255 fields.");
  if (def->maxColumnCount >= 0xFFFF) throw EngineError("Table " + quoted(def->name) + " has no field numbers left.");
  if (spec.autoNumber)
    for (const auto& c : def->columns)
      if (c.isAutoNumber())
        throw EngineError("Table " + quoted(def->name) + " already has an autonumber field (" + quoted(c.name) +
                          "); a table can have only one.");
  const bool hasRows = db_->openCursor(def)->countRows() > 0;
  if (spec.required && hasRows && !spec.autoNumber)
    throw EngineError("Cannot add the required field " + quoted(spec.name) + " to table " + quoted(def->name) +
                      ": its existing rows would have no value for it. Add it as not required, fill it, then "
                      "make it required.");
  inTransaction([&] {
    TableDef changed = *def;
    MapRowAllocator maps(db_->pages(), db_->lastMapPage(), pointerPage(def->ownedMapPointer));
    const ColumnDef added = appendColumn(changed, spec, collationOf(db_->header()));
    if (isLongValueType(added.type)) changed.longValueMaps.push_back({added.number, maps.newMap(), maps.newMap()});
    // The first variable field of a table with rows: its rows, written when
    // it had none, have no variable area, which readers that go by the
    // table's variable count (mdbtools, mdb-reader) would misread. Every
    // row is written again with one, under a fresh layout.
    const bool firstVariable = hasRows && !added.isFixed() && def->varColumnCount == 0;
    if (firstVariable) layOutAfresh(changed);
    storeDefinition(changed);
    if (firstVariable) {
      auto stored = db_->table(def->name);
      auto cursor = db_->openCursor(def);
      std::vector<Value> row;
      while (cursor->next(row)) {
        row.emplace_back();  // the new field, last: NULL
        writer_.replaceRowBytes(*stored, cursor->lastLocation(), row, {});
        writer_.boundMemory();
      }
    }
    if (spec.required) {
      PropertyBlob blob = propertiesOf(def->name);
      blob.columnForChange(spec.name).set("Required", ColumnType::Boolean, true);
      storeProperties(def->name, blob);
    }
    if (spec.autoNumber && hasRows) {
      // Existing rows get their numbers (or GUIDs) in storage order.
      auto stored = db_->table(def->name);
      const size_t position = size_t(std::find_if(stored->columns.begin(), stored->columns.end(),
                                                  [&](const ColumnDef& c) { return c.number == added.number; }) -
                                     stored->columns.begin());
      std::vector<std::pair<uint32_t, std::vector<Value>>> rows;
      auto cursor = db_->openCursor(stored);
      std::vector<Value> row;
      while (cursor->next(row)) rows.emplace_back(cursor->lastLocation(), row);
      int32_t next = 0;
      for (auto& [location, values] : rows) {
        values[position] = added.type == ColumnType::Guid ? Value(randomGuid()) : Value(++next);
        writer_.updateRow(*stored, location, values);
      }
      if (added.type == ColumnType::Long) {
        writer_.forget(stored->tdefPage);
        putU32(db_->pages().modify(stored->tdefPage) + 20, uint32_t(next));
        db_->invalidateCaches();
      }
    }
  });
}

void SchemaWriter::dropColumn(const std::string& table, const std::string& column, bool withIndexes) {
  auto def = userTable(table);
  const ColumnDef target = columnOf(*def, column);
  if (def->columns.size() == 1)
    throw EngineError("Cannot delete field " + quoted(target.name) + ": it is the only field of table " +
                      quoted(def->name) + ".");
  checkNoRelationshipUses(*def, target.name, "delete the field");
  if (!withIndexes) {
    // As Jet: a field that an index uses stays until the index goes.
    std::vector<std::string> names;
    for (const auto& li : def->logicalIndexes)
      if (usesColumn(def->realIndexes[li.realIndex], target.number)) names.push_back(quoted(li.name));
    if (!names.empty()) {
      std::sort(names.begin(), names.end(),
                [](const std::string& a, const std::string& b) { return compareNamesCaseInsensitive(a, b) < 0; });
      std::string list = names.front();
      for (size_t i = 1; i < names.size(); ++i) list += (i + 1 == names.size() ? " and " : ", ") + names[i];
      throw EngineError("Field " + quoted(target.name) + " of table " + quoted(def->name) + " is part of the " +
                        (names.size() == 1 ? "index " : "indexes ") + list + "; delete the " +
                        (names.size() == 1 ? "index" : "indexes") + " first.");
    }
  }
  inTransaction([&] {
    PageFile& file = db_->pages();
    TableDef changed = *def;
    // Indexes over the field go with it (when asked for).
    for (size_t i = changed.logicalIndexes.size(); i-- > 0;)
      if (usesColumn(changed.realIndexes[changed.logicalIndexes[i].realIndex], target.number))
        removeLogicalIndex(changed, i);
    for (auto it = changed.longValueMaps.begin(); it != changed.longValueMaps.end(); ++it)
      if (it->columnNumber == target.number) {
        releaseMappedPages(file, it->ownedMapPointer);
        deleteMapRow(file, it->ownedMapPointer);
        deleteMapRow(file, it->freeMapPointer);
        changed.longValueMaps.erase(it);
        break;
      }
    changed.columns.erase(std::remove_if(changed.columns.begin(), changed.columns.end(),
                                         [&](const ColumnDef& c) { return c.number == target.number; }),
                          changed.columns.end());
    storeDefinition(changed);
    PropertyBlob blob = propertiesOf(def->name);
    if (blob.column(target.name)) {
      blob.dropColumn(target.name);
      storeProperties(def->name, blob);
    }
  });
}

void SchemaWriter::renameColumn(const std::string& table, const std::string& from, const std::string& to) {
  auto def = userTable(table);
  const ColumnDef target = columnOf(*def, from);
  checkObjectName(to, "field");
  if (const ColumnDef* other = def->findColumn(to); other && other->number != target.number)
    throw EngineError("The field " + quoted(other->name) + " already exists in table " + quoted(def->name) + ".");
  inTransaction([&] {
    TableDef changed = *def;
    for (auto& c : changed.columns)
      if (c.number == target.number) c.name = to;
    storeDefinition(changed);
    PropertyBlob blob = propertiesOf(def->name);
    if (blob.column(target.name)) {
      blob.renameColumn(target.name, to);
      storeProperties(def->name, blob);
    }
    CatalogRows(db_, writer_).renameInRelationships(def->name, target.name, to);
  });
}

void SchemaWriter::setDefaultValue(const std::string& table, const std::string& column, const std::string& expression) {
  auto def = userTable(table);
  const ColumnDef& target = columnOf(*def, column);
  inTransaction([&] {
    PropertyBlob blob = propertiesOf(def->name);
    if (expression.empty()) {
      if (!blob.column(target.name)) return;
      blob.columnForChange(target.name).remove("DefaultValue");
    } else {
      blob.columnForChange(target.name).set("DefaultValue", ColumnType::Memo, expression);
    }
    storeProperties(def->name, blob);
  });
}

void SchemaWriter::setFormat(const std::string& table, const std::string& column, const std::string& format) {
  auto def = userTable(table);
  const ColumnDef& target = columnOf(*def, column);
  inTransaction([&] {
    PropertyBlob blob = propertiesOf(def->name);
    if (format.empty()) {
      if (!blob.column(target.name)) return;
      blob.columnForChange(target.name).remove("Format");
    } else {
      blob.columnForChange(target.name).set("Format", ColumnType::Text, format);
    }
    storeProperties(def->name, blob);
  });
}

void SchemaWriter::alterColumn(const std::string& table, const std::string& column, const ColumnSpec& spec) {
  auto def = userTable(table);
  const ColumnDef old = columnOf(*def, column);
  checkColumnSpec(spec, def->name);
  const size_t position = size_t(std::find_if(def->columns.begin(), def->columns.end(),
                                              [&](const ColumnDef& c) { return c.number == old.number; }) -
                                 def->columns.begin());

  // The new definition: same name and place, new type. When every row is
  // written again, the whole table is laid out afresh (see below).
  TableDef changed = *def;
  ColumnDef& altered = changed.columns[position];
  applyColumnType(altered, spec, collationOf(db_->header()));
  const bool typeChanges = altered.type != old.type || altered.length != old.length ||
                           altered.precision != old.precision || altered.scale != old.scale ||
                           altered.flags != old.flags;
  if (typeChanges) checkNoRelationshipUses(*def, old.name, "change the type of the field");

  const bool becomesAutoNumber = altered.isAutoNumber() && !old.isAutoNumber();
  if (becomesAutoNumber)
    throw EngineError("Field " + quoted(old.name) + " of table " + quoted(def->name) +
                      " cannot become an autonumber; add a new autonumber field instead.");
  // Text and binary fields store their values the same way whatever their
  // size, so a new size needs no row written again (only a check when it
  // shrinks); any other change of type re-encodes every row.
  const bool sameStorage = !typeChanges || (altered.type == old.type && old.flags == altered.flags &&
                                            old.extFlags == altered.extFlags &&
                                            (old.type == ColumnType::Text || old.type == ColumnType::Binary));
  const bool rewrite = !sameStorage;
  const bool shrinks = typeChanges && sameStorage && altered.length < old.length;
  std::vector<uint16_t> rawLongValues;
  for (const auto& c : def->columns)
    if (isLongValueType(c.type) && c.number != old.number) rawLongValues.push_back(c.number);
  auto refuseValue = [&](const Value& value, const EngineError& e) {
    throw EngineError("Cannot change field " + quoted(old.name) + " of table " + quoted(def->name) + " to " +
                      typeDescription(spec) + ": the value '" + valueToText(value) + "' does not convert (" +
                      e.what() + ")");
  };
  auto refuseNull = [&] {
    throw EngineError("Field " + quoted(old.name) + " of table " + quoted(def->name) +
                      " cannot be made required: some rows have no value in it.");
  };

  // Without a rewrite, a check of every value (if one is needed) comes first
  // and changes nothing.
  if (!rewrite && (spec.required || shrinks)) {
    auto cursor = db_->openCursor(def);
    cursor->keepLongValuesRaw(rawLongValues);
    std::vector<Value> row;
    while (cursor->next(row)) {
      if (spec.required && isNull(row[position])) refuseNull();
      if (!shrinks) continue;
      try {
        (void)expr::coerceToColumn(row[position], altered);
      } catch (const EngineError& e) {
        refuseValue(row[position], e);
      }
    }
  }

  inTransaction([&] {
    PageFile& file = db_->pages();
    if (typeChanges && !rewrite) storeDefinition(changed);
    if (rewrite) {
      MapRowAllocator maps(file, db_->lastMapPage(), pointerPage(def->ownedMapPointer));
      const bool wasLong = isLongValueType(old.type), isLong = isLongValueType(altered.type);
      if (isLong && !wasLong) changed.longValueMaps.push_back({altered.number, maps.newMap(), maps.newMap()});
      std::vector<size_t> rebuild;
      for (size_t k = 0; k < changed.realIndexes.size(); ++k)
        if (usesColumn(changed.realIndexes[k], old.number)) {
          if (isLong)
            throw EngineError("Cannot change field " + quoted(old.name) + " to " + typeDescription(spec) +
                              ": it is indexed, and Memo and OLE fields cannot be.");
          emptyIndex(file, def->tdefPage, changed.realIndexes[k]);
          rebuild.push_back(k);
        }
      std::optional<LongValueMaps> dropped;
      if (wasLong && !isLong)
        for (auto it = changed.longValueMaps.begin(); it != changed.longValueMaps.end(); ++it)
          if (it->columnNumber == old.number) {
            dropped = *it;
            changed.longValueMaps.erase(it);
            break;
          }
      // A field that moves between the fixed and the variable part of the
      // row would leave the counts of both parts wrong for readers that
      // derive one from the other (mdbtools takes the row's fixed fields to
      // be its column count less its variable count): the table gets the
      // layout a new table of these fields would have.
      layOutAfresh(changed);
      storeDefinition(changed);
      // Every row again, decoded as it is stored and encoded anew; a value
      // that does not convert ends the transaction, so nothing changes. Long
      // values of other fields keep their data where it is.
      auto stored = db_->table(def->name);
      std::vector<uint16_t> rawLongValuesAfter;  // the same fields under their new numbers
      for (size_t i = 0; i < def->columns.size(); ++i)
        if (std::find(rawLongValues.begin(), rawLongValues.end(), def->columns[i].number) != rawLongValues.end())
          rawLongValuesAfter.push_back(stored->columns[i].number);
      auto cursor = db_->openCursor(def);
      cursor->keepLongValuesRaw(rawLongValues);
      std::vector<Value> row;
      while (cursor->next(row)) {
        if (spec.required && isNull(row[position])) refuseNull();
        try {
          row[position] = expr::coerceToColumn(row[position], altered);
        } catch (const EngineError& e) {
          refuseValue(row[position], e);
        }
        writer_.replaceRowBytes(*stored, cursor->lastLocation(), row, rawLongValuesAfter);
        writer_.boundMemory();
      }
      if (dropped) {
        releaseMappedPages(file, dropped->ownedMapPointer);
        deleteMapRow(file, dropped->ownedMapPointer);
        deleteMapRow(file, dropped->freeMapPointer);
      }
      for (size_t k : rebuild) buildIndex(*stored, k);
    }
    PropertyBlob blob = propertiesOf(def->name);
    const PropertySet* set = blob.column(old.name);
    const PropertyRecord* required = set ? set->find("Required") : nullptr;
    const bool wasRequired = required && std::holds_alternative<bool>(required->value) && std::get<bool>(required->value);
    if (wasRequired != spec.required) {
      if (spec.required)
        blob.columnForChange(old.name).set("Required", ColumnType::Boolean, true);
      else
        blob.columnForChange(old.name).remove("Required");
      storeProperties(def->name, blob);
    }
  });
}

// --- indexes ----------------------------------------------------------------

size_t SchemaWriter::addIndexDefinition(TableDef& def, const IndexSpec& spec, IndexKind kind) {
  RealIndexDef real;
  for (const auto& c : spec.columns) real.columns.push_back({columnOf(def, c.name).number, !c.descending});
  real.flags = indexFlags(spec);
  real.usageMapPointer = MapRowAllocator(db_->pages(), db_->lastMapPage(), pointerPage(def.ownedMapPointer)).newMap();
  real.rootPage = newIndexRoot(db_->pages(), def.tdefPage, real.usageMapPointer);
  def.realIndexes.push_back(real);
  LogicalIndexDef logical;
  logical.name = spec.name;
  uint32_t next = 0;
  for (const auto& li : def.logicalIndexes) next = std::max(next, li.number + 1);
  logical.number = next;
  logical.realIndex = uint32_t(def.realIndexes.size() - 1);
  logical.kind = kind;
  def.logicalIndexes.push_back(logical);
  // Access keeps logical definitions sorted by name; numbers keep identity.
  std::stable_sort(def.logicalIndexes.begin(), def.logicalIndexes.end(),
                   [](const LogicalIndexDef& a, const LogicalIndexDef& b) {
                     return compareNamesCaseInsensitive(a.name, b.name) < 0;
                   });
  return def.realIndexes.size() - 1;
}

void SchemaWriter::buildIndex(const TableDef& def, size_t realIndex) {
  const RealIndexDef& index = def.realIndexes[realIndex];
  std::string name;
  for (const auto& li : def.logicalIndexes)
    if (li.realIndex == realIndex && (name.empty() || li.kind == IndexKind::PrimaryKey)) name = li.name;
  std::string fields;
  for (const auto& c : index.columns) fields += (fields.empty() ? "'" : ", '") + def.indexedColumn(c.columnNumber).name + "'";
  IndexBuilder builder(db_->pages(), def.tdefPage, index, "index " + quoted(name) + " of table " + quoted(def.name),
                       fields, indexBuildBudget_);
  IndexKeyEncoder encoder(def, index);
  auto cursor = db_->openCursor(db_->table(def.name));
  std::vector<uint16_t> raw;
  for (const auto& c : def.columns)
    if (isLongValueType(c.type)) raw.push_back(c.number);  // not indexable: left unread
  cursor->keepLongValuesRaw(raw);
  std::vector<Value> row;
  Bytes key;
  while (cursor->next(row)) {
    const bool anyNull = encoder.anyKeyColumnNull(row);
    if (!encoder.indexes(row)) {
      if (anyNull) builder.noteNullKey();
      continue;
    }
    encoder.encode(row, key);
    appendRowPointer(pointerPage(cursor->lastLocation()), pointerRow(cursor->lastLocation()), key);
    builder.add(ByteSpan(key.data(), key.size()), anyNull);
  }
  builder.build();
}

void SchemaWriter::createIndex(const std::string& table, const IndexSpec& spec) {
  auto def = userTable(table);
  checkObjectName(spec.name, "index");
  for (const auto& li : def->logicalIndexes)
    if (sameName(li.name, spec.name))
      throw EngineError("The index " + quoted(li.name) + " already exists on table " + quoted(def->name) + ".");
  if (spec.columns.empty()) throw EngineError("The index " + quoted(spec.name) + " names no field.");
  if (spec.columns.size() > kMaxIndexColumns)
    throw EngineError("The index " + quoted(spec.name) + " has more than 10 fields.");
  if (def->logicalIndexes.size() >= kMaxIndexes)
    throw EngineError("Table " + quoted(def->name) + " already has the most indexes a table can have (32).");
  std::set<uint16_t> seen;
  for (const auto& c : spec.columns) {
    const ColumnDef& column = columnOf(*def, c.name);
    if (isLongValueType(column.type))
      throw EngineError("Cannot index field " + quoted(column.name) + ": Memo and OLE fields cannot be indexed.");
    if (!seen.insert(column.number).second)
      throw EngineError("The index " + quoted(spec.name) + " names field " + quoted(column.name) + " twice.");
  }
  if (spec.primaryKey)
    for (const auto& li : def->logicalIndexes)
      if (li.kind == IndexKind::PrimaryKey)
        throw EngineError("Table " + quoted(def->name) + " already has a primary key (" + quoted(li.name) + ").");
  inTransaction([&] {
    TableDef changed = *def;
    addIndexDefinition(changed, spec, spec.primaryKey ? IndexKind::PrimaryKey : IndexKind::Normal);
    storeDefinition(changed);
    const auto stored = db_->table(def->name);
    buildIndex(*stored, realIndexNamed(*stored, spec.name));
  });
}

void SchemaWriter::removeLogicalIndex(TableDef& def, size_t logical) {
  const uint32_t real = def.logicalIndexes[logical].realIndex;
  def.logicalIndexes.erase(def.logicalIndexes.begin() + std::ptrdiff_t(logical));
  for (const auto& li : def.logicalIndexes)
    if (li.realIndex == real) return;  // still shared
  PageFile& file = db_->pages();
  releaseMappedPages(file, def.realIndexes[real].usageMapPointer);
  deleteMapRow(file, def.realIndexes[real].usageMapPointer);
  def.realIndexes.erase(def.realIndexes.begin() + std::ptrdiff_t(real));
  for (auto& li : def.logicalIndexes)
    if (li.realIndex > real) --li.realIndex;
}

void SchemaWriter::dropIndex(const std::string& table, const std::string& name) {
  auto def = userTable(table);
  size_t logical = def->logicalIndexes.size();
  for (size_t i = 0; i < def->logicalIndexes.size(); ++i)
    if (sameName(def->logicalIndexes[i].name, name)) logical = i;
  if (logical == def->logicalIndexes.size())
    throw EngineError("The index " + quoted(name) + " does not exist on table " + quoted(def->name) + ".");
  const LogicalIndexDef target = def->logicalIndexes[logical];
  if (target.kind == IndexKind::ForeignKey)
    throw EngineError("The index " + quoted(target.name) + " belongs to a relationship; delete the relationship instead.");
  for (const auto& li : def->logicalIndexes)
    if (li.kind == IndexKind::ForeignKey && li.realIndex == target.realIndex)
      throw EngineError("The index " + quoted(target.name) + " of table " + quoted(def->name) +
                        " is used by a relationship; delete the relationship first.");
  inTransaction([&] {
    TableDef changed = *def;
    removeLogicalIndex(changed, logical);
    storeDefinition(changed);
  });
}

// --- relationships ----------------------------------------------------------

std::string SchemaWriter::uniqueRelationshipName(const std::string& wanted) {
  auto taken = [&](const std::string& name) {
    for (const auto& o : db_->objects())
      if (o.parentId == kRelationshipsContainerId && sameName(o.name, name)) return true;
    return false;
  };
  if (!taken(wanted)) return wanted;
  for (int n = 1;; ++n)
    if (!taken(wanted + std::to_string(n))) return wanted + std::to_string(n);
}

std::string SchemaWriter::addRelationship(RelationshipSpec spec) {
  auto child = userTable(spec.table);
  auto parent = userTable(spec.referencedTable);
  spec.table = child->name;
  spec.referencedTable = parent->name;
  if (spec.columns.empty()) throw EngineError("A relationship needs at least one field.");
  if (spec.referencedColumns.empty()) {
    for (const auto& li : parent->logicalIndexes)
      if (li.kind == IndexKind::PrimaryKey)
        for (const auto& c : parent->realIndexes[li.realIndex].columns)
          spec.referencedColumns.push_back(parent->indexedColumn(c.columnNumber).name);
    if (spec.referencedColumns.empty())
      throw EngineError("Table " + quoted(parent->name) + " has no primary key for the relationship to refer to.");
  }
  if (spec.columns.size() != spec.referencedColumns.size())
    throw EngineError("The relationship from " + quoted(child->name) + " to " + quoted(parent->name) +
                      " names a different number of fields on each side.");
  std::vector<const ColumnDef*> childColumns, parentColumns;
  for (size_t i = 0; i < spec.columns.size(); ++i) {
    childColumns.push_back(&columnOf(*child, spec.columns[i]));
    parentColumns.push_back(&columnOf(*parent, spec.referencedColumns[i]));
    spec.columns[i] = childColumns[i]->name;
    spec.referencedColumns[i] = parentColumns[i]->name;
    const bool compatible = childColumns[i]->type == parentColumns[i]->type;
    if (!compatible)
      throw EngineError("Field " + quoted(child->name + "." + spec.columns[i]) + " cannot refer to " +
                        quoted(parent->name + "." + spec.referencedColumns[i]) + ": their data types differ.");
  }
  // The referenced fields must be exactly a unique index of the parent.
  std::optional<size_t> parentIndex;
  for (size_t li = 0; li < parent->logicalIndexes.size() && !parentIndex; ++li) {
    const auto& real = parent->realIndexes[parent->logicalIndexes[li].realIndex];
    if (!real.unique() || real.columns.size() != parentColumns.size()) continue;
    bool same = true;
    for (size_t i = 0; i < parentColumns.size(); ++i) same = same && real.columns[i].columnNumber == parentColumns[i]->number;
    if (same) parentIndex = li;
  }
  if (spec.enforced && !parentIndex)
    throw EngineError("The fields of " + quoted(parent->name) +
                      " that the relationship refers to are not its primary key or a unique index.");
  if (spec.name.empty()) {
    // A name made up here takes a number when the plain one is taken.
    checkObjectName(parent->name + child->name, "relationship");
    spec.name = uniqueRelationshipName(parent->name + child->name);
  } else {
    checkObjectName(spec.name, "relationship");
    if (uniqueRelationshipName(spec.name) != spec.name)
      throw EngineError("A relationship named " + quoted(spec.name) + " already exists.");
  }

  // Existing rows must already hold: every foreign key without NULL has its
  // parent row (looked up through the parent's unique index).
  if (spec.enforced && checkExistingRows_) {
    const auto& parentReal = parent->realIndexes[parent->logicalIndexes[*parentIndex].realIndex];
    auto partial = withOnlyRealIndex(*parent, parent->logicalIndexes[*parentIndex].realIndex);
    TableIndexSet lookup(db_->pages(), *partial);
    std::vector<size_t> childPositions;
    for (const ColumnDef* c : childColumns)
      childPositions.push_back(size_t(std::find_if(child->columns.begin(), child->columns.end(),
                                                   [&](const ColumnDef& x) { return x.number == c->number; }) -
                                      child->columns.begin()));
    auto cursor = db_->openCursor(child);
    std::vector<Value> row;
    std::vector<Value> parentRow(parent->columns.size());
    while (cursor->next(row)) {
      bool anyNull = false;
      std::fill(parentRow.begin(), parentRow.end(), Value{});
      for (size_t i = 0; i < childColumns.size(); ++i) {
        const Value& v = row[childPositions[i]];
        anyNull = anyNull || isNull(v);
        for (size_t p = 0; p < parent->columns.size(); ++p)
          if (parent->columns[p].number == parentReal.columns[i].columnNumber) parentRow[p] = v;
      }
      if (anyNull) continue;
      if (!lookup.containsKeyOf(parentRow))
        throw EngineError("Cannot create the relationship " + quoted(spec.name) + ": table " + quoted(child->name) +
                          " has a row whose " + quoted(spec.columns.front()) + " (" +
                          valueToText(row[childPositions.front()]) + ") matches no row of " + quoted(parent->name) +
                          ".");
    }
  }

  uint32_t flags = 0;
  if (!spec.enforced) flags |= 0x2;
  if (spec.cascadeUpdates) flags |= 0x100;
  if (spec.cascadeDeletes) flags |= 0x1000;
  if (spec.cascadeNull) flags |= 0x2000;
  inTransaction([&] {
    CatalogRows(db_, writer_).addRelationship(spec, flags);
    if (!spec.enforced) return;
    // The child gets an index named like the relationship over its foreign
    // key; the parent a ".rX" index sharing its key's physical index; each
    // names the other. Storing a definition may renumber its indexes, so
    // each side learns the other's number once that is stored.
    TableDef childDef = *db_->table(child->name);
    IndexSpec fk;
    fk.name = spec.name;
    for (const auto& c : spec.columns) fk.columns.push_back({c, false});
    addIndexDefinition(childDef, fk, IndexKind::ForeignKey);
    const auto relate = [&](LogicalIndexDef& li, uint8_t role, uint32_t otherPage) {
      li.relationshipRole = role;
      li.otherTablePage = otherPage;
      li.cascadeUpdates = spec.cascadeUpdates;
      li.cascadeDeletes = spec.cascadeDeletes;
      li.cascadeNull = spec.cascadeNull && !spec.cascadeDeletes;
    };
    for (auto& li : childDef.logicalIndexes)
      if (li.kind == IndexKind::ForeignKey && sameName(li.name, spec.name)) relate(li, 2, parent->tdefPage);
    storeDefinition(childDef);
    const auto numberOf = [&](const std::string& table, const std::string& index) {
      for (const auto& li : db_->table(table)->logicalIndexes)
        if (li.kind == IndexKind::ForeignKey && sameName(li.name, index)) return li.number;
      throw EngineError("Internal error: the index " + quoted(index) + " of table " + quoted(table) +
                        " was not stored.");
    };
    TableDef parentDef = *db_->table(parent->name);
    std::string back;
    for (char letter = 'A'; letter <= 'Z' && back.empty(); ++letter) {
      const std::string candidate = std::string(".r") + letter;
      if (std::none_of(parentDef.logicalIndexes.begin(), parentDef.logicalIndexes.end(),
                       [&](const LogicalIndexDef& li) { return sameName(li.name, candidate); }))
        back = candidate;
    }
    if (back.empty()) throw EngineError("Table " + quoted(parent->name) + " takes part in too many relationships.");
    LogicalIndexDef referenced;
    referenced.name = back;
    for (const auto& li : parentDef.logicalIndexes) referenced.number = std::max(referenced.number, li.number + 1);
    referenced.realIndex = realIndexNamed(parentDef, parent->logicalIndexes[*parentIndex].name);
    referenced.kind = IndexKind::ForeignKey;
    relate(referenced, 1, child->tdefPage);
    referenced.otherIndexNumber = int32_t(numberOf(child->name, spec.name));
    parentDef.logicalIndexes.push_back(referenced);
    std::stable_sort(parentDef.logicalIndexes.begin(), parentDef.logicalIndexes.end(),
                     [](const LogicalIndexDef& a, const LogicalIndexDef& b) {
                       return compareNamesCaseInsensitive(a.name, b.name) < 0;
                     });
    storeDefinition(parentDef);
    TableDef linked = *db_->table(child->name);
    for (auto& li : linked.logicalIndexes)
      if (li.kind == IndexKind::ForeignKey && sameName(li.name, spec.name))
        li.otherIndexNumber = int32_t(numberOf(parent->name, back));
    storeDefinition(linked);
    const auto stored = db_->table(child->name);
    buildIndex(*stored, realIndexNamed(*stored, spec.name));
  });
  return spec.name;
}

void SchemaWriter::dropRelationship(const std::string& name) {
  const Relationship* found = nullptr;
  for (const Relationship& r : db_->relationships())
    if (sameName(r.name, name)) found = &r;
  if (!found) throw EngineError("The relationship " + quoted(name) + " does not exist.");
  const Relationship relationship = *found;
  inTransaction([&] {
    CatalogRows(db_, writer_).removeRelationship(relationship.name);
    if (!relationship.enforced()) return;
    // The child's foreign-key index (named like the relationship) and the
    // parent's index it names go with it.
    const CatalogObject* childObject = db_->findObject(relationship.table);
    const CatalogObject* parentObject = db_->findObject(relationship.referencedTable);
    if (!childObject || !parentObject) return;
    // Both are found before either goes: storing a definition may renumber
    // its indexes (and, for a table related to itself, the other one).
    TableDef child = *db_->table(childObject->name);
    std::optional<size_t> own;
    for (size_t i = 0; i < child.logicalIndexes.size() && !own; ++i) {
      const LogicalIndexDef& li = child.logicalIndexes[i];
      if (li.kind == IndexKind::ForeignKey && li.relationshipRole == 2 && sameName(li.name, relationship.name)) own = i;
    }
    if (!own) return;
    std::optional<std::string> back;
    for (const auto& li : db_->table(parentObject->name)->logicalIndexes)
      if (li.kind == IndexKind::ForeignKey && li.relationshipRole == 1 &&
          int32_t(li.number) == child.logicalIndexes[*own].otherIndexNumber)
        back = li.name;
    removeLogicalIndex(child, *own);
    storeDefinition(child);
    if (!back) return;
    TableDef parent = *db_->table(parentObject->name);
    for (size_t i = 0; i < parent.logicalIndexes.size(); ++i)
      if (parent.logicalIndexes[i].relationshipRole == 1 && sameName(parent.logicalIndexes[i].name, *back)) {
        removeLogicalIndex(parent, i);
        storeDefinition(parent);
        break;
      }
  });
}

}  // namespace kevra
