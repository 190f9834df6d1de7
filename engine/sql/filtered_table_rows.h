// FilteredTableRows: the rows of one table of a join that pass its own
// conditions, one at a time, read through the index that answers those
// conditions (in storage order) or by a scan; decoded to the table's
// narrowed columns only. Nothing is read before the first row is asked for.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/expr/expression_evaluator.h"
#include "engine/sql/access_path.h"
#include "engine/sql/select_plan.h"
#include "engine/table/row_reader.h"
#include "engine/table/table_cursor.h"

namespace kevra::sql {

class FilteredTableRows {
 public:
  // `plan` and `filter` (may be null; bound to plan.scanSources[table]'s
  // row) must outlive this reader.
  FilteredTableRows(const SelectPlan& plan, size_t table, const Expr* filter, const std::optional<AccessPath>& path);
  bool next(std::vector<Value>& row);
  // Whether `row` (of this table) passes the conditions.
  bool passes(const std::vector<Value>& row);

 private:
  void open();

  const SelectPlan& plan_;
  size_t table_;
  const Expr* filter_;
  std::optional<AccessPath> path_;
  bool opened_ = false;
  std::unique_ptr<TableCursor> cursor_;
  std::optional<RowReader> reader_;
  std::vector<uint32_t> locations_;
  size_t at_ = 0;
  ExpressionEvaluator evaluator_;
};

}  // namespace kevra::sql
