// TOP n and TOP n PERCENT.
#include "engine/sql/limited_result_set.h"

#include <algorithm>

namespace kevra::sql {

LimitedResultSet::LimitedResultSet(std::unique_ptr<ResultSet> inner, TopClause top)
    : inner_(std::move(inner)), top_(top) {}

uint64_t LimitedResultSet::limit() {
  if (!limit_) {
    if (top_.percent) {
      // A percentage of the whole result, rounded up.
      const uint64_t total = inner_->rowCount();
      limit_ = std::min<uint64_t>(total, (total * std::min<uint64_t>(top_.count, 100) + 99) / 100);
    } else {
      limit_ = top_.count;
    }
  }
  return *limit_;
}

uint64_t LimitedResultSet::rowCount() {
  const uint64_t n = limit();
  if (top_.percent) return n;
  // Reading up to the limit is enough to know whether the source has that many.
  std::vector<std::vector<Value>> probe;
  if (n == 0) return 0;
  return inner_->fetch(n - 1, 1, probe) == 1 ? n : std::min(n, inner_->rowCount());
}

size_t LimitedResultSet::fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) {
  const uint64_t n = limit();
  if (position >= n) {
    out.clear();
    return 0;
  }
  return inner_->fetch(position, size_t(std::min<uint64_t>(count, n - position)), out);
}

std::optional<uint32_t> LimitedResultSet::rowLocation(uint64_t position) {
  if (position >= limit()) return std::nullopt;
  return inner_->rowLocation(position);
}

}  // namespace kevra::sql
