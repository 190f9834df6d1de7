// TDEF parsing: the page chain, the fixed header, then columns, names, real
// and logical indexes, index names and long-value map references in order.
#include "engine/catalog/tdef_reader.h"

#include <algorithm>
#include <unordered_set>

#include "engine/storage/data_page.h"
#include "engine/util/code_page.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr size_t kColumnDescriptorSize = 25;
constexpr size_t kRealIndexSize = 52;
constexpr size_t kLogicalIndexSize = 28;
constexpr size_t kMaxTdefPages = 1024;

class Reader {
 public:
  // `codePage`: names are in that code page behind a one-byte length
  // (Jet 3); 0 for UTF-16 names behind a two-byte length.
  Reader(ByteSpan data, const std::string& table, int codePage = 0)
      : data_(data), table_(table), codePage_(codePage) {}
  void need(size_t n) const {
    if (pos_ > data_.size() || n > data_.size() - pos_)
      throw CorruptFileError("Corrupt file: the definition of table '" + table_ + "' is truncated.");
  }
  ByteSpan take(size_t n) {
    need(n);
    ByteSpan s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  std::string name() {
    if (codePage_) {
      need(1);
      size_t len = data_[pos_++];
      std::string out;
      appendCodePageAsUtf8(take(len), codePage_, out);
      return out;
    }
    need(2);
    size_t len = u16At(data_, pos_);
    pos_ += 2;
    return utf16leToUtf8(take(len));
  }
  size_t remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }

 private:
  ByteSpan data_;
  const std::string& table_;
  int codePage_;
  size_t pos_ = 0;
};

Bytes readChain(const PageFile& file, uint32_t first, const std::string& name) {
  Bytes buffer;
  std::unordered_set<uint32_t> seen;
  uint32_t page = first;
  while (page != 0) {
    if (!seen.insert(page).second)
      throw CorruptFileError("Corrupt file: the definition pages of table '" + name + "' form a loop.");
    if (seen.size() > kMaxTdefPages)
      throw CorruptFileError("Corrupt file: the definition of table '" + name + "' spans too many pages.");
    PageRef p = file.read(page);
    if ((*p)[0] != kPageTypeTableDef)
      throw CorruptFileError("Corrupt file: page " + std::to_string(page) + " should hold the definition of table '" +
                             name + "' but has page type " + std::to_string((*p)[0]) + ".");
    ByteSpan bytes = file.span(p);
    buffer.insert(buffer.end(), bytes.begin() + (buffer.empty() ? 0 : 8), bytes.end());
    page = u32At(bytes, 4);
  }
  return buffer;
}

ColumnType typeFromCode(uint8_t code) {
  if (isKnownColumnType(code)) return ColumnType(code);
  return ColumnType::Binary;
}

// Long-value map references: column number + two pointers, until FF FF.
// Tolerant: the maps are not needed to read rows, so a short tail is no error.
void readLongValueMaps(Reader& r, size_t columnCount, TableDef& t) {
  while (r.remaining() >= 2) {
    ByteSpan marker = r.take(2);
    uint16_t col = u16At(marker, 0);
    if (col == 0xFFFF || r.remaining() < 8) break;
    ByteSpan d = r.take(8);
    t.longValueMaps.push_back(LongValueMaps{col, u32At(d, 0), u32At(d, 4)});
    if (t.longValueMaps.size() > columnCount) break;  // stale bytes after the last entry
  }
}

// Columns in number order, each number once.
std::shared_ptr<TableDef> finish(std::vector<ColumnDef> columns, std::shared_ptr<TableDef> t) {
  std::sort(columns.begin(), columns.end(), [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });
  for (size_t i = 0; i + 1 < columns.size(); ++i)
    if (columns[i].number == columns[i + 1].number)
      throw CorruptFileError("Corrupt file: two columns of table '" + t->name + "' share the number " +
                             std::to_string(columns[i].number) + ".");
  t->columns = std::move(columns);
  return t;
}

// The Access 97 definition: a 43-byte header, 8-byte index counters,
// 18-byte column descriptors, single-byte names, 39- and 20-byte index
// definitions; the order of the parts is Jet 4's.
// The parts of a physical index definition Jet 3 and Jet 4 share, from
// `base` on (Jet 4's definition starts with four bytes Jet 3's lacks).
void decodeRealIndex(ByteSpan d, size_t base, RealIndexDef& ri) {
  for (size_t k = 0; k < 10; ++k) {
    uint16_t col = u16At(d, base + 3 * k);
    if (col == 0xFFFF) continue;
    ri.columns.push_back(IndexColumnRef{col, d[base + 2 + 3 * k] != 0});
  }
  ri.usageMapPointer = u32At(d, base + 30);
  ri.rootPage = u32At(d, base + 34);
}

// A logical index definition, laid out alike in both formats from `base` on.
void decodeLogicalIndex(ByteSpan d, size_t base, size_t realCount, const std::string& table, LogicalIndexDef& li) {
  li.number = u32At(d, base);
  li.realIndex = u32At(d, base + 4);
  li.relationshipRole = d[base + 8];
  li.otherIndexNumber = i32At(d, base + 9);
  li.otherTablePage = u32At(d, base + 13);
  li.cascadeUpdates = d[base + 17] == 1 && d[base + 19] == 2;
  li.cascadeDeletes = d[base + 18] == 1 && d[base + 19] == 2;
  li.cascadeNull = d[base + 18] == 2 && d[base + 19] == 2;
  li.kind = d[base + 19] <= 2 ? IndexKind(d[base + 19]) : IndexKind::Normal;
  if (li.realIndex >= realCount)
    throw CorruptFileError("Corrupt file: index " + std::to_string(li.number) + " of table '" + table +
                           "' refers to a missing physical index.");
}

