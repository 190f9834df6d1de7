// Page layout of a new database. Pages are handed out in Jet's order: the
// header, the global map, one definition page per system table, one page of
// usage maps, one root leaf per index, then one data page per table that has
// rows. Map rows go on the map page in the order Jet writes them: per table,
// owned and free pages, two per long-value column, one per index.
#include "engine/table/new_database_image.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "engine/catalog/tdef_writer.h"
#include "engine/format/data_page_writer.h"
#include "engine/format/row_encoder.h"
#include "engine/format/value_text.h"
#include "engine/index/index_key_encoder.h"
#include "engine/index/index_page.h"
#include "engine/storage/data_page.h"
#include "engine/storage/header_writer.h"
#include "engine/storage/page_codec.h"
#include "engine/storage/page_file.h"
#include "engine/table/new_database_catalog.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr uint32_t kGlobalMapPage = 1;
constexpr uint32_t kTdefPages[4] = {2, 3, 4, 5};
constexpr uint32_t kMapPage = 6;
constexpr uint32_t kFirstIndexPage = 7;

constexpr uint32_t kJetBuild = 0x261C;  // the engine build of the file the layout follows

// Inline usage maps as Jet makes them: type 0, start page, 64 bitmap bytes.
constexpr size_t kInlineBitmapBytes = 64;
constexpr uint32_t kInlineMapReach = kInlineBitmapBytes * 8;

[[noreturn]] void internalError(const std::string& what) {
  throw EngineError("Internal error while laying out a new database: " + what + ".");
}

// An inline map from page 0 in which the bit of each page in `pages` is `on`
// and every other bit is the opposite.
Binary inlineMap(const std::vector<uint32_t>& pages, bool on = true) {
  Binary row(1 + 4 + kInlineBitmapBytes, on ? 0x00 : 0xFF);
  row[0] = 0x00;
  putU32(row.data() + 1, 0);
  for (uint32_t page : pages) {
    if (page >= kInlineMapReach) internalError("page " + std::to_string(page) + " lies outside an inline map");
    uint8_t& byte = row[5 + page / 8];
    const uint8_t bit = uint8_t(1u << (page % 8));
    byte = on ? uint8_t(byte | bit) : uint8_t(byte & ~bit);
  }
  return row;
}

DateTime currentLocalTime() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return fromCivil(
      {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, 0});
}

// Jet stores the column descriptors of its own tables, and their names,
// sorted by name rather than by number, with ordinal 0. The encoder writes
// them by number; this puts them in Jet's order (readers go by the numbers).
void storeColumnsByName(Bytes& tdef, const TableDef& table) {
  const size_t columns = u16At(tdef, 45);
  const size_t reals = u32At(tdef, 51);
  std::vector<const ColumnDef*> byNumber;
  for (const auto& c : table.columns) byNumber.push_back(&c);
  std::sort(byNumber.begin(), byNumber.end(), [](auto* a, auto* b) { return a->number < b->number; });
  if (columns != byNumber.size()) internalError("the definition of " + table.name + " has a wrong column count");

  constexpr size_t kDescriptor = 25;
  const size_t descriptors = 63 + 12 * reals;
  const size_t names = descriptors + kDescriptor * columns;
  std::vector<ByteSpan> nameBytes;
  size_t at = names;
  for (size_t i = 0; i < columns; ++i) {
    const size_t length = 2 + u16At(tdef, at);
    requireRange(tdef, at, length, "a column name");
    nameBytes.push_back(ByteSpan(tdef).subspan(at, length));
    at += length;
  }
  std::vector<size_t> order(columns);
  for (size_t i = 0; i < columns; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return compareNamesCaseInsensitive(byNumber[a]->name, byNumber[b]->name) < 0;
  });

  Bytes out(tdef.begin(), tdef.begin() + std::ptrdiff_t(descriptors));
  for (size_t i : order) {
    const size_t start = out.size();
    out.insert(out.end(), tdef.begin() + std::ptrdiff_t(descriptors + kDescriptor * i),
               tdef.begin() + std::ptrdiff_t(descriptors + kDescriptor * (i + 1)));
    putU16(&out[start + 9], 0);  // ordinal
  }
  for (size_t i : order) out.insert(out.end(), nameBytes[i].begin(), nameBytes[i].end());
  out.insert(out.end(), tdef.begin() + std::ptrdiff_t(at), tdef.end());
  tdef = std::move(out);
}

