// Inline and reference usage maps.
#include "engine/storage/usage_map.h"

#include <algorithm>

#include "engine/storage/data_page.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

void addBits(ByteSpan bitmap, uint64_t firstPage, uint32_t pageCount, std::vector<uint32_t>& out) {
  for (size_t byte = 0; byte < bitmap.size(); ++byte) {
    uint8_t bits = bitmap[byte];
    if (!bits) continue;
    for (int bit = 0; bit < 8; ++bit) {
      if (!(bits & (1 << bit))) continue;
      uint64_t page = firstPage + byte * 8 + unsigned(bit);
      // Bits past the end of the file are ignored: Access sets them freely in
      // the global map, and a stale bit cannot name a page that exists.
      if (page < pageCount) out.push_back(uint32_t(page));
    }
  }
}

}  // namespace

UsageMap UsageMap::read(const PageFile& file, uint32_t pointer, const std::string& owner) {
  if (pointer == 0) return UsageMap{};
  PageRef holder;
  ByteSpan row = readRowAt(file, pointer, holder, owner);
  return decode(file, row, owner);
}

UsageMap UsageMap::decode(const PageFile& file, ByteSpan row, const std::string& owner) {
  UsageMap map;
  if (row.empty()) return map;
  if (row[0] == 0x00) {
    if (row.size() < 5) throw CorruptFileError("Corrupt file: the usage map of " + owner + " is truncated.");
    uint32_t start = u32At(row, 1);
    addBits(row.subspan(5), start, file.pageCount(), map.pages_);
  } else if (row[0] == 0x01) {
    size_t refs = (row.size() - 1) / 4;
    for (size_t k = 0; k < refs; ++k) {
      uint32_t bitmapPage = u32At(row, 1 + 4 * k);
      if (bitmapPage == 0) continue;
      PageRef page = file.read(bitmapPage);
      if ((*page)[0] != kPageTypeUsageBitmap)
        throw CorruptFileError("Corrupt file: page " + std::to_string(bitmapPage) + " in the usage map of " + owner +
                               " is not a usage bitmap page.");
      // Each bitmap page covers as many pages as its bytes after the header have bits.
      const uint64_t pagesPerBitmapPage = uint64_t(file.pageSize() - 4) * 8;
      addBits(ByteSpan(page->data() + 4, file.pageSize() - 4), uint64_t(k) * pagesPerBitmapPage, file.pageCount(),
              map.pages_);
    }
    std::sort(map.pages_.begin(), map.pages_.end());
    map.pages_.erase(std::unique(map.pages_.begin(), map.pages_.end()), map.pages_.end());
  } else {
    throw CorruptFileError("Corrupt file: the usage map of " + owner + " has unknown type " + std::to_string(row[0]) +
                           ".");
  }
  return map;
}

bool UsageMap::contains(uint32_t page) const { return std::binary_search(pages_.begin(), pages_.end(), page); }

}  // namespace kevra
