// Changing usage maps in place: inline maps (a start page and a bitmap) move
// their window or turn into reference maps (pointers to bitmap pages) when a
// page falls outside; the global map on page 1 grows its rows as the file grows.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/storage/data_page.h"
#include "engine/storage/page_allocator.h"
#include "engine/storage/usage_map.h"
#include "engine/storage/usage_map_editor.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr uint32_t kPagesPerBitmapPage = (kPageSize - 4) * 8;
constexpr uint32_t kGlobalMapPointer = (1u << 8) | 0;

struct MapRow {
  uint8_t* bytes;
  size_t length;
};

// The bytes of the map row at `pointer`, in the transaction's copy of its page.
MapRow mapRow(PageFile& file, uint32_t pointer) {
  uint32_t page = pointerPage(pointer);
  uint8_t* data = file.modify(page);
  PageRef view = file.read(page);
  DataPage dp(view, page, "a usage map", file.layout());
  ByteSpan row = dp.row(pointerRow(pointer));
  if (row.empty()) throw CorruptFileError("Corrupt file: an empty usage map row on page " + std::to_string(page) + ".");
  return {data + (row.data() - view->data()), row.size()};
}

void setBit(uint8_t* bitmap, size_t bit, bool on) {
  if (on)
    bitmap[bit / 8] |= uint8_t(1 << (bit % 8));
  else
    bitmap[bit / 8] &= uint8_t(~(1 << (bit % 8)));
}

uint32_t newBitmapPage(PageFile& file, uint32_t page, bool allFree) {
  uint8_t* p = file.modify(page);
  std::memset(p, allFree ? 0xFF : 0x00, kPageSize);
  p[0] = kPageTypeUsageBitmap;
  p[1] = 0x01;
  p[2] = p[3] = 0;
  return page;
}

// Sets `page` in a reference map; `allocateBitmap` supplies new bitmap pages.
template <typename Allocate>
void setInReference(PageFile& file, uint32_t pointer, uint32_t page, bool on, bool newPagesAllFree,
                    Allocate allocateBitmap) {
  MapRow row = mapRow(file, pointer);
  size_t k = page / kPagesPerBitmapPage;
  size_t refs = (row.length - 1) / 4;
  if (k >= refs) throw EngineError("The database has reached the largest size its page maps can describe.");
  uint32_t bitmapPage = uint32_t(row.bytes[1 + 4 * k]) | (uint32_t(row.bytes[2 + 4 * k]) << 8) |
                        (uint32_t(row.bytes[3 + 4 * k]) << 16) | (uint32_t(row.bytes[4 + 4 * k]) << 24);
  if (bitmapPage == 0) {
    if (on == false && !newPagesAllFree) return;  // nothing to clear
    bitmapPage = allocateBitmap();
    newBitmapPage(file, bitmapPage, newPagesAllFree);
    row = mapRow(file, pointer);  // the allocation may have moved nothing, but refresh the pointer
    for (int i = 0; i < 4; ++i) row.bytes[1 + 4 * k + size_t(i)] = uint8_t(bitmapPage >> (8 * i));
  }
  uint8_t* bits = file.modify(bitmapPage);
  if (bits[0] != kPageTypeUsageBitmap)
    throw CorruptFileError("Corrupt file: page " + std::to_string(bitmapPage) + " should be a usage bitmap page.");
  setBit(bits + 4, page % kPagesPerBitmapPage, on);
}

// Lays out `rows` on a data page from the end downwards (no slot flags).
void layoutRows(uint8_t* page, const std::vector<std::vector<uint8_t>>& rows) {
  size_t total = 14 + 2 * rows.size();
  for (auto& r : rows) total += r.size();
  if (total > kPageSize) throw EngineError("Internal error: rows do not fit their page.");
  std::memset(page + 14, 0, kPageSize - 14);
  size_t end = kPageSize;
  for (size_t i = 0; i < rows.size(); ++i) {
    size_t start = end - rows[i].size();
    std::memcpy(page + start, rows[i].data(), rows[i].size());
    page[14 + 2 * i] = uint8_t(start);
    page[15 + 2 * i] = uint8_t(start >> 8);
    end = start;
  }
  page[12] = uint8_t(rows.size());
  page[13] = uint8_t(rows.size() >> 8);
  uint16_t free = uint16_t(kPageSize - total);
  page[2] = uint8_t(free);
  page[3] = uint8_t(free >> 8);
}

}  // namespace

