// Layout of index pages: 27-byte header, entry-end bitmap, entries from 480.
#include "engine/index/index_page.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/data_page.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

[[noreturn]] void corrupt(uint32_t page, const std::string& owner, const std::string& what) {
  throw CorruptFileError("Corrupt file: index page " + std::to_string(page) + " of " + owner + " " + what + ".");
}

// The first entry of `page` for which `below` is false; `below` holds for a
// leading run of the entries, as their order makes it.
template <typename Below>
size_t firstNotBelow(const IndexPage& page, Below below) {
  size_t lo = 0, hi = page.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (below(page.entry(mid)))
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

}  // namespace

size_t IndexPage::lowerBound(ByteSpan e) const {
  return firstNotBelow(*this, [&](ByteSpan entry) { return entryLess(entry, e); });
}

size_t IndexPage::lowerBoundKey(ByteSpan key) const {
  return firstNotBelow(*this, [&](ByteSpan entry) { return entryBelowKey(entry, key); });
}

void IndexPage::append(ByteSpan e) {
  data_.insert(data_.end(), e.begin(), e.end());
  ends_.push_back(uint32_t(data_.size()));
}

void IndexPage::insert(size_t i, ByteSpan e) {
  if (i == size()) return append(e);
  size_t start = i ? ends_[i - 1] : 0;
  Bytes copy(e.begin(), e.end());  // `e` may point into this page
  data_.insert(data_.begin() + ptrdiff_t(start), copy.begin(), copy.end());
  ends_.insert(ends_.begin() + ptrdiff_t(i), uint32_t(start));
  for (size_t k = i; k < ends_.size(); ++k) ends_[k] += uint32_t(copy.size());
}

void IndexPage::erase(size_t i) {
  size_t start = i ? ends_[i - 1] : 0;
  uint32_t length = ends_[i] - uint32_t(start);
  data_.erase(data_.begin() + ptrdiff_t(start), data_.begin() + ptrdiff_t(ends_[i]));
  ends_.erase(ends_.begin() + ptrdiff_t(i));
  for (size_t k = i; k < ends_.size(); ++k) ends_[k] -= length;
}

void IndexPage::replace(size_t i, ByteSpan e) {
  Bytes copy(e.begin(), e.end());
  erase(i);
  insert(i, copy);
}

void IndexPage::keepRange(size_t first, size_t last) {
  size_t start = first ? ends_[first - 1] : 0;
  size_t end = last ? ends_[last - 1] : 0;
  if (last <= first) {
    clearEntries();
    return;
  }
  data_.erase(data_.begin() + ptrdiff_t(end), data_.end());
  data_.erase(data_.begin(), data_.begin() + ptrdiff_t(start));
  ends_.erase(ends_.begin() + ptrdiff_t(last), ends_.end());
  ends_.erase(ends_.begin(), ends_.begin() + ptrdiff_t(first));
  for (auto& v : ends_) v -= uint32_t(start);
}

void IndexPage::appendJoined(ByteSpan prefix, ByteSpan tail) {
  if (data_.capacity() < kIndexEntrySpace) data_.reserve(kIndexEntrySpace * 2);
  data_.insert(data_.end(), prefix.begin(), prefix.end());
  data_.insert(data_.end(), tail.begin(), tail.end());
  ends_.push_back(uint32_t(data_.size()));
}

void IndexPage::clearEntries() {
  data_.clear();
  ends_.clear();
}

void IndexPage::assignStored(ByteSpan data, std::vector<uint32_t> ends) {
  data_.reserve(kIndexEntrySpace + 64);
  data_.assign(data.begin(), data.end());
  ends_ = std::move(ends);
}

std::vector<Bytes> IndexPage::entries() const {
  std::vector<Bytes> out;
  for (size_t i = 0; i < size(); ++i) out.emplace_back(entry(i).begin(), entry(i).end());
  return out;
}

