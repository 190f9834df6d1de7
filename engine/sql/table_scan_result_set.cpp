// Lazy, seekable table scan.
#include "engine/sql/table_scan_result_set.h"

namespace kevra::sql {

TableScanResultSet::TableScanResultSet(std::unique_ptr<SelectPlan> plan)
    : plan_(std::move(plan)), cursor_(plan_->db->openCursor(plan_->outputTable)), projector_(*plan_) {}

uint64_t TableScanResultSet::rowCount() {
  if (!count_) count_ = cursor_->countRows();
  return *count_;
}

size_t TableScanResultSet::fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) {
  out.clear();
  if (count == 0) return 0;
  if (cursor_->position() != position && !cursor_->seek(position)) return 0;
  std::vector<Value> row;
  while (out.size() < count && cursor_->next(row)) {
    out.emplace_back();
    projector_.project(row, out.back());
  }
  return out.size();
}

std::shared_ptr<const TableDef> TableScanResultSet::sourceTable() const {
  return plan_->outputIsWholeRow() ? plan_->table : nullptr;
}

std::optional<uint32_t> TableScanResultSet::rowLocation(uint64_t position) {
  if (!plan_->outputIsWholeRow()) return std::nullopt;
  if (cursor_->position() != position && !cursor_->seek(position)) return std::nullopt;
  std::vector<Value> row;
  if (!cursor_->next(row)) return std::nullopt;
  return cursor_->lastLocation();
}

std::optional<uint64_t> TableScanResultSet::followRowChange(uint32_t location, int liveRows) {
  if (!plan_->outputIsWholeRow()) return std::nullopt;
  if (count_) count_ = uint64_t(int64_t(*count_) + liveRows);
  return cursor_->followRowChange(location, liveRows);
}

}  // namespace kevra::sql
