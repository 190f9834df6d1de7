// TDEF encoding: fixed header, real-index counters, column descriptors and
// names, real and logical index definitions, index names, long-value map
// references, FF FF; then cut into 4096-byte pages as the reader joins them.
#include "engine/catalog/tdef_writer.h"

#include <algorithm>
#include <unordered_set>

#include "engine/storage/data_page.h"
#include "engine/storage/page_allocator.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr uint32_t kDescriptorMagic = 1625;
constexpr uint32_t kRealIndexMagic = 1923;
constexpr size_t kMaxIndexColumns = 10;

void appendName(Bytes& out, const std::string& name) {
  const std::u16string wide = utf8ToUtf16(name);
  appendU16(out, uint16_t(wide.size() * 2));
  for (char16_t c : wide) appendU16(out, uint16_t(c));
}

void appendColumn(Bytes& out, const ColumnDef& c) {
  out.push_back(c.rawType ? c.rawType : uint8_t(c.type));
  appendU32(out, kDescriptorMagic);
  appendU16(out, c.number);
  appendU16(out, c.varIndex);
  appendU16(out, c.number);  // ordinal: nobody reads it; the column number is as good as any
  if (c.type == ColumnType::Decimal) {
    out.push_back(c.precision);
    out.push_back(c.scale);
    appendU16(out, 0);
  } else {
    appendU16(out, c.sortOrder);  // 0x0409 General (Access writes it on every column)
    out.push_back(0);
    out.push_back(c.type == ColumnType::Text || c.type == ColumnType::Memo ? c.sortVersion : 0);
  }
  out.push_back(c.flags);
  out.push_back(c.extFlags);
  appendU32(out, 0);
  appendU16(out, c.isFixed() ? c.fixedOffset : 0);
  appendU16(out, c.length);
}

void appendRealIndex(Bytes& out, const RealIndexDef& ri, const std::string& table) {
  if (ri.columns.size() > kMaxIndexColumns)
    throw EngineError("An index of table '" + table + "' has more than 10 fields.");
  appendU32(out, kRealIndexMagic);
  for (size_t k = 0; k < kMaxIndexColumns; ++k) {
    if (k < ri.columns.size()) {
      appendU16(out, ri.columns[k].columnNumber);
      out.push_back(ri.columns[k].ascending ? 1 : 0);
    } else {
      appendU16(out, 0xFFFF);
      out.push_back(0);
    }
  }
  appendU32(out, ri.usageMapPointer);
  appendU32(out, ri.rootPage);
  appendU32(out, 0);
  out.push_back(ri.flags);
  out.insert(out.end(), 5, 0);
}

void appendLogicalIndex(Bytes& out, const LogicalIndexDef& li) {
  appendU32(out, kDescriptorMagic);
  appendU32(out, li.number);
  appendU32(out, li.realIndex);
  out.push_back(li.relationshipRole);
  appendU32(out, uint32_t(li.otherIndexNumber));
  appendU32(out, li.otherTablePage);
  if (li.kind == IndexKind::ForeignKey) {
    out.push_back(li.cascadeUpdates ? 1 : 0);
    out.push_back(li.cascadeDeletes ? 1 : li.cascadeNull ? 2 : 0);
  } else {
    out.push_back(4);  // what Access writes for indexes outside relationships
    out.push_back(4);
  }
  out.push_back(uint8_t(li.kind));
  appendU32(out, 0);
}

// Pages of the chain that starts at `first`, in order.
std::vector<uint32_t> chainPages(PageFile& file, uint32_t first) {
  std::vector<uint32_t> pages;
  std::unordered_set<uint32_t> seen;
  for (uint32_t page = first; page != 0;) {
    if (!seen.insert(page).second) throw CorruptFileError("Corrupt file: a table definition's pages form a loop.");
    PageRef p = file.read(page);
    if ((*p)[0] != kPageTypeTableDef)
      throw CorruptFileError("Corrupt file: page " + std::to_string(page) + " should hold a table definition.");
    pages.push_back(page);
    page = u32At(ByteSpan(p->data(), kPageSize), 4);
  }
  return pages;
}

}  // namespace

