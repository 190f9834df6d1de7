// Rows named by an index, filtered, in index or storage order, or sorted.
#include "engine/sql/index_result_set.h"

#include <limits>

#include "engine/sql/row_ordering.h"
#include "engine/sql/spilling_sorter.h"
#include "engine/storage/page_file.h"
#include "engine/table/database.h"

namespace kevra::sql {

IndexResultSet::IndexResultSet(std::unique_ptr<SelectPlan> plan, AccessPath path)
    : plan_(std::move(plan)),
      inIndexOrder_(path.givesOrder),
      walk_(plan_->db->pages(), *plan_->table, std::move(path)),
      scanReader_(plan_->db->pages(), plan_->scanTable),
      fetchReader_(plan_->db->pages(), plan_->outputTable),
      projector_(*plan_) {}

bool IndexResultSet::qualifies(uint32_t location) {
  if (!scanReader_.read(location, row_)) return false;
  return !plan_->where || evaluator_.isTrue(*plan_->where, row_);
}

void IndexResultSet::scanUntil(uint64_t wanted) {
  if (complete_) return;
  if (inIndexOrder_) {
    uint32_t location;
    while (locations_.size() < wanted) {
      if (!walk_.next(location)) {
        complete_ = true;
        return;
      }
      if (qualifies(location)) locations_.push_back(location);
    }
    return;
  }
  if (!collected_) {
    candidates_ = walk_.remainingInStorageOrder();
    collected_ = true;
  }
  if (plan_->orderBy.empty()) {
    while (locations_.size() < wanted && nextCandidate_ < candidates_.size()) {
      const uint32_t location = candidates_[nextCandidate_++];
      if (qualifies(location)) locations_.push_back(location);
    }
    complete_ = nextCandidate_ == candidates_.size();
    return;
  }
  // TOP n keeps only the best n keys; a full sort may spill to files.
  const bool bounded = plan_->top && !plan_->top->percent && plan_->top->count <= (1u << 20);
  BestRows best(plan_->orderBy, bounded ? size_t(plan_->top->count) : 0);
  SpillingSorter sorter(plan_->orderBy);
  for (uint32_t location : candidates_) {
    if (!qualifies(location)) continue;
    std::vector<Value> key;
    for (const auto& o : plan_->orderBy) key.push_back(evaluator_.evaluate(*o.expr, row_));
    if (bounded)
      best.offer(location, key);
    else
      sorter.add(location, std::move(key));
  }
  for (uint64_t location : bounded ? best.takeInOrder() : sorter.finish()) locations_.push_back(uint32_t(location));
  candidates_.clear();
  complete_ = true;
}

uint64_t IndexResultSet::rowCount() {
  scanUntil(std::numeric_limits<uint64_t>::max());
  return locations_.size();
}

size_t IndexResultSet::fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) {
  out.clear();
  if (count == 0) return 0;
  const uint64_t end = count > std::numeric_limits<uint64_t>::max() - position ? std::numeric_limits<uint64_t>::max()
                                                                                 : position + count;
  scanUntil(end);
  std::vector<Value> row;
  for (uint64_t i = position; i < end && i < locations_.size(); ++i) {
    if (!fetchReader_.read(locations_[size_t(i)], row)) break;
    out.emplace_back();
    projector_.project(row, out.back());
  }
  return out.size();
}

std::shared_ptr<const TableDef> IndexResultSet::sourceTable() const {
  return plan_->outputIsWholeRow() ? plan_->table : nullptr;
}

std::optional<uint32_t> IndexResultSet::rowLocation(uint64_t position) {
  if (!sourceTable()) return std::nullopt;
  scanUntil(position == std::numeric_limits<uint64_t>::max() ? position : position + 1);
  if (position >= locations_.size()) return std::nullopt;
  return locations_[size_t(position)];
}

}  // namespace kevra::sql
