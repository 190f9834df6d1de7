// PageAllocator: hands out pages for new data, LVAL, index, TDEF and usage-map
// pages, keeping the global usage map (page 1, row 0: set bit = free page) in
// step, and releases pages back to it. Works inside an open transaction.
#pragma once
#include <cstdint>

#include "engine/storage/page_file.h"

namespace kevra {

class PageAllocator {
 public:
  explicit PageAllocator(PageFile& file) : file_(file) {}
  // A new zero-filled page, marked used in the global map.
  uint32_t allocate();
  // Marks `page` free in the global map (its bytes stay as they are).
  void release(uint32_t page);

 private:
  PageFile& file_;
};

}  // namespace kevra
