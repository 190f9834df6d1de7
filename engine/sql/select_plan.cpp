// Planning a SELECT: star expansion, output names and types, name binding,
// ORDER BY on output aliases, and the column subsets each phase decodes.
#include "engine/sql/select_plan.h"

#include "engine/database.h"
#include "engine/sql/column_binding.h"
#include "engine/sql/column_subset.h"
#include "engine/sql/expression_tools.h"
#include "engine/sql/grouped_rows.h"
#include "engine/sql/result_column_inference.h"
#include "engine/sql/text_collation.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

RowSchema schemaOf(const TableDef& table, const std::string& alias) {
  RowSchema s;
  s.table = table.name;
  s.alias = alias;
  for (const auto& c : table.columns) s.columns.push_back(c.name);
  return s;
}

bool sameName(std::string_view a, std::string_view b) { return compareTextIgnoringCase(a, b) == 0; }

}  // namespace

bool SelectPlan::outputIsWholeRow() const {
  if (outputs.size() != table->columns.size() || outputTable->columns.size() != table->columns.size()) return false;
  for (size_t i = 0; i < outputs.size(); ++i)
    if (outputs[i]->kind != ExprKind::Column || outputs[i]->columnIndex != int(i)) return false;
  return true;
}

std::unique_ptr<SelectPlan> planSelect(std::shared_ptr<Database> db, SelectStatement statement) {
  if (statement.into)
    throw UnsupportedError("Making table '" + statement.into->table +
                           "' from a query (SELECT ... INTO) is not supported yet.");
  auto plan = std::make_unique<SelectPlan>();
  plan->table = db->table(statement.from.name);
  plan->db = std::move(db);
  plan->distinct = statement.distinct;
  const TableDef& table = *plan->table;
  const std::string& alias = statement.from.alias;
  const RowSchema full = schemaOf(table, alias);

  // Output columns: * and t.* expand to every column; other items keep their expression.
  int unnamed = 0;
  for (SelectItem& item : statement.items) {
    if (item.isStar()) {
      if (!item.starQualifier.empty() && !sameName(item.starQualifier, table.name) &&
          !(!alias.empty() && sameName(item.starQualifier, alias)))
        throw EngineError("The name '" + item.starQualifier + "' in '" + item.starQualifier +
                          ".*' is not the table or alias of this query ('" + table.name + "').");
      for (const ColumnDef& c : table.columns) {
        plan->outputs.push_back(makeColumnExpr(c.name, 0));
        ResultColumn rc;
        rc.name = c.name;
        rc.type = c.type;
        rc.length = c.length;
        rc.precision = c.precision;
        rc.scale = c.scale;
        plan->columns.push_back(rc);
      }
      continue;
    }
    bindColumns(*item.expr, full);
    ResultColumn rc = inferResultColumn(*item.expr, table);
    if (!item.alias.empty())
      rc.name = item.alias;
    else if (item.expr->kind == ExprKind::Column)
      rc.name = table.columns[size_t(item.expr->columnIndex)].name;
    else
      rc.name = "Expr" + std::to_string(1000 + unnamed++);
    plan->columns.push_back(std::move(rc));
    plan->outputs.push_back(std::move(item.expr));
  }

  plan->where = std::move(statement.where);
  // ORDER BY may name an output alias; it then sorts by that expression.
  for (OrderItem& o : statement.orderBy) {
    const Expr& e = *o.expr;
    if (e.kind == ExprKind::Column && e.qualifier.empty() && findColumn(full, e.name) < 0) {
      for (size_t i = 0; i < plan->columns.size(); ++i) {
        if (sameName(plan->columns[i].name, e.name)) {
          o.expr = cloneExpr(*plan->outputs[i]);
          break;
        }
      }
    }
    plan->orderBy.push_back(std::move(o));
  }

  plan->groupBy = std::move(statement.groupBy);
  plan->having = std::move(statement.having);
  plan->top = statement.top;
  plan->grouped = !plan->groupBy.empty() || plan->having;
  for (const auto& e : plan->outputs) plan->grouped = plan->grouped || containsAggregate(*e);
  for (const auto& o : plan->orderBy) plan->grouped = plan->grouped || containsAggregate(*o.expr);
  if (plan->where && containsAggregate(*plan->where))
    throw EngineError("An aggregate function cannot stand in the WHERE clause; use HAVING.");

  std::vector<Expr*> scanExprs, outputExprs;
  if (plan->where) scanExprs.push_back(plan->where.get());
  for (auto& o : plan->orderBy) scanExprs.push_back(o.expr.get());
  for (auto& e : plan->outputs) outputExprs.push_back(e.get());
  if (plan->distinct || plan->grouped) {
    // Everything is evaluated against the same scanned row.
    scanExprs.insert(scanExprs.end(), outputExprs.begin(), outputExprs.end());
    for (auto& g : plan->groupBy) scanExprs.push_back(g.get());
    if (plan->having) scanExprs.push_back(plan->having.get());
    plan->scanTable = bindToNeededColumns(table, alias, scanExprs);
    plan->outputTable = plan->scanTable;
    if (plan->grouped) checkGrouping(*plan);
  } else {
    plan->scanTable = bindToNeededColumns(table, alias, scanExprs);
    plan->outputTable = bindToNeededColumns(table, alias, outputExprs);
  }
  return plan;
}

}  // namespace kevra::sql
