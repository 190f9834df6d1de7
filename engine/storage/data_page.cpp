// Slot-table decoding with bounds checks.
#include "engine/storage/data_page.h"

#include "engine/util/error.h"

namespace kevra {

DataPage::DataPage(PageRef bytes, uint32_t page, const std::string& owner)
    : bytes_(std::move(bytes)), page_(page), owner_(&owner) {
  const auto& b = *bytes_;
  if (b[0] != kPageTypeData)
    throw CorruptFileError("Corrupt file: page " + std::to_string(page) + " of " + owner +
                           " should be a data page but has page type " + std::to_string(b[0]) + ".");
  slots_ = uint16_t(b[12] | (b[13] << 8));
  if (14 + 2 * size_t(slots_) > kPageSize)
    throw CorruptFileError("Corrupt file: data page " + std::to_string(page) + " of " + owner + " claims " +
                           std::to_string(slots_) + " rows.");
}

uint32_t DataPage::ownerTdef() const { return u32At(ByteSpan(bytes_->data(), kPageSize), 4); }

bool DataPage::isLongValuePage() const {
  const auto& b = *bytes_;
  return b[4] == 'L' && b[5] == 'V' && b[6] == 'A' && b[7] == 'L';
}

uint16_t DataPage::slotFlags(uint16_t slot) const {
  const auto& b = *bytes_;
  uint16_t v = uint16_t(b[14 + 2 * slot] | (b[15 + 2 * slot] << 8));
  return v & 0xC000;
}

ByteSpan DataPage::row(uint16_t slot) const {
  if (slot >= slots_)
    throw CorruptFileError("Corrupt file: row " + std::to_string(slot) + " of page " + std::to_string(page_) + " (" +
                           *owner_ + ") does not exist; the page has " + std::to_string(slots_) + " rows.");
  const auto& b = *bytes_;
  auto slotValue = [&](uint16_t s) { return uint16_t(b[14 + 2 * s] | (b[15 + 2 * s] << 8)) & kSlotOffsetMask; };
  size_t start = slotValue(slot);
  size_t end = slot == 0 ? kPageSize : slotValue(uint16_t(slot - 1));
  if (end > kPageSize) end = kPageSize;
  if (start < 14 + 2 * size_t(slots_) || start > end)
    throw CorruptFileError("Corrupt file: row " + std::to_string(slot) + " of page " + std::to_string(page_) + " (" +
                           *owner_ + ") has impossible bounds.");
  return ByteSpan(b.data() + start, end - start);
}

ByteSpan readRowAt(const PageFile& file, uint32_t pointer, PageRef& holder, const std::string& owner) {
  uint32_t page = pointerPage(pointer);
  if (page == 0)
    throw CorruptFileError("Corrupt file: a row pointer of " + owner + " points at the header page.");
  holder = file.read(page);
  DataPage dp(holder, page, owner);
  return dp.row(pointerRow(pointer));
}

}  // namespace kevra
