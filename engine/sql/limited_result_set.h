// LimitedResultSet: SELECT TOP n [PERCENT]: the first rows of another result
// set, in its order.
#pragma once
#include <memory>

#include "engine/sql/ast.h"
#include "engine/sql/result_set.h"

namespace kevra::sql {

class LimitedResultSet : public ResultSet {
 public:
  LimitedResultSet(std::unique_ptr<ResultSet> inner, TopClause top);
  const std::vector<ResultColumn>& columns() const override { return inner_->columns(); }
  uint64_t rowCount() override;
  size_t fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) override;
  std::shared_ptr<const TableDef> sourceTable() const override { return inner_->sourceTable(); }
  std::optional<uint32_t> rowLocation(uint64_t position) override;

 private:
  uint64_t limit();

  std::unique_ptr<ResultSet> inner_;
  TopClause top_;
  std::optional<uint64_t> limit_;
};

}  // namespace kevra::sql
