// Slot-table decoding with bounds checks.
#include "engine/storage/data_page.h"

#include "engine/util/error.h"

namespace kevra {

DataPage::DataPage(PageRef bytes, uint32_t page, const std::string& owner, const FileLayout& layout)
    : bytes_(std::move(bytes)),
      page_(page),
      slotsOffset_(layout.dataSlotsOffset),
      pageSize_(uint16_t(layout.pageSize)),
      owner_(&owner) {
  const auto& b = *bytes_;
  if (b[0] != kPageTypeData)
    throw CorruptFileError("Corrupt file: page " + std::to_string(page) + " of " + owner +
                           " should be a data page but has page type " + std::to_string(b[0]) + ".");
  const size_t count = layout.dataRowCountOffset;
  slots_ = uint16_t(b[count] | (b[count + 1] << 8));
  if (slotsOffset_ + 2 * size_t(slots_) > pageSize_)
    throw CorruptFileError("Corrupt file: data page " + std::to_string(page) + " of " + owner + " claims " +
                           std::to_string(slots_) + " rows.");
}

uint32_t DataPage::ownerTdef() const { return u32At(ByteSpan(bytes_->data(), kPageSize), 4); }

bool DataPage::isLongValuePage() const {
  const auto& b = *bytes_;
  return b[4] == 'L' && b[5] == 'V' && b[6] == 'A' && b[7] == 'L';
}

uint16_t DataPage::slotFlags(uint16_t slot) const {
  return slotAt(slot) & 0xC000;
}

ByteSpan DataPage::row(uint16_t slot) const {
  if (slot >= slots_)
    throw CorruptFileError("Corrupt file: row " + std::to_string(slot) + " of page " + std::to_string(page_) + " (" +
                           *owner_ + ") does not exist; the page has " + std::to_string(slots_) + " rows.");
  const auto& b = *bytes_;
  size_t start = slotAt(slot) & kSlotOffsetMask;
  size_t end = slot == 0 ? pageSize_ : slotAt(uint16_t(slot - 1)) & kSlotOffsetMask;
  if (end > pageSize_) end = pageSize_;
  if (start < slotsOffset_ + 2 * size_t(slots_) || start > end)
    throw CorruptFileError("Corrupt file: row " + std::to_string(slot) + " of page " + std::to_string(page_) + " (" +
                           *owner_ + ") has impossible bounds.");
  return ByteSpan(b.data() + start, end - start);
}

ByteSpan readRowAt(const PageFile& file, uint32_t pointer, PageRef& holder, const std::string& owner) {
  uint32_t page = pointerPage(pointer);
  if (page == 0)
    throw CorruptFileError("Corrupt file: a row pointer of " + owner + " points at the header page.");
  holder = file.read(page);
  DataPage dp(holder, page, owner, file.layout());
  return dp.row(pointerRow(pointer));
}

}  // namespace kevra