class ImageBuilder {
 public:
  explicit ImageBuilder(uint32_t pages) : bytes_(size_t(pages) * kPageSize, 0), pageCount_(pages) {}
  uint8_t* page(uint32_t n) {
    if (n >= pageCount_) internalError("page " + std::to_string(n) + " is past the end of the file");
    return bytes_.data() + size_t(n) * kPageSize;
  }
  // A new map row on the map page holding `pages`; returns its row pointer.
  uint32_t addMap(std::vector<uint32_t> pages) {
    maps_.push_back(inlineMap(pages));
    return rowPointer(kMapPage, uint8_t(maps_.size() - 1));
  }
  void writeMapPage() {
    DataPageWriter writer(page(kMapPage));
    writer.initialise(0, false);
    for (const auto& row : maps_) {
      if (!writer.canAppend(row.size())) internalError("the usage maps do not fit their page");
      writer.append(row);
    }
  }
  Bytes take() { return std::move(bytes_); }

 private:
  Bytes bytes_;
  uint32_t pageCount_;
  std::vector<Binary> maps_;
};

Binary noLongValues(const ColumnDef& column, const Binary&) {
  internalError("a catalog row has a value for long-value column " + column.name);
}

// Rows of `table` onto `pageNumber`; returns their row pointers.
std::vector<uint32_t> writeRows(ImageBuilder& image, const NewSystemTable& table, uint32_t pageNumber) {
  DataPageWriter writer(image.page(pageNumber));
  writer.initialise(table.def.tdefPage, false);
  RowEncoder encoder(table.def);
  std::vector<uint32_t> locations;
  for (const auto& row : table.rows) {
    const Binary bytes = encoder.encode(row, noLongValues);
    if (!writer.canAppend(bytes.size())) internalError("the rows of " + table.def.name + " do not fit one page");
    locations.push_back(rowPointer(pageNumber, uint8_t(writer.append(bytes))));
  }
  return locations;
}

// The root leaf of one index, holding an entry per row; returns the number
// of distinct keys.
uint32_t writeIndex(ImageBuilder& image, const NewSystemTable& table, const RealIndexDef& index,
                    const std::vector<uint32_t>& locations) {
  IndexKeyEncoder encoder(table.def, index);
  std::vector<Bytes> entries;
  for (size_t r = 0; r < table.rows.size(); ++r) {
    if (!encoder.indexes(table.rows[r])) continue;
    Bytes entry = encoder.encode(table.rows[r]);
    appendRowPointer(pointerPage(locations[r]), pointerRow(locations[r]), entry);
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(), [](const Bytes& a, const Bytes& b) { return entryLess(a, b); });
  uint32_t distinct = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const ByteSpan key = ByteSpan(entries[i]).first(entries[i].size() - kRowPointerSize);
    const bool same =
        i > 0 && std::ranges::equal(key, ByteSpan(entries[i - 1]).first(entries[i - 1].size() - kRowPointerSize));
    if (same && index.unique()) internalError("a unique index of " + table.def.name + " has a repeated key");
    if (!same) ++distinct;
  }
  IndexPage leaf;
  leaf.leaf = true;
  leaf.tdefPage = table.def.tdefPage;
  for (const auto& e : entries) leaf.append(e);
  encodeIndexPage(leaf, image.page(index.rootPage));
  return distinct;
}

void writeTableDefPage(ImageBuilder& image, const TableDef& def) {
  Bytes buffer = encodeTableDef(def);
  storeColumnsByName(buffer, def);
  if (buffer.size() > kPageSize) internalError("the definition of " + def.name + " does not fit one page");
  uint8_t* page = image.page(def.tdefPage);
  std::copy(buffer.begin(), buffer.end(), page);
  putU16(page + 2, uint16_t(kPageSize - buffer.size() - 8));
  putU32(page + 4, 0);  // no continuation page
}

