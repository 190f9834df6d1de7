// Row changes: placement on data pages, long values, counters, indexes.
#include "engine/table/table_writer.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>

#include "engine/catalog/property_blob.h"
#include "engine/table/column_defaults.h"
#include "engine/table/database.h"
#include "engine/storage/data_page.h"
#include "engine/format/data_page_writer.h"
#include "engine/format/row_codec.h"
#include "engine/format/row_encoder.h"
#include "engine/format/value_text.h"
#include "engine/storage/page_allocator.h"
#include "engine/storage/usage_map_editor.h"
#include "engine/storage/page_file.h"
#include "engine/storage/usage_map.h"
#include "engine/table/referential_integrity.h"
#include "engine/table/validation_rules.h"
#include "engine/index/table_index_set.h"
#include "engine/expr/expression_evaluator.h"
#include "engine/expr/expression_parser.h"
#include "engine/expr/value_coercion.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr size_t kInlineLongValueLimit = 64;
constexpr size_t kLongValuePieceData = 4072;     // data bytes in one chain piece (plus a 4-byte link)
constexpr size_t kSingleLongValueLimit = 4076;   // largest value kept in one LVAL row
constexpr size_t kSpillPages = 8192;             // changed pages held in memory before they go to the file


Binary longValueHeader(uint32_t length, uint32_t kind, uint32_t pointer) {
  Binary h(12, 0);
  putU32(h.data(), length | (kind << 30));
  putU32(h.data() + 4, pointer);
  return h;
}

}  // namespace

Guid randomGuid() {
  static std::mt19937_64 rng{std::random_device{}()};
  Guid g;
  for (size_t i = 0; i < 16; i += 8) {
    uint64_t r = rng();
    for (size_t k = 0; k < 8; ++k) g.bytes[i + k] = uint8_t(r >> (8 * k));
  }
  g.bytes[7] = uint8_t((g.bytes[7] & 0x0F) | 0x40);  // version 4, stored little-endian
  g.bytes[8] = uint8_t((g.bytes[8] & 0x3F) | 0x80);
  return g;
}

struct TableWriter::TableState {
  std::shared_ptr<const TableDef> def;
  uint32_t rowCount = 0;
  uint32_t lastAutoNumber = 0;
  uint32_t insertPage = 0;
  std::map<uint16_t, uint32_t> longValuePage;  // column number -> LVAL page with room
  std::map<uint16_t, std::vector<uint32_t>> longValueRoom;  // column number -> pages offered for new values
  std::vector<std::optional<std::string>> defaults;
  std::vector<bool> required;
  std::unique_ptr<RowEncoder> encoder;
  std::unique_ptr<RowDecoder> decoder;
  // Decodes Memo and OLE fields to the bytes the row holds for them, so an
  // update can keep a long value it does not change where it is.
  std::unique_ptr<RowDecoder> rawLongValueDecoder;
  std::vector<uint16_t> longValueColumns;
  std::unique_ptr<TableIndexSet> indexes;
  std::unique_ptr<ValidationRules> rules;
};

TableWriter::TableWriter(std::shared_ptr<Database> db) : db_(std::move(db)) {}

TableWriter::~TableWriter() {
  if (open_) {
    try {
      rollback();
    } catch (...) {
      // A destructor must not throw; the page file's rollback already keeps
      // the journal for the next open when it cannot restore the file.
    }
  }
}

void TableWriter::begin() {
  if (open_) {
    ++depth_;
    return;
  }
  if (db_->readOnly())
    throw EngineError(db_->readOnlyReason().empty()
                          ? "The database '" + db_->path() + "' is open read-only; it cannot be changed."
                          : "The database '" + db_->path() + "' cannot be changed: " + db_->readOnlyReason());
  db_->pages().beginTransaction();
  open_ = true;
  depth_ = 1;
}

void TableWriter::commit() {
  if (!open_) throw EngineError("Internal error: commit without a transaction.");
  // The end of a nested part (one statement of a longer transaction) puts
  // the index pages held here into the transaction too, so what runs next
  // reads this part's rows through the indexes.
  for (auto& [page, state] : tables_) state->indexes->flush();
  if (--depth_ > 0) return;
  db_->pages().commit();
  open_ = false;
  tables_.clear();
  db_->invalidateCaches();
}

