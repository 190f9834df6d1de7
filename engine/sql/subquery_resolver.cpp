// Running subqueries ahead of their statement.
#include "engine/sql/subquery_resolver.h"

#include "engine/sql/select_executor.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

// Runs the subquery of `node` and returns the values of its one field.
std::vector<Value> runSubquery(Expr& node, const std::shared_ptr<Database>& db) {
  if (!node.subquery) throw EngineError("A subquery was used twice.");
  std::shared_ptr<SelectStatement> statement = std::move(node.subquery);
  std::unique_ptr<ResultSet> rows = executeSelect(db, std::move(*statement));
  if (rows->columns().size() != 1)
    throw EngineError("A subquery used as a value or in IN must select exactly one field; this one selects " +
                      std::to_string(rows->columns().size()) + ".");
  std::vector<Value> values;
  std::vector<std::vector<Value>> block;
  for (uint64_t at = 0; rows->fetch(at, 1024, block) > 0; at += block.size())
    for (auto& row : block) values.push_back(std::move(row[0]));
  return values;
}

ExprPtr literal(Value v, size_t position) {
  auto e = std::make_unique<Expr>();
  e->kind = ExprKind::Literal;
  e->literal = std::move(v);
  e->position = position;
  return e;
}

}  // namespace

void resolveSubqueries(Expr& e, const std::shared_ptr<Database>& db) {
  if (e.kind == ExprKind::In && e.operands.size() == 2 && e.operands[1]->kind == ExprKind::Subquery) {
    resolveSubqueries(*e.operands[0], db);
    const size_t position = e.operands[1]->position;
    std::vector<Value> values = runSubquery(*e.operands[1], db);
    e.operands.resize(1);
    for (Value& v : values) e.operands.push_back(literal(std::move(v), position));
    return;
  }
  if (e.kind == ExprKind::Subquery) {
    std::vector<Value> values = runSubquery(e, db);
    if (values.size() > 1)
      throw EngineError("At most one record can be returned by the subquery at position " +
                        std::to_string(e.position) + "; it returned " + std::to_string(values.size()) + ".");
    e.kind = ExprKind::Literal;
    e.literal = values.empty() ? Value{} : std::move(values[0]);
    return;
  }
  for (auto& operand : e.operands) resolveSubqueries(*operand, db);
}

}  // namespace kevra::sql
