// DistinctResultSet: a SELECT DISTINCT. The output rows that qualify are
// built in memory once (only the columns the query reads are decoded), equal
// rows (text ignoring case) are kept once in order of first appearance, and
// ORDER BY then sorts them.
#pragma once
#include <memory>
#include <vector>

#include "engine/sql/select_plan.h"

namespace kevra::sql {

class DistinctResultSet : public ResultSet {
 public:
  explicit DistinctResultSet(std::unique_ptr<SelectPlan> plan);
  const std::vector<ResultColumn>& columns() const override { return plan_->columns; }
  uint64_t rowCount() override;
  size_t fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) override;

 private:
  void build();

  std::unique_ptr<SelectPlan> plan_;
  std::vector<std::vector<Value>> rows_;
  bool built_ = false;
};

}  // namespace kevra::sql