// Page 1: row 0 marks free pages (here: every page past the end of the
// file); row 1 is the second map Jet keeps there, always empty.
void writeGlobalMap(ImageBuilder& image, uint32_t pageCount) {
  std::vector<uint32_t> used;
  for (uint32_t p = 0; p < pageCount; ++p) used.push_back(p);
  DataPageWriter writer(image.page(kGlobalMapPage));
  writer.initialise(kGlobalMapPage, false);
  writer.append(inlineMap(used, false));
  writer.append(Binary(1 + 4 + kInlineBitmapBytes, 0));
}

}  // namespace

Bytes newDatabaseImage(const NewDatabaseOptions& options) {
  const SidMaskPair& sidMask = newDatabaseSidMask();
  DatabaseHeader header;
  header.format = FileFormat::Jet4;
  header.versionByte = 1;
  header.codePage = options.codePage;
  header.engineBuild = kJetBuild;
  header.sortOrder = options.sortOrder;
  header.sortOrderVersion = options.sortOrderVersion;
  header.createdSerial = sidMask.createdSerial;
  header.password = options.password;
  header.encryptionKey = options.encryptionKey;

  std::vector<NewSystemTable> tables =
      newSystemTables(kTdefPages, options.created.value_or(currentLocalTime()), sidMask.mask);
  for (auto& table : tables)
    for (auto& c : table.def.columns)
      if (c.type == ColumnType::Text || c.type == ColumnType::Memo) {
        c.sortOrder = options.sortOrder;
        c.sortVersion = options.sortOrderVersion;
      }

  uint32_t indexCount = 0, tablesWithRows = 0;
  for (const auto& t : tables) {
    indexCount += uint32_t(t.def.realIndexes.size());
    if (!t.rows.empty()) ++tablesWithRows;
  }
  const uint32_t firstDataPage = kFirstIndexPage + indexCount;
  const uint32_t pageCount = firstDataPage + tablesWithRows;
  ImageBuilder image(pageCount);
  encodeHeader(header, image.page(0));

  uint32_t nextIndexPage = kFirstIndexPage, nextDataPage = firstDataPage;
  for (auto& table : tables) {
    TableDef& def = table.def;
    const uint32_t dataPage = table.rows.empty() ? 0 : nextDataPage++;
    const std::vector<uint32_t> owned = dataPage ? std::vector<uint32_t>{dataPage} : std::vector<uint32_t>{};
    def.ownedMapPointer = image.addMap(owned);
    def.freeMapPointer = image.addMap(owned);  // the data page has room left
    def.longValueMaps.clear();
    for (const auto& c : def.columns)
      if (isLongValueType(c.type)) {
        const uint32_t ownedLv = image.addMap({});
        def.longValueMaps.push_back({c.number, ownedLv, image.addMap({})});
      }
    // Stored in the order of the column descriptors, which Jet sorts by name.
    auto nameOf = [&](uint16_t number) -> std::string_view {
      const ColumnDef* c = def.columnByNumber(number);
      return c ? std::string_view(c->name) : std::string_view();
    };
    std::stable_sort(def.longValueMaps.begin(), def.longValueMaps.end(), [&](const auto& a, const auto& b) {
      return compareNamesCaseInsensitive(nameOf(a.columnNumber), nameOf(b.columnNumber)) < 0;
    });
    for (auto& index : def.realIndexes) {
      index.rootPage = nextIndexPage++;
      index.usageMapPointer = image.addMap({index.rootPage});
    }

    const std::vector<uint32_t> locations = dataPage ? writeRows(image, table, dataPage) : std::vector<uint32_t>{};
    def.rowCount = uint32_t(table.rows.size());
    for (auto& index : def.realIndexes) index.distinctKeys = writeIndex(image, table, index, locations);
    writeTableDefPage(image, def);
  }
  image.writeMapPage();
  writeGlobalMap(image, pageCount);
  Bytes bytes = image.take();
  if (options.encryptionKey != 0) {
    auto codec = makeJetPageCodec(options.encryptionKey);
    for (uint32_t n = 1; n < pageCount; ++n) codec->encode(n, bytes.data() + size_t(n) * kPageSize, kPageSize);
  }
  return bytes;
}

}  // namespace kevra
