// Changing usage maps in place, inside an open transaction: table, index and
// long-value maps (inline or reference) and the global page map on page 1.
#pragma once
#include <cstdint>

#include "engine/storage/page_file.h"

namespace kevra {

// Adds or removes a page in the usage map whose row is at `mapPointer`
// (inline maps move their window or become reference maps as needed).
void usageMapAdd(PageFile& file, uint32_t mapPointer, uint32_t page);
void usageMapRemove(PageFile& file, uint32_t mapPointer, uint32_t page);

// Marks `page` used or free in the global map, growing the map (and turning
// it into a reference map when page 1 is full) as the file grows.
void markInGlobalMap(PageFile& file, uint32_t page, bool isFree);

}  // namespace kevra
