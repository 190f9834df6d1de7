// Column layout follows what Access writes (flags 0x02 on every column, 0x01
// on fixed ones, 0x04/0x40 for autonumbers, Unicode compression on text);
// map rows are inline maps of 69 bytes, as on the map page of a new file.
#include "engine/table/table_layout.h"

#include <algorithm>

#include "engine/format/data_page_writer.h"
#include "engine/index/index_page.h"
#include "engine/storage/data_page.h"
#include "engine/storage/page_allocator.h"
#include "engine/storage/usage_map.h"
#include "engine/storage/usage_map_editor.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr size_t kMapRowSize = 69;  // 0x00, start page, 64 bitmap bytes (512 pages)

bool isVariable(ColumnType type) {
  return type == ColumnType::Text || type == ColumnType::Binary || type == ColumnType::Memo ||
         type == ColumnType::OLE;
}

void writeEmptyLeaf(PageFile& file, uint32_t page, uint32_t tdefPage) {
  IndexPage leaf;
  leaf.leaf = true;
  leaf.tdefPage = tdefPage;
  encodeIndexPage(leaf, file.modify(page));
}

}  // namespace

TextCollation collationOf(const DatabaseHeader& header) {
  if (header.sortOrder == 0) return {};
  return {header.sortOrder, header.sortOrderVersion};
}

void applyColumnType(ColumnDef& c, const ColumnSpec& spec, TextCollation collation) {
  c.type = spec.type;
  c.rawType = uint8_t(spec.type);
  c.length = spec.length;
  c.precision = spec.type == ColumnType::Decimal ? spec.precision : 0;
  c.scale = spec.type == ColumnType::Decimal ? spec.scale : 0;
  // Access writes General on the other types as well.
  const bool text = spec.type == ColumnType::Text || spec.type == ColumnType::Memo;
  c.sortOrder = text ? collation.sortOrder : 0x0409;
  c.sortVersion = text ? collation.version : 0;
  c.flags = 0x02;
  if (!isVariable(spec.type)) c.flags |= 0x01;
  if (spec.autoNumber && spec.type == ColumnType::Long) c.flags |= 0x04;
  if (spec.autoNumber && spec.type == ColumnType::Guid) c.flags |= 0x40;
  c.extFlags = (spec.type == ColumnType::Text || spec.type == ColumnType::Memo) && spec.compressedText ? 0x01 : 0x00;
  if (spec.storedType) c.rawType = spec.storedType;
  if (spec.storedFlags) c.flags = spec.storedFlags;
  if (spec.storedExtFlags) c.extFlags = *spec.storedExtFlags;
  if (spec.storedSortOrder) {
    c.sortOrder = *spec.storedSortOrder;
    c.sortVersion = spec.storedSortVersion;
  }
}

ColumnDef& appendColumn(TableDef& table, const ColumnSpec& spec, TextCollation collation) {
  ColumnDef c;
  c.name = spec.name;
  applyColumnType(c, spec, collation);
  c.number = table.maxColumnCount;
  if (c.isFixed()) {
    c.fixedOffset = c.type == ColumnType::Boolean ? 0 : uint16_t(table.fixedAreaSize());
    c.varIndex = 0;
  } else {
    c.varIndex = table.varColumnCount++;
  }
  ++table.maxColumnCount;
  table.columns.push_back(c);
  return table.columns.back();
}

void layOutAfresh(TableDef& table) {
  std::vector<std::pair<uint16_t, uint16_t>> renumbered;  // old number, new number
  uint16_t number = 0, slot = 0, offset = 0;
  for (auto& c : table.columns) {
    renumbered.emplace_back(c.number, number);
    c.number = number++;
    if (c.isFixed()) {
      c.varIndex = 0;
      c.fixedOffset = c.type == ColumnType::Boolean ? 0 : offset;
      if (c.type != ColumnType::Boolean) offset = uint16_t(offset + c.length);
    } else {
      c.varIndex = slot++;
      c.fixedOffset = 0;
    }
  }
  table.maxColumnCount = number;
  table.varColumnCount = slot;
  auto newNumber = [&](uint16_t old) {
    for (const auto& [from, to] : renumbered)
      if (from == old) return to;
    throw CorruptFileError("Corrupt file: table '" + table.name + "' refers to column number " + std::to_string(old) +
                           ", which it does not have.");
  };
  for (auto& index : table.realIndexes)
    for (auto& ref : index.columns) ref.columnNumber = newNumber(ref.columnNumber);
  for (auto& maps : table.longValueMaps) maps.columnNumber = newNumber(maps.columnNumber);
  std::stable_sort(table.longValueMaps.begin(), table.longValueMaps.end(),
                   [](const LongValueMaps& a, const LongValueMaps& b) { return a.columnNumber < b.columnNumber; });
}

