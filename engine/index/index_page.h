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
  size_t sharedPrefix() const { return size() < 2 ? 0 : sharedPrefix(0, size()); }
  // Bytes the entries take on the page with that prefix stored once.
  size_t storedBytes() const { return storedBytes(0, size()); }
  // The same for entries [first, last) alone.
  size_t sharedPrefix(size_t first, size_t last) const;
  size_t storedBytes(size_t first, size_t last) const;
  // Position of the first entry not less than `e` (entry order).
  size_t lowerBound(ByteSpan e) const;
  // Position of the first entry whose key is not below `key` (a whole key
  // or the start of keys).
  size_t lowerBoundKey(ByteSpan key) const;
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

// Key order: plain byte order, a key that is the start of a longer one first.
inline bool keyLess(ByteSpan a, ByteSpan b) {
  size_t n = std::min(a.size(), b.size());
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  return c < 0 || (c == 0 && a.size() < b.size());
}

// Entry order, for entries of key + row pointer (a leaf entry, or a node
// entry without its child page): by key, then by row pointer. Comparing the
// whole entries byte by byte is not the same where one key is the start of
// another (an empty Binary value, key 7F, before 7F 00 ...): its row pointer
// would be compared with the other key's bytes.
inline bool entryLess(ByteSpan a, ByteSpan b) {
  const size_t ka = a.size() - kRowPointerSize, kb = b.size() - kRowPointerSize;
  const size_t n = std::min(ka, kb);
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (c != 0) return c < 0;
  if (ka != kb) return ka < kb;
  return std::memcmp(a.data() + ka, b.data() + kb, kRowPointerSize) < 0;
}

// Whether entry `e` (key + row pointer) comes before every entry whose key
// is not below `key` (a whole key or the start of keys).
inline bool entryBelowKey(ByteSpan e, ByteSpan key) { return keyLess(e.first(e.size() - kRowPointerSize), key); }

// How many leading bytes a run of entries in order, from `first` to `last`,
// all share (what a page stores once): the bytes the two share, up to one
// short of the shorter, and not past the shorter key unless the keys are
// equal (a longer key that starts with a shorter one is followed by entries
// of the shorter key with any row pointer). `tail` is the bytes after the
// key: the row pointer, and on node pages the child page too.
size_t sharedEntryPrefix(ByteSpan first, ByteSpan last, size_t tail);

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
