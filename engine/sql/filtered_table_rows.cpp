// Reading one table of a join under its own conditions.
#include "engine/sql/filtered_table_rows.h"

#include "engine/sql/index_range_walk.h"
#include "engine/table/database.h"

namespace kevra::sql {

FilteredTableRows::FilteredTableRows(const SelectPlan& plan, size_t table, const Expr* filter,
                                     const std::optional<AccessPath>& path)
    : plan_(plan), table_(table), filter_(filter), path_(path) {}

void FilteredTableRows::open() {
  opened_ = true;
  const std::shared_ptr<const TableDef>& narrow = plan_.scanSources.at(table_).def;
  if (path_) {
    reader_.emplace(plan_.db->pages(), narrow);
    locations_ =
        IndexRangeWalk(plan_.db->pages(), *plan_.sources.at(table_).def, *path_).remainingInStorageOrder();
  } else {
    cursor_ = plan_.db->openCursor(narrow);
  }
}

bool FilteredTableRows::passes(const std::vector<Value>& row) { return !filter_ || evaluator_.isTrue(*filter_, row); }

bool FilteredTableRows::next(std::vector<Value>& row) {
  if (!opened_) open();
  while (true) {
    if (cursor_) {
      if (!cursor_->next(row)) return false;
    } else {
      if (at_ == locations_.size()) return false;
      if (!reader_->read(locations_[at_++], row)) continue;
    }
    if (passes(row)) return true;
  }
}

}  // namespace kevra::sql
