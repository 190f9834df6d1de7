// IndexPage: one node (0x03) or leaf (0x04) page of an index B-tree, decoded
// into whole entries (shared prefix restored) and encoded back. Entries keep
// their stored tail: leaf entries end with the 4-byte row pointer, node
// entries with the row pointer and the 4-byte child page.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/storage/page_file.h"
#include "engine/util/bytes.h"

namespace kevra {

constexpr size_t kIndexEntriesStart = 480;  // first entry byte
constexpr size_t kIndexBitmapStart = 27;    // entry-end bitmap
constexpr size_t kIndexEntrySpace = kPageSize - kIndexEntriesStart;  // 3616 bytes
constexpr size_t kRowPointerSize = 4;  // page (3 bytes big-endian) + row
constexpr size_t kChildPointerSize = 4;

class IndexPage {
 public:
  bool leaf = true;
  uint32_t tdefPage = 0;
  uint32_t prevPage = 0;
  uint32_t nextPage = 0;
  uint32_t tailPage = 0;      // node pages: right-most child, which has no entry
  uint16_t freeSpace = 0;     // as stored
  uint16_t prefixLength = 0;  // as stored

  // Entries are kept back to back in one buffer (pages are decoded for every
  // index change, so this avoids one allocation per entry).
  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  ByteSpan entry(size_t i) const {
    size_t start = i ? ends_[i - 1] : 0;
    return ByteSpan(data_.data() + start, ends_[i] - start);
  }
  ByteSpan back() const { return entry(size() - 1); }
  // Bytes the entries take when written without prefix compression.
  size_t entryBytes() const { return data_.size(); }
  // Length of the prefix every entry shares with the first one (what the page
  // stores once), leaving every later entry at least one byte of its own.
  size_t sharedPrefix() const;
  // Bytes the entries take on the page with that prefix stored once.
  size_t storedBytes() const { return size() < 2 ? entryBytes() : entryBytes() - (size() - 1) * sharedPrefix(); }
  // Position of the first entry not less than `e` (byte order).
  size_t lowerBound(ByteSpan e) const;
  void append(ByteSpan e);
  // Appends the entry made of `prefix` followed by `tail`.
  void appendJoined(ByteSpan prefix, ByteSpan tail);
  void insert(size_t i, ByteSpan e);
  void erase(size_t i);
  void replace(size_t i, ByteSpan e);
  // Keeps entries [first, last) only.
  void keepRange(size_t first, size_t last);
  void clearEntries();
  std::vector<Bytes> entries() const;
  // Sets the entries from stored bytes and their end offsets (no prefix).
  void assignStored(ByteSpan data, std::vector<uint32_t> ends);

  // Key and row pointer of a node entry (the entry without its child page).
  static ByteSpan withoutChild(ByteSpan nodeEntry) { return nodeEntry.first(nodeEntry.size() - kChildPointerSize); }
  static uint32_t childOf(ByteSpan nodeEntry);

 private:
  Bytes data_;
  std::vector<uint32_t> ends_;
};

// Entry order: plain byte order, a prefix sorting first.
inline bool entryLess(ByteSpan a, ByteSpan b) {
  size_t n = std::min(a.size(), b.size());
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  return c < 0 || (c == 0 && a.size() < b.size());
}

// Decodes `bytes`, a page laid out as `layout` says (Jet 3 index pages keep
// their entries from 0xF8 and a one-byte prefix length). Throws
// CorruptFileError naming `page` and `owner` when the page is not an index
// page or its bitmap, prefix or entries are impossible.
IndexPage decodeIndexPage(ByteSpan bytes, uint32_t page, const std::string& owner, const FileLayout& layout);

// Writes `page` into `out` (a full page), storing the prefix all entries
// share once, as Access does. Throws EngineError when the entries do not fit.
void encodeIndexPage(const IndexPage& page, uint8_t* out);

// Big-endian helpers for the pointers inside entries.
uint32_t readEntryPointerPage(ByteSpan entryTail);  // first 3 bytes
void appendBigEndian32(uint32_t v, Bytes& out);

}  // namespace kevra
