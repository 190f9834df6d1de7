// Layout of index pages: 27-byte header, entry-end bitmap, entries from 480.
#include "engine/index/index_page.h"

#include <algorithm>
#include <cstring>

#include "engine/format/data_page.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

[[noreturn]] void corrupt(uint32_t page, const std::string& owner, const std::string& what) {
  throw CorruptFileError("Corrupt file: index page " + std::to_string(page) + " of " + owner + " " + what + ".");
}

void putU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void putU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

size_t IndexPage::entryBytes() const {
  size_t total = 0;
  for (const auto& e : entries) total += e.size();
  return total;
}

ByteSpan IndexPage::withoutChild(const Bytes& nodeEntry) {
  return ByteSpan(nodeEntry.data(), nodeEntry.size() - kChildPointerSize);
}

uint32_t IndexPage::childOf(const Bytes& nodeEntry) {
  size_t n = nodeEntry.size();
  return (uint32_t(nodeEntry[n - 4]) << 24) | (uint32_t(nodeEntry[n - 3]) << 16) | (uint32_t(nodeEntry[n - 2]) << 8) |
         nodeEntry[n - 1];
}

uint32_t readEntryPointerPage(ByteSpan tail) {
  return (uint32_t(tail[0]) << 16) | (uint32_t(tail[1]) << 8) | tail[2];
}

void appendBigEndian32(uint32_t v, Bytes& out) {
  for (int i = 3; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

IndexPage decodeIndexPage(ByteSpan bytes, uint32_t page, const std::string& owner) {
  if (bytes.size() != kPageSize) corrupt(page, owner, "is truncated");
  IndexPage p;
  uint8_t type = bytes[0];
  if (type != kPageTypeIndexNode && type != kPageTypeIndexLeaf)
    corrupt(page, owner, "has page type " + std::to_string(type) + " instead of an index page type");
  p.leaf = type == kPageTypeIndexLeaf;
  p.freeSpace = u16At(bytes, 2);
  p.tdefPage = u32At(bytes, 4);
  p.prevPage = u32At(bytes, 12);
  p.nextPage = u32At(bytes, 16);
  p.tailPage = u32At(bytes, 20);
  p.prefixLength = u16At(bytes, 24);
  if (p.leaf && p.tailPage != 0) corrupt(page, owner, "is a leaf with a child page");

  const size_t minEntry = 1 + kRowPointerSize + (p.leaf ? 0 : kChildPointerSize);
  size_t start = 0;
  for (size_t pos = 1; pos <= kIndexEntrySpace; ++pos) {
    size_t byte = kIndexBitmapStart + pos / 8;
    if (byte >= kIndexEntriesStart) break;
    if (!(bytes[byte] & (1u << (pos % 8)))) continue;
    Bytes entry;
    size_t stored = pos - start;
    if (!p.entries.empty()) {
      const Bytes& first = p.entries.front();
      entry.assign(first.begin(), first.begin() + p.prefixLength);
    }
    entry.insert(entry.end(), bytes.begin() + ptrdiff_t(kIndexEntriesStart + start),
                 bytes.begin() + ptrdiff_t(kIndexEntriesStart + pos));
    if (p.entries.empty() && stored < p.prefixLength)
      corrupt(page, owner, "has a shared prefix longer than its first entry");
    if (entry.size() < minEntry) corrupt(page, owner, "has an entry of only " + std::to_string(entry.size()) + " bytes");
    p.entries.push_back(std::move(entry));
    start = pos;
  }
  // Bit 0 would end an empty entry; bits past the entry area cannot be honoured.
  if (bytes[kIndexBitmapStart] & 1) corrupt(page, owner, "has an entry of 0 bytes");
  for (size_t pos = kIndexEntrySpace + 1; kIndexBitmapStart + pos / 8 < kIndexEntriesStart; ++pos)
    if (bytes[kIndexBitmapStart + pos / 8] & (1u << (pos % 8))) corrupt(page, owner, "has entries past its end");
  if (p.prefixLength && p.entries.empty()) corrupt(page, owner, "has a shared prefix but no entries");
  if (!p.leaf && p.entries.empty() && p.tailPage == 0) corrupt(page, owner, "is a node without children");
  return p;
}

void encodeIndexPage(const IndexPage& page, uint8_t* out) {
  size_t total = page.entryBytes();
  if (total > kIndexEntrySpace)
    throw EngineError("Index page entries of " + std::to_string(total) + " bytes do not fit on one page.");
  std::memset(out, 0, kPageSize);
  out[0] = page.leaf ? kPageTypeIndexLeaf : kPageTypeIndexNode;
  out[1] = 0x01;
  putU16(out + 2, uint16_t(kIndexEntrySpace - total));
  putU32(out + 4, page.tdefPage);
  putU32(out + 12, page.prevPage);
  putU32(out + 16, page.nextPage);
  putU32(out + 20, page.leaf ? 0 : page.tailPage);
  putU16(out + 24, 0);
  out[26] = page.leaf ? 0x00 : 0x01;
  size_t pos = 0;
  for (const auto& e : page.entries) {
    std::memcpy(out + kIndexEntriesStart + pos, e.data(), e.size());
    pos += e.size();
    out[kIndexBitmapStart + pos / 8] |= uint8_t(1u << (pos % 8));
  }
}

}  // namespace kevra
