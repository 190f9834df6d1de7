// IndexResultSet: a one-table SELECT whose rows are named by an index (see
// AccessPath). The rows the index names are read by location and the whole
// WHERE evaluated on them; when the index order is the ORDER BY, rows are
// read in that order only as far as asked for (so TOP n reads about n),
// otherwise the qualifying rows keep storage order or are sorted. Every row
// of the table in index order (no WHERE, the whole index) has the table's
// row count, and a row far ahead of the rows walked so far is read from the
// index's end, walking backward: the last rows cost as little as the first.
#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "engine/expr/expression_evaluator.h"
#include "engine/sql/access_path.h"
#include "engine/sql/index_range_walk.h"
#include "engine/sql/row_projector.h"
#include "engine/sql/select_plan.h"
#include "engine/table/row_reader.h"

namespace kevra::sql {

class IndexResultSet : public ResultSet {
 public:
  IndexResultSet(std::unique_ptr<SelectPlan> plan, AccessPath path);
  const std::vector<ResultColumn>& columns() const override { return plan_->columns; }
  uint64_t rowCount() override;
  size_t fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) override;
  std::shared_ptr<const TableDef> sourceTable() const override;
  std::optional<uint32_t> rowLocation(uint64_t position) override;
  // The row count when it is known without walking the index: every row of
  // the table in index order. nullopt otherwise, or once the index turned
  // out to hold fewer entries than the table counts.
  std::optional<uint64_t> knownRowCount() const;

 private:
  // The location of the row at `position`, from the rows walked forward or
  // from the end; false past the last row.
  bool locationAt(uint64_t position, uint32_t& location);
  // Walks back from the index's end until `rows` locations are known there.
  bool readTail(uint64_t rows);
  void scanUntil(uint64_t wanted);
  bool qualifies(uint32_t location);

  std::unique_ptr<SelectPlan> plan_;
  bool inIndexOrder_;
  IndexRangeWalk walk_;
  RowReader scanReader_;
  RowReader fetchReader_;
  ExpressionEvaluator evaluator_;
  RowProjector projector_;
  std::vector<Value> row_;
  std::vector<uint32_t> candidates_;  // storage order, when not read in index order
  size_t nextCandidate_ = 0;
  bool collected_ = false;
  std::vector<uint32_t> locations_;  // qualifying rows, in output order
  bool complete_ = false;
  // The whole table in index order: its row count, and the locations read
  // from the index's end, the last row first.
  std::optional<uint64_t> wholeTableRows_;
  std::optional<IndexCursor> tailCursor_;
  std::vector<uint32_t> tail_;
};

}  // namespace kevra::sql