Bytes encodeTableDef(const TableDef& t) {
  std::vector<const ColumnDef*> columns;
  for (const auto& c : t.columns) columns.push_back(&c);
  std::sort(columns.begin(), columns.end(), [](auto* a, auto* b) { return a->number < b->number; });
  for (const auto& li : t.logicalIndexes)
    if (li.realIndex >= t.realIndexes.size())
      throw EngineError("Internal error: index '" + li.name + "' of table '" + t.name + "' has no physical index.");

  Bytes out(63, 0);
  out[0] = kPageTypeTableDef;
  out[1] = 0x01;
  putU32(&out[12], kDescriptorMagic);
  putU32(&out[16], t.rowCount);
  putU32(&out[20], t.lastAutoNumber);
  out[24] = 0x01;
  out[40] = t.systemTable ? 0x53 : 0x4E;
  putU16(&out[41], t.maxColumnCount);
  putU16(&out[43], t.varColumnCount);
  putU16(&out[45], uint16_t(columns.size()));
  putU32(&out[47], uint32_t(t.logicalIndexes.size()));
  putU32(&out[51], uint32_t(t.realIndexes.size()));
  putU32(&out[55], t.ownedMapPointer);
  putU32(&out[59], t.freeMapPointer);

  for (const auto& ri : t.realIndexes) {
    appendU32(out, ri.statistic);
    appendU32(out, ri.distinctKeys);
    appendU32(out, 0);
  }
  for (const ColumnDef* c : columns) appendColumn(out, *c);
  for (const ColumnDef* c : columns) appendName(out, c->name);
  for (const auto& ri : t.realIndexes) appendRealIndex(out, ri, t.name);
  for (const auto& li : t.logicalIndexes) appendLogicalIndex(out, li);
  for (const auto& li : t.logicalIndexes) appendName(out, li.name);
  for (const auto& m : t.longValueMaps) {
    appendU16(out, m.columnNumber);
    appendU32(out, m.ownedMapPointer);
    appendU32(out, m.freeMapPointer);
  }
  appendU16(out, 0xFFFF);
  putU32(&out[8], uint32_t(out.size()));
  return out;
}

void writeTableDef(PageFile& file, const TableDef& table, bool rewrite) {
  const Bytes buffer = encodeTableDef(table);
  std::vector<uint32_t> pages = rewrite ? chainPages(file, table.tdefPage) : std::vector<uint32_t>{table.tdefPage};
  if (pages.empty() || pages.front() != table.tdefPage)
    throw EngineError("Internal error: the definition of table '" + table.name + "' lost its first page.");

  // The first page carries buffer bytes 0..4095; each further page an 8-byte
  // header and the next 4088 bytes.
  constexpr size_t kContinuation = kPageSize - 8;
  const size_t needed = buffer.size() <= kPageSize ? 1 : 1 + (buffer.size() - kPageSize + kContinuation - 1) / kContinuation;
  PageAllocator allocator(file);
  while (pages.size() < needed) pages.push_back(allocator.allocate());
  for (size_t k = needed; k < pages.size(); ++k) allocator.release(pages[k]);
  pages.resize(needed);

  size_t at = 0;
  for (size_t k = 0; k < needed; ++k) {
    uint8_t* page = file.modify(pages[k]);
    std::fill(page, page + kPageSize, uint8_t(0));
    size_t onPage = 0;
    if (k == 0) {
      onPage = std::min(buffer.size(), kPageSize);
      std::copy(buffer.begin(), buffer.begin() + std::ptrdiff_t(onPage), page);
    } else {
      onPage = std::min(buffer.size() - at, kContinuation);
      std::copy(buffer.begin() + std::ptrdiff_t(at), buffer.begin() + std::ptrdiff_t(at + onPage), page + 8);
      onPage += 8;
    }
    at += k == 0 ? onPage : onPage - 8;
    page[0] = kPageTypeTableDef;
    page[1] = 0x01;
    const size_t used = onPage + 8;
    putU16(page + 2, uint16_t(used >= kPageSize ? 0 : kPageSize - used));
    putU32(page + 4, k + 1 < needed ? pages[k + 1] : 0);
  }
}

}  // namespace kevra
