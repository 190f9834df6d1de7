// MaterializedResultSet: output rows built in memory in one go, the first
// time they are needed: used for DISTINCT, joins and grouped (aggregate)
// queries, whose rows only exist once the whole table has been read.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "engine/sql/select_plan.h"

namespace kevra::sql {

class MaterializedResultSet : public ResultSet {
 public:
  using Builder = std::function<std::vector<std::vector<Value>>(SelectPlan&)>;
  MaterializedResultSet(std::unique_ptr<SelectPlan> plan, Builder builder);
  const std::vector<ResultColumn>& columns() const override { return plan_->columns; }
  uint64_t rowCount() override;
  size_t fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) override;

 private:
  void build();

  std::unique_ptr<SelectPlan> plan_;
  Builder builder_;
  std::vector<std::vector<Value>> rows_;
  bool built_ = false;
};

// Rows of a SELECT DISTINCT: qualifying output rows kept once each, in order
// of first appearance, then sorted by ORDER BY.
std::vector<std::vector<Value>> buildDistinctRows(SelectPlan& plan);
// Qualifying output rows sorted by ORDER BY (for joins, which have no
// storage positions to come back to). Under TOP n (not PERCENT) only n rows
// are ever held, and without ORDER BY reading stops at the nth.
std::vector<std::vector<Value>> buildFilteredRows(SelectPlan& plan);

}  // namespace kevra::sql