uint32_t IndexPage::childOf(ByteSpan nodeEntry) {
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

IndexPage decodeIndexPage(ByteSpan bytes, uint32_t page, const std::string& owner, const FileLayout& layout) {
  if (bytes.size() != layout.pageSize) corrupt(page, owner, "is truncated");
  IndexPage p;
  uint8_t type = bytes[0];
  if (type != kPageTypeIndexNode && type != kPageTypeIndexLeaf)
    corrupt(page, owner, "has page type " + std::to_string(type) + " instead of an index page type");
  p.leaf = type == kPageTypeIndexLeaf;
  p.freeSpace = u16At(bytes, 2);
  p.tdefPage = u32At(bytes, 4);
  p.prevPage = u32At(bytes, layout.indexPrevOffset);
  p.nextPage = u32At(bytes, layout.indexNextOffset);
  p.tailPage = u32At(bytes, layout.indexTailOffset);
  // Jet 3 keeps the prefix length in one byte; the next is the node flag.
  p.prefixLength = layout.jet3 ? bytes[layout.indexPrefixOffset] : u16At(bytes, layout.indexPrefixOffset);
  if (p.leaf && p.tailPage != 0) corrupt(page, owner, "is a leaf with a child page");

  const size_t entriesStart = layout.indexEntriesStart, bitmapStart = layout.indexBitmapStart;
  const size_t entrySpace = layout.pageSize - entriesStart;
  const size_t minEntry = 1 + kRowPointerSize + (p.leaf ? 0 : kChildPointerSize);
  std::vector<uint32_t> ends;
  size_t start = 0;
  for (size_t byte = bitmapStart; byte < entriesStart; ++byte) {
    uint8_t bits = bytes[byte];
    while (bits) {
      int bit = __builtin_ctz(bits);
      bits = uint8_t(bits & (bits - 1));
      size_t pos = (byte - bitmapStart) * 8 + size_t(bit);
      if (pos == 0) corrupt(page, owner, "has an entry of 0 bytes");
      if (pos > entrySpace) corrupt(page, owner, "has entries past its end");
      size_t stored = pos - start;
      if (ends.empty() && stored < p.prefixLength) corrupt(page, owner, "has a shared prefix longer than its first entry");
      size_t full = stored + (ends.empty() ? 0 : p.prefixLength);
      if (full < minEntry) corrupt(page, owner, "has an entry of only " + std::to_string(full) + " bytes");
      ends.push_back(uint32_t(pos));
      start = pos;
    }
  }
  ByteSpan stored = bytes.subspan(entriesStart, start);
  if (p.prefixLength == 0) {
    p.assignStored(stored, std::move(ends));
  } else {
    // Every entry after the first lacks the first entry's leading bytes.
    ByteSpan prefix = stored.first(p.prefixLength);
    size_t from = 0;
    for (uint32_t end : ends) {
      p.appendJoined(p.empty() ? ByteSpan() : prefix, stored.subspan(from, end - from));
      from = end;
    }
  }
  if (p.prefixLength && p.empty()) corrupt(page, owner, "has a shared prefix but no entries");
  if (!p.leaf && p.empty() && p.tailPage == 0) corrupt(page, owner, "is a node without children");
  return p;
}

size_t sharedEntryPrefix(ByteSpan first, ByteSpan last, size_t tail) {
  // Entries are in order, so what the first and the last share (within the
  // keys, or the keys being equal) every entry between them shares too; and
  // every later entry is longer than that.
  const size_t limit = std::min(first.size(), last.size()) - 1;
  size_t k = 0;
  for (uint64_t a, b; k + 8 <= limit; k += 8) {
    std::memcpy(&a, first.data() + k, 8);
    std::memcpy(&b, last.data() + k, 8);
    if (a != b) break;
  }
  while (k < limit && first[k] == last[k]) ++k;
  const size_t firstKey = first.size() - tail, lastKey = last.size() - tail;
  if (firstKey != lastKey) k = std::min({k, firstKey, lastKey});
  return std::min<size_t>(k, 0xFFFF);
}

size_t IndexPage::sharedPrefix(size_t first, size_t last) const {
  if (last - first < 2) return 0;
  return sharedEntryPrefix(entry(first), entry(last - 1), kRowPointerSize + (leaf ? 0 : kChildPointerSize));
}

size_t IndexPage::storedBytes(size_t first, size_t last) const {
  if (last <= first) return 0;
  const size_t bytes = ends_[last - 1] - (first ? ends_[first - 1] : 0);
  return bytes - (last - first - 1) * sharedPrefix(first, last);
}

void encodeIndexPage(const IndexPage& page, uint8_t* out) {
  const size_t prefix = page.sharedPrefix();
  const size_t total = page.storedBytes();
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
  putU16(out + 24, uint16_t(prefix));
  out[26] = page.leaf ? 0x00 : 0x01;
  size_t end = 0;
  for (size_t i = 0; i < page.size(); ++i) {
    ByteSpan e = page.entry(i);
    ByteSpan stored = i == 0 ? e : e.subspan(prefix);
    std::memcpy(out + kIndexEntriesStart + end, stored.data(), stored.size());
    end += stored.size();
    out[kIndexBitmapStart + end / 8] |= uint8_t(1u << (end % 8));
  }
}

}  // namespace kevra