void TableWriter::rollback() {
  if (!open_) return;
  depth_ = 0;
  db_->pages().rollback();
  open_ = false;
  tables_.clear();
  db_->invalidateCaches();
}

TableWriter::TableState& TableWriter::stateFor(const TableDef& table) {
  if (!open_) throw EngineError("Internal error: a row was changed outside a transaction.");
  auto it = tables_.find(table.tdefPage);
  if (it != tables_.end()) return *it->second;
  auto st = std::make_unique<TableState>();
  // Work from the definition as stored now, not from a copy the caller kept.
  st->def = db_->tableAtPage(table.tdefPage, table.name);
  const TableDef& def = *st->def;
  st->rowCount = def.rowCount;
  st->lastAutoNumber = def.lastAutoNumber;
  const PropertyBlob& props = db_->tableProperties(def.name);
  st->defaults = columnDefaultTexts(*db_, def);
  for (const ColumnDef& c : def.columns) {
    bool req = false;
    if (const PropertySet* cp = props.column(c.name))
      if (const PropertyRecord* r = cp->find("Required"))
        if (auto* b = std::get_if<bool>(&r->value)) req = *b;
    st->required.push_back(req);
  }
  st->encoder = std::make_unique<RowEncoder>(def);
  st->decoder = std::make_unique<RowDecoder>(db_->pages(), def);
  for (const auto& c : def.columns)
    if (isLongValueType(c.type)) st->longValueColumns.push_back(c.number);
  if (!st->longValueColumns.empty()) {
    st->rawLongValueDecoder = std::make_unique<RowDecoder>(db_->pages(), def);
    st->rawLongValueDecoder->keepLongValuesRaw(st->longValueColumns);
  }
  st->indexes = std::make_unique<TableIndexSet>(db_->pages(), def);
  st->rules = std::make_unique<ValidationRules>(def, props);
  return *tables_.emplace(table.tdefPage, std::move(st)).first->second;
}

std::vector<Value> TableWriter::completeRow(TableState& st, const std::vector<std::optional<Value>>& values) {
  const TableDef& def = *st.def;
  if (values.size() != def.columns.size())
    throw EngineError("Internal error: a row for table '" + def.name + "' has the wrong number of values.");
  std::vector<Value> row(def.columns.size());
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const ColumnDef& c = def.columns[i];
    if (c.isLongAutoNumber()) {
      if (values[i] && !isNull(*values[i])) {
        row[i] = expr::coerceToColumn(*values[i], c);
        if (auto* n = std::get_if<int32_t>(&row[i]); n && *n > 0 && uint32_t(*n) > st.lastAutoNumber)
          st.lastAutoNumber = uint32_t(*n);
      } else {
        if (st.lastAutoNumber >= 0x7FFFFFFF)
          throw EngineError("The autonumber field '" + c.name + "' of table '" + def.name + "' has run out of numbers.");
        row[i] = int32_t(++st.lastAutoNumber);
      }
      continue;
    }
    if (c.isGuidAutoNumber() && (!values[i] || isNull(*values[i]))) {
      row[i] = randomGuid();
      continue;
    }
    if (values[i]) {
      row[i] = expr::coerceToColumn(*values[i], c);
    } else if (st.defaults[i]) {
      row[i] = evaluateColumnDefault(*st.defaults[i], c);
    }
    if (c.type == ColumnType::Boolean && isNull(row[i])) row[i] = false;
  }
  return row;
}

void TableWriter::checkRow(TableState& st, const std::vector<Value>& row) {
  const TableDef& def = *st.def;
  for (size_t i = 0; i < def.columns.size(); ++i)
    if (st.required[i] && isNull(row[i]))
      throw EngineError("Field '" + def.name + "." + def.columns[i].name +
                        "' cannot be empty: it is required. Enter a value.");
}

Binary TableWriter::encode(TableState& st, const std::vector<Value>& row) {
  return st.encoder->encode(row, [&](const ColumnDef& c, const Binary& data) { return storeLongValue(st, c, data); });
}

