// Filtered and sorted row lists over storage positions.
#include "engine/sql/row_list_result_set.h"

#include <algorithm>
#include <limits>
#include <numeric>

#include "engine/sql/row_ordering.h"
#include "engine/sql/spilling_sorter.h"
#include "engine/sql/value_record.h"
#include "engine/util/error.h"

namespace kevra::sql {

RowListResultSet::RowListResultSet(std::unique_ptr<SelectPlan> plan)
    : plan_(std::move(plan)),
      scanCursor_(plan_->db->openCursor(plan_->scanTable)),
      fetchCursor_(plan_->db->openCursor(plan_->outputTable)),
      projector_(*plan_) {}

void RowListResultSet::scanUntil(uint64_t wanted) {
  if (complete_) return;
  if (!plan_->orderBy.empty()) {
    scanAndSort();
    return;
  }
  std::vector<Value> row;
  while (positions_.size() < wanted) {
    const uint64_t position = scanCursor_->position();
    if (!scanCursor_->next(row)) {
      complete_ = true;
      return;
    }
    if (evaluator_.isTrue(*plan_->where, row)) positions_.push_back(position);
  }
}

void RowListResultSet::scanAndSort() {
  if (plan_->top && !plan_->top->percent && plan_->top->count <= (1u << 20)) {
    // Only the first n rows are ever shown: keep the best n, not every key.
    BestRows best(plan_->orderBy, size_t(plan_->top->count));
    std::vector<Value> row, key;
    while (true) {
      const uint64_t position = scanCursor_->position();
      if (!scanCursor_->next(row)) break;
      if (plan_->where && !evaluator_.isTrue(*plan_->where, row)) continue;
      key.clear();
      for (const auto& o : plan_->orderBy) key.push_back(evaluator_.evaluate(*o.expr, row));
      best.offer(position, key);
    }
    positions_ = best.takeInOrder();
    complete_ = true;
    return;
  }
  // Every qualifying row's key, carrying the row's output values; a sort past
  // the memory budget spills to temporary files.
  SpillingSorter sorter(plan_->orderBy);
  std::vector<Value> row, whole, output;
  while (true) {
    const uint64_t position = scanCursor_->position();
    if (!scanCursor_->next(row)) break;
    if (plan_->where && !evaluator_.isTrue(*plan_->where, row)) continue;
    std::vector<Value> key;
    key.reserve(plan_->orderBy.size());
    for (const auto& o : plan_->orderBy) key.push_back(evaluator_.evaluate(*o.expr, row));
    if ((fetchCursor_->position() != position && !fetchCursor_->seek(position)) || !fetchCursor_->next(whole))
      throw EngineError("Row " + std::to_string(position) + " of table '" + plan_->table->name +
                        "' could not be read again for sorting.");
    projector_.project(whole, output);
    Bytes payload;
    appendValueRecord(output, payload);
    sorter.add(position, std::move(key), std::move(payload));
  }
  sortedRows_.reset(std::tmpfile());
  if (!sortedRows_) throw EngineError("A temporary file for the query's sorted rows could not be made; is the disk full?");
  uint64_t offset = 0;
  sorter.finish([&](uint64_t id, const Bytes& payload) {
    positions_.push_back(id);
    sortedOffsets_.push_back(offset);
    if (!payload.empty() && std::fwrite(payload.data(), 1, payload.size(), sortedRows_.get()) != payload.size())
      throw EngineError("The query's sorted rows could not be written to a temporary file; is the disk full?");
    offset += payload.size();
  });
  sortedOffsets_.push_back(offset);
  if (std::fflush(sortedRows_.get()) != 0)
    throw EngineError("The query's sorted rows could not be written to a temporary file; is the disk full?");
  complete_ = true;
}

uint64_t RowListResultSet::rowCount() {
  scanUntil(std::numeric_limits<uint64_t>::max());
  return positions_.size();
}

size_t RowListResultSet::fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) {
  out.clear();
  if (count == 0) return 0;
  const uint64_t end = count > std::numeric_limits<uint64_t>::max() - position ? std::numeric_limits<uint64_t>::max()
                                                                                 : position + count;
  scanUntil(end);
  if (sortedRows_) {
    const uint64_t last = std::min<uint64_t>(end, positions_.size());
    if (position >= last) return 0;
    const uint64_t from = sortedOffsets_[position], to = sortedOffsets_[last];
    Bytes block(size_t(to - from));
    if (std::fseek(sortedRows_.get(), long(from), SEEK_SET) != 0 ||
        (!block.empty() && std::fread(block.data(), 1, block.size(), sortedRows_.get()) != block.size()))
      throw EngineError("The query's sorted rows could not be read back from their temporary file.");
    for (uint64_t i = position; i < last; ++i) {
      out.emplace_back();
      readValueRecord(ByteSpan(block).subspan(size_t(sortedOffsets_[i] - from), size_t(sortedOffsets_[i + 1] - sortedOffsets_[i])),
                      out.back());
    }
    return out.size();
  }
  std::vector<Value> row;
  for (uint64_t i = position; i < end && i < positions_.size(); ++i) {
    const uint64_t at = positions_[i];
    if (fetchCursor_->position() != at && !fetchCursor_->seek(at)) break;
    if (!fetchCursor_->next(row)) break;
    out.emplace_back();
    projector_.project(row, out.back());
  }
  return out.size();
}

std::shared_ptr<const TableDef> RowListResultSet::sourceTable() const {
  return plan_->outputIsWholeRow() ? plan_->table : nullptr;
}

std::optional<uint32_t> RowListResultSet::rowLocation(uint64_t position) {
  if (!sourceTable()) return std::nullopt;
  scanUntil(position == std::numeric_limits<uint64_t>::max() ? position : position + 1);
  if (position >= positions_.size()) return std::nullopt;
  const uint64_t at = positions_[size_t(position)];
  std::vector<Value> row;
  if ((fetchCursor_->position() != at && !fetchCursor_->seek(at)) || !fetchCursor_->next(row)) return std::nullopt;
  return fetchCursor_->lastLocation();
}

}  // namespace kevra::sql
