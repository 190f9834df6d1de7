// Page allocation: new pages are appended to the file and marked used in the
// global usage map; released pages are marked free there (their bytes stay).
#include "engine/storage/page_allocator.h"

#include "engine/storage/usage_map_editor.h"
#include "engine/util/error.h"

namespace kevra {

uint32_t PageAllocator::allocate() {
  uint32_t page = file_.append();
  markInGlobalMap(file_, page, false);
  return page;
}

void PageAllocator::release(uint32_t page) {
  if (page <= 1) throw EngineError("Internal error: the header and the page map cannot be released.");
  markInGlobalMap(file_, page, true);
}

}  // namespace kevra