Binary TableWriter::storeLongValue(TableState& st, const ColumnDef& column, const Binary& data) {
  if (data.size() > 0x3FFFFFFF)
    throw EngineError("The value for field '" + column.name + "' is too large (" + std::to_string(data.size()) +
                      " bytes).");
  if (data.size() <= kInlineLongValueLimit) {
    Binary out = longValueHeader(uint32_t(data.size()), 2, 0);
    out.insert(out.end(), data.begin(), data.end());
    return out;
  }
  const TableDef& def = *st.def;
  const LongValueMaps* maps = nullptr;
  for (const auto& m : def.longValueMaps)
    if (m.columnNumber == column.number) maps = &m;
  if (!maps)
    throw CorruptFileError("Corrupt file: field '" + column.name + "' of table '" + def.name +
                           "' has no pages for long values.");
  PageFile& file = db_->pages();
  PageAllocator allocator(file);
  auto newLvalPage = [&] {
    uint32_t page = allocator.allocate();
    DataPageWriter(file.modify(page)).initialise(0, true);
    usageMapAdd(file, maps->ownedMapPointer, page);
    usageMapAdd(file, maps->freeMapPointer, page);
    return page;
  };
  auto putRow = [&](const Binary& bytes) -> uint32_t {
    uint32_t& page = st.longValuePage[column.number];
    // Pages the column's free map offers, most recent last: room given back
    // by replaced and deleted values is used again before the file grows.
    auto [offered, fresh] = st.longValueRoom.try_emplace(column.number);
    if (fresh) {
      // Held in a local: a range over pages() of the temporary map itself
      // would outlive the map.
      const UsageMap freeMap = UsageMap::read(file, maps->freeMapPointer, "table '" + def.name + "'");
      for (uint32_t p : freeMap.pages())
        if (p < file.pageCount() && p != page) offered->second.push_back(p);
    }
    while (true) {
      if (page != 0) {
        DataPageWriter w(file.modify(page));
        if (w.canAppend(bytes.size())) return rowPointer(page, uint8_t(w.append(ByteSpan(bytes))));
        usageMapRemove(file, maps->freeMapPointer, page);
      }
      if (offered->second.empty()) break;
      page = offered->second.back();
      offered->second.pop_back();
      // Only long-value pages (a map may name others; Access's maps do).
      PageRef holder = file.read(page);
      if ((*holder)[0] != 0x01 || !DataPage(holder, page, def.name, file.layout()).isLongValuePage()) page = 0;
    }
    page = newLvalPage();
    DataPageWriter w(file.modify(page));
    return rowPointer(page, uint8_t(w.append(ByteSpan(bytes))));
  };
  if (data.size() <= kSingleLongValueLimit) return longValueHeader(uint32_t(data.size()), 1, putRow(data));
  // A chain, written from its last piece back so each piece knows the next.
  size_t pieces = (data.size() + kLongValuePieceData - 1) / kLongValuePieceData;
  uint32_t next = 0;
  for (size_t k = pieces; k-- > 0;) {
    size_t from = k * kLongValuePieceData;
    size_t n = std::min(kLongValuePieceData, data.size() - from);
    Binary piece(4 + n);
    putU32(piece.data(), next);
    std::copy(data.begin() + from, data.begin() + from + n, piece.begin() + 4);
    next = putRow(piece);
  }
  return longValueHeader(uint32_t(data.size()), 0, next);
}

