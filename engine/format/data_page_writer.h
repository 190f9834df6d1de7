// DataPageWriter: changes to the slot table and rows of a data page held in a
// transaction's page buffer — new pages, appended rows, rows replaced or
// deleted (the page is repacked, slot numbers never change).
#pragma once
#include <cstdint>

#include "engine/util/bytes.h"

namespace kevra {

class DataPageWriter {
 public:
  explicit DataPageWriter(uint8_t* page) : p_(page) {}
  static constexpr uint16_t kMaxSlots = 255;

  void initialise(uint32_t ownerTdef, bool longValuePage);
  uint16_t freeSpace() const;
  uint16_t slotCount() const;
  bool canAppend(size_t rowLength) const;
  // Appends a row below the lowest one; returns its slot.
  uint16_t append(ByteSpan row, uint16_t flags = 0);
  // Replaces slot `slot` with `row` (empty for a deleted row) and `flags`,
  // moving the other rows; false (page unchanged) when it does not fit.
  bool replace(uint16_t slot, ByteSpan row, uint16_t flags);

 private:
  uint16_t slotValue(uint16_t slot) const;
  void setSlotValue(uint16_t slot, uint16_t v);
  void setFree(uint16_t v);
  uint8_t* p_;
};

}  // namespace kevra
