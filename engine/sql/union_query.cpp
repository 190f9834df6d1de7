// Union queries, built in memory.
#include "engine/sql/union_query.h"

#include "engine/sql/column_binding.h"
#include "engine/expr/expression_evaluator.h"
#include "engine/sql/row_ordering.h"
#include "engine/sql/select_executor.h"
#include "engine/sql/subquery_resolver.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

class UnionResultSet : public ResultSet {
 public:
  UnionResultSet(std::vector<ResultColumn> columns, std::vector<std::vector<Value>> rows)
      : columns_(std::move(columns)), rows_(std::move(rows)) {}
  const std::vector<ResultColumn>& columns() const override { return columns_; }
  uint64_t rowCount() override { return rows_.size(); }
  size_t fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) override {
    out.clear();
    for (uint64_t i = position; i < rows_.size() && out.size() < count; ++i) out.push_back(rows_[size_t(i)]);
    return out.size();
  }

 private:
  std::vector<ResultColumn> columns_;
  std::vector<std::vector<Value>> rows_;
};

void appendRows(ResultSet& part, std::vector<std::vector<Value>>& rows) {
  std::vector<std::vector<Value>> block;
  for (uint64_t at = 0; part.fetch(at, 1024, block) > 0; at += block.size())
    for (auto& row : block) rows.push_back(std::move(row));
}

}  // namespace

std::unique_ptr<ResultSet> executeUnion(std::shared_ptr<Database> db, SelectStatement statement) {
  std::vector<OrderItem> orderBy = std::move(statement.orderBy);
  std::vector<UnionPart> parts = std::move(statement.unions);
  statement.orderBy.clear();
  statement.unions.clear();
  const std::string firstTable = statement.from.name;

  std::unique_ptr<ResultSet> first = executeSelect(db, std::move(statement));
  std::vector<ResultColumn> columns = first->columns();
  std::vector<std::vector<Value>> rows;
  appendRows(*first, rows);
  // Left to right: a plain UNION keeps the rows so far once each, UNION ALL
  // only adds.
  for (UnionPart& part : parts) {
    std::unique_ptr<ResultSet> next = executeSelect(db, std::move(*part.select));
    if (next->columns().size() != columns.size())
      throw EngineError("The queries of a UNION select different numbers of fields (" +
                        std::to_string(columns.size()) + " and " + std::to_string(next->columns().size()) + ").");
    appendRows(*next, rows);
    if (!part.all) {
      std::vector<std::vector<Value>> once;
      for (size_t i : distinctRowIndexes(rows)) once.push_back(std::move(rows[i]));
      rows = std::move(once);
    }
  }

  std::vector<size_t> kept(rows.size());
  for (size_t i = 0; i < kept.size(); ++i) kept[i] = i;
  if (!orderBy.empty()) {
    RowSchema schema;
    schema.table = firstTable;
    for (const ResultColumn& c : columns) schema.columns.push_back(c.name);
    ExpressionEvaluator evaluator;
    std::vector<std::vector<Value>> keys(rows.size());
    for (OrderItem& o : orderBy) {
      resolveSubqueries(*o.expr, db);
      bindColumns(*o.expr, schema);
    }
    for (size_t i : kept)
      for (const OrderItem& o : orderBy) keys[i].push_back(evaluator.evaluate(*o.expr, rows[i]));
    sortByKeys(kept, keys, orderBy);
  }
  std::vector<std::vector<Value>> out;
  out.reserve(kept.size());
  for (size_t i : kept) out.push_back(std::move(rows[i]));
  return std::make_unique<UnionResultSet>(std::move(columns), std::move(out));
}

}  // namespace kevra::sql