void TableWriter::releaseLongValue(TableState& st, const ColumnDef& column, const Binary& raw) {
  if (raw.size() < 12) return;
  const uint32_t word = u32At(ByteSpan(raw), 0);
  const uint32_t kind = word >> 30, length = word & 0x3FFFFFFF;
  if (kind == 2 || length == 0) return;  // inside the row itself
  const LongValueMaps* maps = nullptr;
  for (const auto& m : st.def->longValueMaps)
    if (m.columnNumber == column.number) maps = &m;
  if (!maps) return;
  PageFile& file = db_->pages();
  uint32_t at = u32At(ByteSpan(raw), 4);
  // A chain has as many pieces as its length needs; a damaged one is left
  // where it is rather than followed further (its room is lost, nothing else).
  size_t pieces = kind == 1 ? 1 : (length + kLongValuePieceData - 1) / kLongValuePieceData;
  const std::string owner = "the long values of table '" + st.def->name + "'";
  try {
    while (at != 0 && pieces-- > 0) {
      const uint32_t page = pointerPage(at);
      const uint16_t slot = pointerRow(at);
      if (page == 0 || page >= file.pageCount()) return;
      PageRef holder = file.read(page);
      DataPage lval(holder, page, owner, file.layout());
      // Only a long-value page's own live row: a damaged pointer never
      // takes a table's row with it.
      if (!lval.isLongValuePage() || slot >= lval.slotCount() || (lval.slotFlags(slot) & kSlotDeleted) == kSlotDeleted)
        return;
      const ByteSpan piece = lval.row(slot);
      const uint32_t next = kind == 0 && piece.size() >= 4 ? u32At(piece, 0) : 0;
      DataPageWriter(file.modify(page)).replace(slot, {}, kSlotDeleted);
      // A page left with deleted rows only starts afresh, so a whole chain
      // piece fits it again (the slots of deleted rows take room too).
      {
        PageRef now = file.read(page);
        DataPage left(now, page, owner, file.layout());
        bool empty = true;
        for (uint16_t k = 0; k < left.slotCount() && empty; ++k)
          empty = (left.slotFlags(k) & kSlotDeleted) == kSlotDeleted;
        if (empty) DataPageWriter(file.modify(page)).initialise(0, true);
      }
      usageMapAdd(file, maps->freeMapPointer, page);
      st.longValueRoom[column.number].push_back(page);
      at = next;
    }
  } catch (const CorruptFileError&) {
  }
}

uint32_t TableWriter::placeRow(TableState& st, const Binary& bytes, uint16_t flags, uint32_t avoidPage) {
  PageFile& file = db_->pages();
  const TableDef& def = *st.def;
  if (st.insertPage == 0) {
    std::vector<uint32_t> candidates = UsageMap::read(file, def.freeMapPointer, "table '" + def.name + "'").pages();
    for (auto it = candidates.rbegin(); it != candidates.rend(); ++it) {
      PageRef p = file.read(*it);
      DataPage dp(p, *it, "table '" + def.name + "'", file.layout());
      if (dp.ownerTdef() == def.tdefPage) {
        st.insertPage = *it;
        break;
      }
    }
  }
  if (st.insertPage != 0 && st.insertPage != avoidPage) {
    DataPageWriter w(file.modify(st.insertPage));
    if (w.canAppend(bytes.size())) return rowPointer(st.insertPage, uint8_t(w.append(ByteSpan(bytes), flags)));
    usageMapRemove(file, def.freeMapPointer, st.insertPage);
  }
  PageAllocator allocator(file);
  uint32_t page = allocator.allocate();
  DataPageWriter w(file.modify(page));
  w.initialise(def.tdefPage, false);
  usageMapAdd(file, def.ownedMapPointer, page);
  usageMapAdd(file, def.freeMapPointer, page);
  st.insertPage = page;
  return rowPointer(page, uint8_t(w.append(ByteSpan(bytes), flags)));
}

void TableWriter::writeCounters(TableState& st) {
  uint8_t* tdef = db_->pages().modify(st.def->tdefPage);
  putU32(tdef + 16, st.rowCount);
  putU32(tdef + 20, st.lastAutoNumber);
}

void TableWriter::boundMemory() {
  PageFile& file = db_->pages();
  size_t held = file.dirtyPages();
  for (auto& [page, state] : tables_) held += state->indexes->cachedPages();
  if (held < kSpillPages) return;
  for (auto& [page, state] : tables_) state->indexes->flush(true);
  file.spill();
}

ReferentialIntegrity TableWriter::integrity() {
  // Related rows are looked up through the index pages this writer holds:
  // they include this transaction's changes and stay decoded between rows.
  return ReferentialIntegrity(*db_, [this](const TableDef& table, size_t realIndex, ByteSpan prefix,
                                           const std::function<bool(uint32_t)>& visit) {
    stateFor(table).indexes->visitPrefix(realIndex, prefix, visit);
  });
}

void TableWriter::addIndexEntries(TableState& st, const std::vector<Value>& row, uint32_t location) {
  st.indexes->add(row, location);
}

void TableWriter::removeIndexEntries(TableState& st, const std::vector<Value>& row, uint32_t location) {
  st.indexes->remove(row, location);
}

