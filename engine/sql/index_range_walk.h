// IndexRangeWalk: the row locations an AccessPath names, read from its index
// range by range in key order.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/index/index_cursor.h"
#include "engine/sql/access_path.h"

namespace kevra {
class PageFile;
}

namespace kevra::sql {

class IndexRangeWalk {
 public:
  IndexRangeWalk(const PageFile& file, const TableDef& table, AccessPath path);
  // The next row location in key order; false after the last range.
  bool next(uint32_t& location);
  // Every location left, in storage order (ascending), each once.
  std::vector<uint32_t> remainingInStorageOrder();
  const AccessPath& path() const { return path_; }

 private:
  AccessPath path_;
  IndexCursor cursor_;
  size_t range_ = 0;
  bool positioned_ = false;
  IndexEntry entry_;
};

}  // namespace kevra::sql
