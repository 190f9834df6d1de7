// SpillingSorter: puts row ids in ORDER BY order by their sort keys, keeping
// the order rows came in among equal keys. Keys are held in memory up to a
// budget; past it each batch is sorted and written to a temporary file, and
// the batches are merged at the end, so a sort of any size holds only one
// batch of keys plus the ids. Each key may carry a payload of bytes (such as
// the row itself), which is spilled and merged with it.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "engine/sql/row_ordering.h"

namespace kevra::sql {

class SpillingSorter {
 public:
  static constexpr size_t kDefaultBudget = size_t(64) << 20;

  SpillingSorter(const std::vector<OrderItem>& orderBy, size_t memoryBudget = kDefaultBudget);
  ~SpillingSorter();
  void add(uint64_t id, std::vector<Value> key, Bytes payload = {});
  // Every id added, in order. Throws EngineError when a temporary file fails.
  std::vector<uint64_t> finish();
  // Hands every id added, with its payload, to `emit` in order.
  void finish(const std::function<void(uint64_t id, const Bytes& payload)>& emit);
  size_t filesWritten() const { return filesWritten_; }

 private:
  struct Run;
  void spill();

  SortKeyLess less_;
  size_t budget_;
  size_t held_ = 0;  // bytes the keys in memory take, roughly
  uint64_t sequence_ = 0;
  size_t filesWritten_ = 0;
  std::vector<SortKey> keys_;
  std::vector<std::unique_ptr<Run>> runs_;
};

}  // namespace kevra::sql
