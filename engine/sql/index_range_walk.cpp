// Seek to each range's start, read until its end.
#include "engine/sql/index_range_walk.h"

#include <algorithm>

#include "engine/table/index_lookup.h"

namespace kevra::sql {

IndexRangeWalk::IndexRangeWalk(const PageFile& file, const TableDef& table, AccessPath path)
    : path_(std::move(path)),
      cursor_(file, table.realIndexes.at(path_.realIndex), describeIndex(table, path_.realIndex)) {}

bool IndexRangeWalk::next(uint32_t& location) {
  while (range_ < path_.ranges.size()) {
    const KeyRange& r = path_.ranges[range_];
    if (!positioned_) {
      cursor_.seek(r.start);
      positioned_ = true;
    }
    if (cursor_.next(entry_) && (r.end.empty() || keyLess(entry_.key, r.end))) {
      location = entry_.rowLocation();
      return true;
    }
    ++range_;
    positioned_ = false;
  }
  return false;
}

std::vector<uint32_t> IndexRangeWalk::remainingInStorageOrder() {
  std::vector<uint32_t> out;
  uint32_t location;
  while (next(location)) out.push_back(location);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

}  // namespace kevra::sql
