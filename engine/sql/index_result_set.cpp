// Rows named by an index, filtered, in index or storage order, or sorted.
#include "engine/sql/index_result_set.h"

#include <limits>

#include "engine/sql/row_ordering.h"
#include "engine/sql/spilling_sorter.h"
#include "engine/storage/page_file.h"
#include "engine/table/database.h"
#include "engine/table/index_lookup.h"

namespace kevra::sql {

IndexResultSet::IndexResultSet(std::unique_ptr<SelectPlan> plan, AccessPath path)
    : plan_(std::move(plan)),
      inIndexOrder_(path.givesOrder),
      walk_(plan_->db->pages(), *plan_->table, std::move(path)),
      scanReader_(plan_->db->pages(), plan_->scanTable),
      fetchReader_(plan_->db->pages(), plan_->outputTable),
      projector_(*plan_) {
  const AccessPath& walked = walk_.path();
  const bool wholeIndex =
      walked.ranges.size() == 1 && walked.ranges[0].start.empty() && walked.ranges[0].end.empty() &&
      !plan_->table->realIndexes.at(walked.realIndex).ignoreNulls();
  if (inIndexOrder_ && wholeIndex && !plan_->where && !plan_->top && !plan_->distinct)
    wholeTableRows_ = plan_->table->rowCount;
}

bool IndexResultSet::qualifies(uint32_t location) {
  // Without a condition every row the index names qualifies; the row is
  // read only when its sort key is needed, or when it is fetched.
  if (!plan_->where && (inIndexOrder_ || plan_->orderBy.empty())) return true;
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
  std::vector<Value> row;
  uint32_t location = 0;
  for (uint64_t i = position; i < end && locationAt(i, location); ++i) {
    if (!fetchReader_.read(location, row)) break;
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
  uint32_t location = 0;
  if (!locationAt(position, location)) return std::nullopt;
  return location;
}

std::optional<uint64_t> IndexResultSet::knownRowCount() const { return wholeTableRows_; }

bool IndexResultSet::locationAt(uint64_t position, uint32_t& location) {
  // Rows a few blocks ahead are walked to; farther ones come from the end.
  constexpr uint64_t kWalkAhead = 1024;
  if (position >= locations_.size() && !complete_ && wholeTableRows_ &&
      position - locations_.size() >= kWalkAhead) {
    if (position >= *wholeTableRows_) return false;
    const uint64_t fromEnd = *wholeTableRows_ - 1 - position;
    if (readTail(fromEnd + 1)) {
      location = tail_[size_t(fromEnd)];
      return true;
    }
  }
  scanUntil(position == std::numeric_limits<uint64_t>::max() ? position : position + 1);
  if (position >= locations_.size()) return false;
  location = locations_[size_t(position)];
  return true;
}

bool IndexResultSet::readTail(uint64_t rows) {
  if (!tailCursor_) {
    const size_t index = walk_.path().realIndex;
    tailCursor_.emplace(plan_->db->pages(), plan_->table->realIndexes.at(index),
                        describeIndex(*plan_->table, index));
    tailCursor_->seekLast();
  }
  IndexEntry entry;
  while (tail_.size() < rows) {
    if (!tailCursor_->previous(entry)) {
      // Fewer entries than the table counts: positions are only what a walk
      // from the start gives.
      wholeTableRows_.reset();
      tail_.clear();
      tailCursor_.reset();
      return false;
    }
    tail_.push_back(entry.rowLocation());
  }
  return true;
}

}  // namespace kevra::sql
