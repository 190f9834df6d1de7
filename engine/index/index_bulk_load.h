// IndexBulkLoader: fills an empty index at once from entries given in order:
// leaves are packed left to right as the entries come, each level above
// takes an entry as a page below it is written, and the top level goes into
// the index's root page, whose number never changes. Memory holds one page
// per level, however many entries there are. Much faster than one insert per
// row for a new or rebuilt index.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/storage/page_file.h"
#include "engine/util/bytes.h"

namespace kevra {

class IndexBulkLoader {
 public:
  // The index must be empty (its root an empty leaf). New pages come from
  // the page allocator and go into the index's usage map. Works inside the
  // caller's open transaction, spilling its pages to the file as they grow.
  IndexBulkLoader(PageFile& file, uint32_t tdefPage, const RealIndexDef& index);
  ~IndexBulkLoader();

  // One whole leaf entry (key and row pointer), after every entry before.
  void add(ByteSpan entry);
  // Writes the pages still held, the top one into the root.
  void finish();

 private:
  class Level;
  Level& level(size_t n);

  PageFile& file_;
  uint32_t tdefPage_;
  const RealIndexDef& index_;
  std::vector<std::unique_ptr<Level>> levels_;  // leaves first
};

}  // namespace kevra
