// TableScanResultSet: a SELECT without WHERE, ORDER BY or DISTINCT. Rows are
// the table's rows in storage order; nothing is read until asked for.
// rowCount() counts rows per page without decoding them, and fetch() seeks
// the cursor to the position and decodes only the rows requested, so a
// million-row table opens at once.
#pragma once
#include <memory>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/sql/row_projector.h"
#include "engine/sql/select_plan.h"

namespace kevra::sql {

class TableScanResultSet : public ResultSet {
 public:
  explicit TableScanResultSet(std::unique_ptr<SelectPlan> plan);
  const std::vector<ResultColumn>& columns() const override { return plan_->columns; }
  uint64_t rowCount() override;
  size_t fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) override;
  std::shared_ptr<const TableDef> sourceTable() const override;
  std::optional<uint32_t> rowLocation(uint64_t position) override;
  std::optional<uint64_t> followRowChange(uint32_t location, int liveRows) override;

 private:
  std::unique_ptr<SelectPlan> plan_;
  std::unique_ptr<TableCursor> cursor_;
  RowProjector projector_;
  std::optional<uint64_t> count_;
};

}  // namespace kevra::sql