void TableWriter::insertRow(const TableDef& table, const std::vector<std::optional<Value>>& values) {
  TableState& st = stateFor(table);
  std::vector<Value> row = completeRow(st, values);
  checkRow(st, row);
  st.rules->check(row, nullptr);
  st.indexes->checkRow(row);
  integrity().checkParentsExist(*st.def, row);
  Binary bytes = encode(st, row);
  uint32_t location = placeRow(st, bytes, 0, 0);
  addIndexEntries(st, row, location);
  ++st.rowCount;
  writeCounters(st);
  lastInserted_ = location;
  boundMemory();
}

std::vector<Value> TableWriter::readRow(TableState& st, uint32_t location, uint32_t* dataLocation,
                                        std::vector<Value>* rawLongValues) {
  PageFile& file = db_->pages();
  const std::string owner = "table '" + st.def->name + "'";
  PageRef holder = file.read(pointerPage(location));
  DataPage page(holder, pointerPage(location), owner, file.layout());
  if (page.ownerTdef() != st.def->tdefPage)
    throw EngineError("The row to change is not in table '" + st.def->name + "'; it may have been deleted.");
  uint16_t flags = page.slotFlags(pointerRow(location));
  if (flags & kSlotLookupOnly)
    throw EngineError("The row to change in table '" + st.def->name + "' was deleted.");
  ByteSpan bytes = page.row(pointerRow(location));
  *dataLocation = location;
  if (flags & kSlotOverflow) {
    if (bytes.size() < 4) throw CorruptFileError("Corrupt file: an overflow row of " + owner + " is truncated.");
    *dataLocation = u32At(bytes, 0);
    bytes = readRowAt(file, *dataLocation, holder, owner);
  }
  std::vector<Value> values;
  st.decoder->decode(bytes, values);
  if (rawLongValues && st.rawLongValueDecoder) st.rawLongValueDecoder->decode(bytes, *rawLongValues);
  return values;
}

void TableWriter::updateRow(const TableDef& table, uint32_t location, const std::vector<Value>& values) {
  TableState& st = stateFor(table);
  const TableDef& def = *st.def;
  uint32_t oldData = 0;
  std::vector<Value> oldRaw;
  std::vector<Value> old = readRow(st, location, &oldData, &oldRaw);
  std::vector<Value> row(values.size());
  for (size_t i = 0; i < values.size() && i < def.columns.size(); ++i) {
    row[i] = expr::coerceToColumn(values[i], def.columns[i]);
    if (def.columns[i].type == ColumnType::Boolean && isNull(row[i])) row[i] = false;
  }
  checkRow(st, row);
  st.rules->check(row, &old);
  st.indexes->checkRow(row, location);
  ReferentialIntegrity integrity = this->integrity();
  integrity.checkParentsExist(def, row);
  // A Memo or OLE value the update leaves as it was stays where it is; only
  // changed ones are stored anew.
  std::vector<bool> kept(def.columns.size(), false);
  Binary bytes = st.encoder->encode(row, [&](const ColumnDef& c, const Binary& data) {
    const size_t i = size_t(&c - def.columns.data());
    if (i < old.size() && i < oldRaw.size() && row[i] == old[i])
      if (const auto* raw = std::get_if<Binary>(&oldRaw[i]); raw && !raw->empty()) {
        kept[i] = true;
        return *raw;
      }
    return storeLongValue(st, c, data);
  });
  // Replaced ones give their room back.
  for (size_t i = 0; i < oldRaw.size() && i < def.columns.size(); ++i)
    if (const auto* raw = std::get_if<Binary>(&oldRaw[i]); raw && !kept[i] && isLongValueType(def.columns[i].type))
      releaseLongValue(st, def.columns[i], *raw);
  removeIndexEntries(st, old, location);
  storeAt(st, location, oldData, bytes);
  addIndexEntries(st, row, location);
  writeCounters(st);
  // Rows that refer to this one follow its new key (or refuse the change);
  // the row itself is stored first so their own check finds it.
  integrity.handleChildren(
      def, old, &row, [](const TableDef&, uint32_t, const std::vector<Value>&) {},
      [&](const TableDef& child, uint32_t at, const std::vector<Value>& values) { updateRow(child, at, values); });
  boundMemory();
}

