// IndexPage: one node (0x03) or leaf (0x04) page of an index B-tree, decoded
// into whole entries (shared prefix restored) and encoded back. Entries keep
// their stored tail: leaf entries end with the 4-byte row pointer, node
// entries with the row pointer and the 4-byte child page.
#pragma once
#include <cstdint>
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

struct IndexPage {
  bool leaf = true;
  uint32_t tdefPage = 0;
  uint32_t prevPage = 0;
  uint32_t nextPage = 0;
  uint32_t tailPage = 0;      // node pages: right-most child, which has no entry
  uint16_t freeSpace = 0;     // as stored
  uint16_t prefixLength = 0;  // as stored
  std::vector<Bytes> entries;

  // Bytes the entries take when written without prefix compression.
  size_t entryBytes() const;
  // Key and row pointer of a node entry (the entry without its child page).
  static ByteSpan withoutChild(const Bytes& nodeEntry);
  static uint32_t childOf(const Bytes& nodeEntry);
};

// Decodes `bytes`. Throws CorruptFileError naming `page` and `owner` when the
// page is not an index page or its bitmap, prefix or entries are impossible.
IndexPage decodeIndexPage(ByteSpan bytes, uint32_t page, const std::string& owner);

// Writes `page` into `out` (a full page) with prefix length 0. Throws
// EngineError when the entries do not fit.
void encodeIndexPage(const IndexPage& page, uint8_t* out);

// Big-endian helpers for the pointers inside entries.
uint32_t readEntryPointerPage(ByteSpan entryTail);  // first 3 bytes
void appendBigEndian32(uint32_t v, Bytes& out);

}  // namespace kevra
