// IndexCursor: reads one real index in key order. It seeks to the first
// entry not below a key (or to either end) and then walks forward or
// backward along the leaf links, yielding each entry's key and row location.
// Pages are read through the PageFile, so inside a transaction the cursor
// sees the pages that transaction changed (writers keep decoded index pages
// of their own: flush them before seeking, see TableIndexSet::flush).
#pragma once
#include <cstdint>
#include <string>

#include "engine/format/table_def.h"
#include "engine/index/index_page.h"
#include "engine/index/index_reader.h"
#include "engine/storage/page_file.h"

namespace kevra {

class IndexCursor {
 public:
  // `name` names the index in messages ("index 'name_idx' of table 'T'").
  IndexCursor(const PageFile& file, const RealIndexDef& index, std::string name);

  // Before the first entry / after the last one.
  void seekFirst();
  void seekLast();
  // Before the first entry whose key is not below `bound` (key order); a
  // bound that is the start of keys lands before every entry it starts.
  void seek(ByteSpan bound);

  // The entry after the position, moving past it; false at the end.
  bool next(IndexEntry& entry);
  // The entry before the position, moving before it; false at the start.
  bool previous(IndexEntry& entry);

  // Index pages read so far: a seek reads one per tree level, a walk one per leaf it enters.
  size_t pagesRead() const { return pagesRead_; }

 private:
  void loadLeaf(uint32_t page);
  IndexPage loadPage(uint32_t page);
  static void fill(ByteSpan stored, IndexEntry& entry);

  const PageFile& file_;
  uint32_t root_;
  std::string name_;
  uint32_t leafNumber_ = 0;  // 0: no leaf loaded
  IndexPage leaf_;
  size_t at_ = 0;            // position: before leaf_.entry(at_)
  size_t pagesRead_ = 0;
};

// The smallest byte string above every string that starts with `prefix`;
// empty when there is none (the prefix is empty or all 0xFF).
Bytes prefixSuccessor(ByteSpan prefix);

}  // namespace kevra