void TableWriter::storeAt(TableState& st, uint32_t location, uint32_t oldData, const Binary& bytes) {
  PageFile& file = db_->pages();
  const uint32_t headerPage = pointerPage(location);
  const uint16_t headerSlot = pointerRow(location);
  if (!DataPageWriter(file.modify(headerPage)).replace(headerSlot, ByteSpan(bytes), 0)) {
    // Too long for its page: the row moves and the slot keeps a pointer to it.
    uint32_t target = placeRow(st, bytes, kSlotLookupOnly, headerPage);
    Binary pointer(4);
    putU32(pointer.data(), target);
    DataPageWriter(file.modify(headerPage)).replace(headerSlot, ByteSpan(pointer), kSlotOverflow);
  }
  if (oldData != location)
    DataPageWriter(file.modify(pointerPage(oldData))).replace(pointerRow(oldData), {}, kSlotDeleted);
}

uint32_t TableWriter::dataLocationOf(TableState& st, uint32_t location) {
  PageFile& file = db_->pages();
  PageRef holder = file.read(pointerPage(location));
  DataPage page(holder, pointerPage(location), "table '" + st.def->name + "'", file.layout());
  if (page.ownerTdef() != st.def->tdefPage)
    throw EngineError("The row to change is not in table '" + st.def->name + "'; it may have been deleted.");
  const uint16_t flags = page.slotFlags(pointerRow(location));
  if (flags & kSlotLookupOnly) throw EngineError("The row to change in table '" + st.def->name + "' was deleted.");
  if (!(flags & kSlotOverflow)) return location;
  ByteSpan bytes = page.row(pointerRow(location));
  if (bytes.size() < 4) throw CorruptFileError("Corrupt file: an overflow row of table '" + st.def->name + "' is truncated.");
  return u32At(bytes, 0);
}

void TableWriter::replaceRowBytes(const TableDef& table, uint32_t location, const std::vector<Value>& values,
                                  const std::vector<uint16_t>& rawLongValues) {
  TableState& st = stateFor(table);
  const uint32_t oldData = dataLocationOf(st, location);
  const Binary bytes = st.encoder->encode(values, [&](const ColumnDef& c, const Binary& data) {
    if (std::find(rawLongValues.begin(), rawLongValues.end(), c.number) != rawLongValues.end()) return data;
    return storeLongValue(st, c, data);
  });
  storeAt(st, location, oldData, bytes);
}

void TableWriter::forget(uint32_t tdefPage) {
  auto it = tables_.find(tdefPage);
  if (it == tables_.end()) return;
  it->second->indexes->flush();
  tables_.erase(it);
}

void TableWriter::deleteRow(const TableDef& table, uint32_t location) {
  TableState& st = stateFor(table);
  uint32_t data = 0;
  std::vector<Value> raw;
  std::vector<Value> old = readRow(st, location, &data, &raw);
  integrity().handleChildren(
      *st.def, old, nullptr,
      [&](const TableDef& child, uint32_t at, const std::vector<Value>&) { deleteRow(child, at); },
      [&](const TableDef& child, uint32_t at, const std::vector<Value>& values) { updateRow(child, at, values); });
  PageFile& file = db_->pages();
  if (data != location) DataPageWriter(file.modify(pointerPage(data))).replace(pointerRow(data), {}, kSlotDeleted);
  DataPageWriter(file.modify(pointerPage(location))).replace(pointerRow(location), {}, kSlotDeleted);
  // The room the row took can take new rows again.
  usageMapAdd(file, st.def->freeMapPointer, pointerPage(location));
  if (pointerPage(data) != pointerPage(location)) usageMapAdd(file, st.def->freeMapPointer, pointerPage(data));
  for (size_t i = 0; i < raw.size() && i < st.def->columns.size(); ++i)
    if (const auto* bytes = std::get_if<Binary>(&raw[i]); bytes && isLongValueType(st.def->columns[i].type))
      releaseLongValue(st, st.def->columns[i], *bytes);
  removeIndexEntries(st, old, location);
  if (st.rowCount > 0) --st.rowCount;
  writeCounters(st);
  boundMemory();
}

}  // namespace kevra
