// DataPage: the slot table of a data page (table rows, usage-map rows and
// long-value rows share this layout) and row-pointer resolution.
#pragma once
#include <cstdint>
#include <string>

#include "engine/storage/page_file.h"

namespace kevra {

constexpr uint8_t kPageTypeData = 0x01;
constexpr uint8_t kPageTypeTableDef = 0x02;
constexpr uint8_t kPageTypeIndexNode = 0x03;
constexpr uint8_t kPageTypeIndexLeaf = 0x04;
constexpr uint8_t kPageTypeUsageBitmap = 0x05;

constexpr uint16_t kSlotOverflow = 0x4000;
constexpr uint16_t kSlotLookupOnly = 0x8000;
constexpr uint16_t kSlotDeleted = 0xC000;
constexpr uint16_t kSlotOffsetMask = 0x1FFF;

inline uint32_t rowPointer(uint32_t page, uint8_t row) { return (page << 8) | row; }
inline uint32_t pointerPage(uint32_t ptr) { return ptr >> 8; }
inline uint8_t pointerRow(uint32_t ptr) { return uint8_t(ptr & 0xFF); }

class DataPage {
 public:
  // Checks the page type and the slot table; throws CorruptFileError naming
  // `page` and `owner` when they are wrong. `layout` is the file's
  // (PageFile::layout()): where the slot table starts and how long pages are.
  DataPage(PageRef bytes, uint32_t page, const std::string& owner, const FileLayout& layout);
  uint32_t page() const { return page_; }
  uint32_t ownerTdef() const;
  bool isLongValuePage() const;
  uint16_t slotCount() const { return slots_; }
  uint16_t slotFlags(uint16_t slot) const;
  // Bytes of row `slot`; throws when the slot's bounds are impossible.
  ByteSpan row(uint16_t slot) const;

 private:
  uint16_t slotAt(uint16_t slot) const {
    const uint8_t* p = bytes_->data() + slotsOffset_ + 2 * size_t(slot);
    return uint16_t(p[0] | (p[1] << 8));
  }
  PageRef bytes_;
  uint32_t page_;
  uint16_t slots_;
  uint16_t slotsOffset_;
  uint16_t pageSize_;
  const std::string* owner_;
};

// Resolves a row pointer to the row's bytes. `holder` keeps the page alive.
ByteSpan readRowAt(const PageFile& file, uint32_t pointer, PageRef& holder, const std::string& owner);

}  // namespace kevra
