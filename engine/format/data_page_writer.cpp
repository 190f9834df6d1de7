// Data page changes; free space = 4096 - 14 - 2 * slots - bytes of rows.
#include "engine/format/data_page_writer.h"

#include <cstring>
#include <vector>

#include "engine/storage/data_page.h"
#include "engine/util/error.h"

namespace kevra {

uint16_t DataPageWriter::slotValue(uint16_t slot) const { return uint16_t(p_[14 + 2 * slot] | (p_[15 + 2 * slot] << 8)); }
void DataPageWriter::setSlotValue(uint16_t slot, uint16_t v) {
  p_[14 + 2 * slot] = uint8_t(v);
  p_[15 + 2 * slot] = uint8_t(v >> 8);
}
void DataPageWriter::setFree(uint16_t v) {
  p_[2] = uint8_t(v);
  p_[3] = uint8_t(v >> 8);
}
uint16_t DataPageWriter::freeSpace() const { return uint16_t(p_[2] | (p_[3] << 8)); }
uint16_t DataPageWriter::slotCount() const { return uint16_t(p_[12] | (p_[13] << 8)); }

void DataPageWriter::initialise(uint32_t ownerTdef, bool longValuePage) {
  std::memset(p_, 0, kPageSize);
  p_[0] = kPageTypeData;
  p_[1] = 0x01;
  setFree(uint16_t(kPageSize - 14));
  if (longValuePage) {
    std::memcpy(p_ + 4, "LVAL", 4);
  } else {
    for (int i = 0; i < 4; ++i) p_[4 + i] = uint8_t(ownerTdef >> (8 * i));
  }
}

bool DataPageWriter::canAppend(size_t rowLength) const {
  return slotCount() < kMaxSlots && size_t(freeSpace()) >= rowLength + 2;
}

uint16_t DataPageWriter::append(ByteSpan row, uint16_t flags) {
  if (!canAppend(row.size())) throw EngineError("Internal error: a row does not fit its page.");
  uint16_t n = slotCount();
  size_t lowest = n == 0 ? kPageSize : (slotValue(uint16_t(n - 1)) & kSlotOffsetMask);
  size_t start = lowest - row.size();
  if (start < 14 + 2 * size_t(n + 1)) throw CorruptFileError("Corrupt file: a data page's free space is wrong.");
  std::memcpy(p_ + start, row.data(), row.size());
  setSlotValue(n, uint16_t(start | flags));
  p_[12] = uint8_t(n + 1);
  p_[13] = uint8_t((n + 1) >> 8);
  setFree(uint16_t(freeSpace() - row.size() - 2));
  return n;
}

bool DataPageWriter::replace(uint16_t slot, ByteSpan row, uint16_t flags) {
  const uint16_t n = slotCount();
  if (slot >= n) throw CorruptFileError("Corrupt file: row " + std::to_string(slot) + " is not on its page.");
  // Row bounds: each row ends where the one before it starts.
  std::vector<uint16_t> starts(n), ends(n);
  size_t end = kPageSize, total = 14 + 2 * size_t(n);
  for (uint16_t s = 0; s < n; ++s) {
    const size_t start = slotValue(s) & kSlotOffsetMask;
    if (start > end || start < 14 + 2 * size_t(n)) throw CorruptFileError("Corrupt file: a data page has bad row bounds.");
    starts[s] = uint16_t(start);
    ends[s] = uint16_t(end);
    total += end - start;
    end = start;
  }
  const size_t oldLength = size_t(ends[slot] - starts[slot]);
  total = total - oldLength + row.size();
  if (total > kPageSize) return false;
  if (row.size() == oldLength) {
    // Same length: in place, nothing else moves.
    if (!row.empty()) std::memmove(p_ + starts[slot], row.data(), row.size());
    setSlotValue(slot, uint16_t(starts[slot] | flags));
    return true;
  }
  // Otherwise the rows are laid out again from the end of the page, in slot
  // order, from a copy of the page (the new row may point into it).
  uint8_t copy[kPageSize];
  std::memcpy(copy, p_, kPageSize);
  const uint8_t* newRow = row.data();
  if (!row.empty() && newRow >= p_ && newRow < p_ + kPageSize) newRow = copy + (newRow - p_);
  std::memset(p_ + 14 + 2 * n, 0, kPageSize - 14 - 2 * n);
  end = kPageSize;
  for (uint16_t s = 0; s < n; ++s) {
    const bool replaced = s == slot;
    const size_t length = replaced ? row.size() : size_t(ends[s] - starts[s]);
    const uint8_t* from = replaced ? newRow : copy + starts[s];
    const size_t start = end - length;
    if (length) std::memcpy(p_ + start, from, length);
    const uint16_t slotFlags = replaced ? flags : uint16_t((copy[14 + 2 * s] | (copy[15 + 2 * s] << 8)) & 0xC000);
    setSlotValue(s, uint16_t(start | slotFlags));
    end = start;
  }
  setFree(uint16_t(kPageSize - total));
  return true;
}

}  // namespace kevra
