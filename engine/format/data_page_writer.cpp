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
  uint16_t n = slotCount();
  if (slot >= n) throw CorruptFileError("Corrupt file: row " + std::to_string(slot) + " is not on its page.");
  struct Slot {
    uint16_t flags;
    std::vector<uint8_t> bytes;
  };
  std::vector<Slot> slots(n);
  size_t end = kPageSize;
  for (uint16_t s = 0; s < n; ++s) {
    uint16_t v = slotValue(s);
    size_t start = v & kSlotOffsetMask;
    if (start > end || start < 14 + 2 * size_t(n)) throw CorruptFileError("Corrupt file: a data page has bad row bounds.");
    slots[s].flags = v & 0xC000;
    slots[s].bytes.assign(p_ + start, p_ + end);
    end = start;
  }
  slots[slot].flags = flags;
  slots[slot].bytes.assign(row.begin(), row.end());
  size_t total = 14 + 2 * size_t(n);
  for (auto& s : slots) total += s.bytes.size();
  if (total > kPageSize) return false;
  std::memset(p_ + 14 + 2 * n, 0, kPageSize - 14 - 2 * n);
  end = kPageSize;
  for (uint16_t s = 0; s < n; ++s) {
    size_t start = end - slots[s].bytes.size();
    if (!slots[s].bytes.empty()) std::memcpy(p_ + start, slots[s].bytes.data(), slots[s].bytes.size());
    setSlotValue(s, uint16_t(start | slots[s].flags));
    end = start;
  }
  setFree(uint16_t(kPageSize - total));
  return true;
}

}  // namespace kevra
