// RowListResultSet: a SELECT with WHERE and/or ORDER BY (no DISTINCT). A scan
// that decodes only the columns the condition and sort keys use records the
// storage positions of the rows that qualify; fetching seeks to those
// positions and decodes the output columns of just the rows requested.
// Without ORDER BY the scan runs only as far as the rows asked for so far;
// with TOP n only the best n sort keys are kept. A full sort carries each
// qualifying row's output values with its key and keeps the sorted rows in a
// temporary file, so fetching reads them in order instead of seeking to each
// row's page again.
#pragma once
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/expr/expression_evaluator.h"
#include "engine/sql/row_projector.h"
#include "engine/sql/select_plan.h"

namespace kevra::sql {

class RowListResultSet : public ResultSet {
 public:
  explicit RowListResultSet(std::unique_ptr<SelectPlan> plan);
  const std::vector<ResultColumn>& columns() const override { return plan_->columns; }
  uint64_t rowCount() override;
  size_t fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) override;
  // Editable when the output is the table's whole rows (select * ... where/order by).
  std::shared_ptr<const TableDef> sourceTable() const override;
  std::optional<uint32_t> rowLocation(uint64_t position) override;

 private:
  // Scans until `wanted` rows qualified or the table ended.
  void scanUntil(uint64_t wanted);
  void scanAndSort();

  std::unique_ptr<SelectPlan> plan_;
  std::unique_ptr<TableCursor> scanCursor_;
  std::unique_ptr<TableCursor> fetchCursor_;
  ExpressionEvaluator evaluator_;
  RowProjector projector_;
  std::vector<uint64_t> positions_;  // storage positions of qualifying rows, in output order
  struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, CloseFile> sortedRows_;  // output rows in order, after a full sort
  std::vector<uint64_t> sortedOffsets_;               // where each of them starts, and the end
  bool complete_ = false;
};

}  // namespace kevra::sql