uint8_t indexFlags(const IndexSpec& spec) {
  uint8_t flags = 0x80;
  if (spec.unique || spec.primaryKey) flags |= 0x01;
  if (spec.ignoreNulls) flags |= 0x02;
  if (spec.required || spec.primaryKey) flags |= 0x08;
  return flags;
}

MapRowAllocator::MapRowAllocator(PageFile& file, uint32_t& lastPage, uint32_t hint)
    : file_(file), lastPage_(lastPage), hint_(hint) {}

// A page of map rows: a data page that no table owns, with room for a row.
bool MapRowAllocator::usable(uint32_t page, size_t rowLength) const {
  if (page < 2 || page >= file_.pageCount()) return false;
  PageRef view = file_.read(page);
  if ((*view)[0] != kPageTypeData) return false;
  DataPage dp(view, page, "a usage map page", file_.layout());
  if (dp.ownerTdef() != 0 || dp.isLongValuePage()) return false;
  const size_t freeSpace = size_t((*view)[2] | ((*view)[3] << 8));
  return dp.slotCount() < DataPageWriter::kMaxSlots && freeSpace >= rowLength + 2;
}

uint32_t MapRowAllocator::newMap() {
  Bytes row(kMapRowSize, 0);
  for (uint32_t candidate : {hint_, lastPage_})
    if (candidate != 0 && usable(candidate, row.size())) {
      lastPage_ = candidate;
      return rowPointer(candidate, uint8_t(DataPageWriter(file_.modify(candidate)).append(ByteSpan(row))));
    }
  lastPage_ = PageAllocator(file_).allocate();
  DataPageWriter w(file_.modify(lastPage_));
  w.initialise(0, false);
  return rowPointer(lastPage_, uint8_t(w.append(ByteSpan(row))));
}

uint32_t newIndexRoot(PageFile& file, uint32_t tdefPage, uint32_t mapPointer) {
  const uint32_t page = PageAllocator(file).allocate();
  writeEmptyLeaf(file, page, tdefPage);
  usageMapAdd(file, mapPointer, page);
  return page;
}

void emptyIndex(PageFile& file, uint32_t tdefPage, const RealIndexDef& index) {
  const auto pages = UsageMap::read(file, index.usageMapPointer, "an index").pages();
  PageAllocator allocator(file);
  for (uint32_t page : pages)
    if (page != index.rootPage) {
      usageMapRemove(file, index.usageMapPointer, page);
      allocator.release(page);
    }
  writeEmptyLeaf(file, index.rootPage, tdefPage);
}

void releaseMappedPages(PageFile& file, uint32_t mapPointer) {
  if (mapPointer == 0) return;
  PageAllocator allocator(file);
  const UsageMap map = UsageMap::read(file, mapPointer, "a table");
  for (uint32_t page : map.pages()) allocator.release(page);
}

void deleteMapRow(PageFile& file, uint32_t mapPointer) {
  if (mapPointer == 0) return;
  const uint32_t page = pointerPage(mapPointer);
  DataPageWriter w(file.modify(page));
  w.replace(pointerRow(mapPointer), {}, kSlotDeleted);
  PageRef view = file.read(page);
  DataPage dp(view, page, "a usage map page", file.layout());
  for (uint16_t s = 0; s < dp.slotCount(); ++s)
    if (!(dp.slotFlags(s) & kSlotLookupOnly)) return;
  if (dp.ownerTdef() == 0) PageAllocator(file).release(page);
}

}  // namespace kevra