void usageMapAdd(PageFile& file, uint32_t mapPointer, uint32_t page) {
  if (mapPointer == 0) throw CorruptFileError("Corrupt file: a table or index has no usage map.");
  MapRow row = mapRow(file, mapPointer);
  if (row.bytes[0] == 0x01) {
    PageAllocator allocator(file);
    setInReference(file, mapPointer, page, true, false, [&] { return allocator.allocate(); });
    return;
  }
  if (row.bytes[0] != 0x00 || row.length < 5) throw CorruptFileError("Corrupt file: a usage map has an unknown form.");
  uint32_t start = uint32_t(row.bytes[1]) | (uint32_t(row.bytes[2]) << 8) | (uint32_t(row.bytes[3]) << 16) |
                   (uint32_t(row.bytes[4]) << 24);
  size_t capacity = (row.length - 5) * 8;
  if (page >= start && page - start < capacity) {
    setBit(row.bytes + 5, page - start, true);
    return;
  }
  // Outside the window: move it if every member still fits, else switch to
  // a reference map of the same row length.
  std::vector<uint32_t> members;
  for (size_t bit = 0; bit < capacity; ++bit)
    if (row.bytes[5 + bit / 8] & (1 << (bit % 8))) members.push_back(uint32_t(start + bit));
  members.push_back(page);
  uint32_t lo = *std::min_element(members.begin(), members.end()) / 8 * 8;
  uint32_t hi = *std::max_element(members.begin(), members.end());
  if (hi - lo < capacity) {
    std::memset(row.bytes + 5, 0, row.length - 5);
    for (int i = 0; i < 4; ++i) row.bytes[1 + i] = uint8_t(lo >> (8 * i));
    for (uint32_t m : members) setBit(row.bytes + 5, m - lo, true);
    return;
  }
  std::memset(row.bytes, 0, row.length);
  row.bytes[0] = 0x01;
  PageAllocator allocator(file);
  for (uint32_t m : members)
    setInReference(file, mapPointer, m, true, false, [&] { return allocator.allocate(); });
}

void usageMapRemove(PageFile& file, uint32_t mapPointer, uint32_t page) {
  if (mapPointer == 0) return;
  MapRow row = mapRow(file, mapPointer);
  if (row.bytes[0] == 0x01) {
    setInReference(file, mapPointer, page, false, false, [] { return 0u; });
    return;
  }
  uint32_t start = uint32_t(row.bytes[1]) | (uint32_t(row.bytes[2]) << 8) | (uint32_t(row.bytes[3]) << 16) |
                   (uint32_t(row.bytes[4]) << 24);
  size_t capacity = (row.length - 5) * 8;
  if (page >= start && page - start < capacity) setBit(row.bytes + 5, page - start, false);
}

// The global map: bit set = free page.
void markInGlobalMap(PageFile& file, uint32_t page, bool isFree) {
  MapRow row = mapRow(file, kGlobalMapPointer);
  if (row.bytes[0] == 0x01) {
    // New bitmap pages are appended directly (not through the allocator,
    // which would recurse); they start all free and then mark themselves used.
    std::vector<uint32_t> fresh;
    setInReference(file, kGlobalMapPointer, page, isFree, true, [&] {
      uint32_t p = file.append();
      fresh.push_back(p);
      return p;
    });
    for (uint32_t p : fresh) markInGlobalMap(file, p, false);
    return;
  }
  uint32_t start = uint32_t(row.bytes[1]) | (uint32_t(row.bytes[2]) << 8) | (uint32_t(row.bytes[3]) << 16) |
                   (uint32_t(row.bytes[4]) << 24);
  size_t capacity = (row.length - 5) * 8;
  if (page >= start && page - start < capacity) {
    setBit(row.bytes + 5, page - start, isFree);
    return;
  }
  if (page < start) throw CorruptFileError("Corrupt file: the global page map does not start at page 0.");
  if (isFree) return;  // beyond the map: already counted as free space past the end

  // Grow both rows of page 1 in 4-byte steps; bits for pages past the end of
  // the file are set (free), the pages in use are clear.
  uint8_t* p1 = file.modify(1);
  PageRef view = file.read(1);
  DataPage dp(view, 1, "the global page map", file.layout());
  if (dp.slotCount() < 1) throw CorruptFileError("Corrupt file: the global page map is missing.");
  std::vector<std::vector<uint8_t>> rows;
  for (uint16_t s = 0; s < dp.slotCount(); ++s) {
    ByteSpan r = dp.row(s);
    rows.emplace_back(r.begin(), r.end());
  }
  size_t neededBytes = (page - start) / 8 + 1;
  size_t newBitmap = (neededBytes + 3) / 4 * 4 + 4;
  size_t oldBitmap = rows[0].size() - 5;
  size_t rowsBytes = 14 + 2 * rows.size();
  for (size_t i = 0; i < rows.size(); ++i) rowsBytes += i < 2 ? 5 + newBitmap : rows[i].size();
  if (rowsBytes <= kPageSize) {
    rows[0].resize(5 + newBitmap, 0);
    for (size_t bit = oldBitmap * 8; bit < newBitmap * 8; ++bit)
      setBit(rows[0].data() + 5, bit, start + bit >= file.pageCount());
    setBit(rows[0].data() + 5, page - start, false);
    if (rows.size() > 1) rows[1].resize(5 + newBitmap, 0);
    layoutRows(p1, rows);
    return;
  }
  // Page 1 is full: the map becomes a reference map over bitmap pages.
  std::vector<bool> freeBits(file.pageCount(), false);
  for (size_t bit = 0; bit < oldBitmap * 8; ++bit)
    if (start + bit < freeBits.size()) freeBits[start + bit] = rows[0][5 + bit / 8] & (1 << (bit % 8));
  rows[0].assign(69, 0);
  rows[0][0] = 0x01;
  if (rows.size() > 1) rows[1].assign(69, 0);
  layoutRows(p1, rows);
  for (uint32_t pg = 0; pg < freeBits.size(); ++pg)
    if (!freeBits[pg]) markInGlobalMap(file, pg, false);
}

}  // namespace kevra