// Where a format keeps the parts of a table definition. Both formats keep
// the same header fields in the same order; Jet 4 sets them further in.
struct TdefLayout {
  size_t rowCountAt;    // then the autonumber counter
  size_t systemAt;      // then the column counts, index counts and maps
  size_t column;        // bytes of a column descriptor
  size_t realIndex;     // bytes of a real index definition
  size_t logicalIndex;  // bytes of a logical index definition
  size_t counter;       // bytes of a real index's counters
  size_t indexOffset;   // where the index definitions' fields start
  size_t realFlagsAt;   // a real index's flags, in its definition
  size_t header() const { return systemAt + 23; }
};
constexpr TdefLayout kJet3Tdef{12, 20, 18, 39, 20, 8, 0, 38};
constexpr TdefLayout kJet4Tdef{16, 40, kColumnDescriptorSize, kRealIndexSize, kLogicalIndexSize, 12, 4, 46};

void decodeJet3Column(ByteSpan d, uint16_t codePage, ColumnDef& c) {
  c.rawType = d[0];
  c.type = typeFromCode(d[0]);
  c.number = u16At(d, 1);
  c.varIndex = u16At(d, 3);
  c.sortOrder = u16At(d, 9);
  if (c.type == ColumnType::Text || c.type == ColumnType::Memo) c.codePage = codePage;
  c.flags = d[13];
  c.fixedOffset = u16At(d, 14);
  c.length = u16At(d, 16);
  // Text lengths are kept as Jet 4 counts them, two bytes a character.
  if (c.type == ColumnType::Text && !c.isFixed()) c.length = uint16_t(2 * c.length);
}

void decodeJet4Column(ByteSpan d, ColumnDef& c) {
  c.rawType = d[0];
  c.type = typeFromCode(d[0]);
  c.number = u16At(d, 5);
  c.varIndex = u16At(d, 7);
  if (c.type == ColumnType::Complex) {
    c.complexId = u32At(d, 11);
  } else if (c.type == ColumnType::Decimal) {
    c.precision = d[11];
    c.scale = d[12];
  } else {
    c.sortOrder = u16At(d, 11);
    if (c.type == ColumnType::Text || c.type == ColumnType::Memo) c.sortVersion = d[14];
  }
  c.flags = d[15];
  c.extFlags = d[16];
  c.fixedOffset = u16At(d, 21);
  c.length = u16At(d, 23);
}

}  // namespace

std::shared_ptr<TableDef> readTableDef(const PageFile& file, uint32_t tdefPage, const std::string& name) {
  Bytes buffer = readChain(file, tdefPage, name);
  ByteSpan data(buffer);
  auto t = std::make_shared<TableDef>();
  t->name = name;
  t->tdefPage = tdefPage;
  const bool jet3 = file.layout().jet3;
  const TdefLayout& l = jet3 ? kJet3Tdef : kJet4Tdef;
  if (data.size() < l.header())
    throw CorruptFileError("Corrupt file: the definition of table '" + name + "' is truncated.");
  size_t declared = u32At(data, 8);
  if (declared > l.header() && declared < data.size()) data = data.first(declared);
  t->rowCount = u32At(data, l.rowCountAt);
  t->lastAutoNumber = u32At(data, l.rowCountAt + 4);
  const size_t s = l.systemAt;
  t->systemTable = data[s] == 0x53;
  t->maxColumnCount = u16At(data, s + 1);
  t->varColumnCount = u16At(data, s + 3);
  size_t columnCount = u16At(data, s + 5);
  size_t logicalCount = u32At(data, s + 7);
  size_t realCount = u32At(data, s + 11);
  t->ownedMapPointer = u32At(data, s + 15);
  t->freeMapPointer = u32At(data, s + 19);
  // Each structure needs bytes of its own, so counts beyond the buffer are lies.
  if (columnCount * l.column > data.size() || realCount * l.realIndex > data.size() ||
      logicalCount * l.logicalIndex > data.size())
    throw CorruptFileError("Corrupt file: the definition of table '" + name + "' has impossible counts.");

  // Jet 3 names are single-byte text in the file's code page.
  const uint16_t codePage = file.layout().textCodePage;
  Reader r(data, name, jet3 ? int(codePage) : 0);
  r.take(l.header());
  ByteSpan counters = r.take(l.counter * realCount);

  std::vector<ColumnDef> columns(columnCount);
  for (auto& c : columns) {
    if (jet3)
      decodeJet3Column(r.take(l.column), codePage, c);
    else
      decodeJet4Column(r.take(l.column), c);
  }
  for (auto& c : columns) c.name = r.name();

  t->realIndexes.resize(realCount);
  for (size_t k = 0; k < realCount; ++k) {
    t->realIndexes[k].statistic = u32At(counters, l.counter * k);
    t->realIndexes[k].distinctKeys = u32At(counters, l.counter * k + 4);
  }
  for (auto& ri : t->realIndexes) {
    ByteSpan d = r.take(l.realIndex);
    decodeRealIndex(d, l.indexOffset, ri);
    ri.flags = d[l.realFlagsAt];
  }
  t->logicalIndexes.resize(logicalCount);
  for (auto& li : t->logicalIndexes) decodeLogicalIndex(r.take(l.logicalIndex), l.indexOffset, realCount, name, li);
  for (auto& li : t->logicalIndexes) li.name = r.name();

  readLongValueMaps(r, columnCount, *t);
  return finish(std::move(columns), std::move(t));
}

}  // namespace kevra
