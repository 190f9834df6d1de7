// TableIndexes: keeps every real index of one table in step with its rows —
// the uniqueness and required checks before a change, then one entry added
// or removed per index.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/catalog/table_def.h"
#include "engine/format/value.h"

namespace kevra {

class PageFile;
class IndexKeyEncoder;

class TableIndexes {
 public:
  TableIndexes(PageFile& file, const TableDef& table);
  ~TableIndexes();
  // Throws EngineError naming the index and field when `row` would break a
  // unique or required index. `self` is the row's own location when it is
  // being updated (its current entries do not count), else 0.
  void checkInsert(const std::vector<Value>& row, uint32_t self);
  void add(const std::vector<Value>& row, uint32_t location);
  void remove(const std::vector<Value>& row, uint32_t location);

 private:
  std::string nameOf(size_t realIndex) const;
  PageFile& file_;
  const TableDef& table_;
  std::vector<std::unique_ptr<IndexKeyEncoder>> encoders_;
};

}  // namespace kevra
