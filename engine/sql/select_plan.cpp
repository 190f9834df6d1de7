// Planning a SELECT: star expansion, output names and types, name binding,
// ORDER BY on output aliases, and the column subsets each phase decodes.
#include "engine/sql/select_plan.h"

#include "engine/table/database.h"
#include "engine/sql/column_binding.h"
#include "engine/expr/expression_tools.h"
#include "engine/sql/grouped_rows.h"
#include "engine/sql/result_column_inference.h"
#include "engine/sql/subquery_resolver.h"
#include "engine/expr/text_collation.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

bool sameName(std::string_view a, std::string_view b) { return compareTextIgnoringCase(a, b) == 0; }

// All columns of the FROM tables one after another, for typing outputs.
TableDef combinedDefinition(const std::vector<SourceTable>& sources) {
  if (sources.size() == 1) return *sources[0].def;
  TableDef combined;
  for (const SourceTable& s : sources) {
    combined.name += (combined.name.empty() ? "" : ", ") + s.def->name;
    combined.columns.insert(combined.columns.end(), s.def->columns.begin(), s.def->columns.end());
  }
  return combined;
}

ResultColumn columnOf(const ColumnDef& c, std::string name) {
  ResultColumn rc;
  rc.name = std::move(name);
  rc.type = c.type;
  rc.length = c.length;
  rc.precision = c.precision;
  rc.scale = c.scale;
  return rc;
}

// * and t.*: every column of every table (or of t), named by the column, or
// by table.column when a join has that name in more than one table.
void expandStar(SelectPlan& plan, const SelectItem& item) {
  bool matched = item.starQualifier.empty();
  for (const SourceTable& s : plan.sources) {
    const std::string& shownName = s.alias.empty() ? s.def->name : s.alias;
    if (!item.starQualifier.empty() && !sameName(item.starQualifier, shownName) &&
        !sameName(item.starQualifier, s.def->name))
      continue;
    matched = true;
    for (const ColumnDef& c : s.def->columns) {
      size_t owners = 0;
      for (const SourceTable& other : plan.sources)
        if (other.def->findColumn(c.name)) ++owners;
      auto e = makeColumnExpr(c.name, 0);
      e->qualifier = shownName;
      plan.outputs.push_back(std::move(e));
      plan.columns.push_back(columnOf(c, owners > 1 ? shownName + "." + c.name : c.name));
    }
  }
  if (!matched) {
    std::string names;
    for (const SourceTable& s : plan.sources) names += (names.empty() ? "'" : ", '") + s.def->name + "'";
    throw EngineError("The name '" + item.starQualifier + "' in '" + item.starQualifier +
                      ".*' is not a table or alias of this query (" + names + ").");
  }
}

}  // namespace

bool SelectPlan::outputIsWholeRow() const {
  if (joined() || outputs.size() != table->columns.size() || outputTable->columns.size() != table->columns.size())
    return false;
  for (size_t i = 0; i < outputs.size(); ++i)
    if (outputs[i]->kind != ExprKind::Column || outputs[i]->columnIndex != int(i)) return false;
  return true;
}

std::unique_ptr<SelectPlan> planSelect(std::shared_ptr<Database> db, SelectStatement statement) {
  if (statement.into)
    throw UnsupportedError("Making table '" + statement.into->table +
                           "' from a query (SELECT ... INTO) is not supported yet.");
  // Subqueries run first; what they return stands in their place.
  auto resolve = [&](ExprPtr& e) {
    if (e) resolveSubqueries(*e, db);
  };
  for (SelectItem& item : statement.items) resolve(item.expr);
  resolve(statement.where);
  resolve(statement.having);
  for (ExprPtr& g : statement.groupBy) resolve(g);
  for (OrderItem& o : statement.orderBy) resolve(o.expr);
  for (JoinClause& j : statement.joins) resolve(j.on);

  auto plan = std::make_unique<SelectPlan>();
  plan->table = db->table(statement.from.name);
  plan->sources.push_back({plan->table, statement.from.alias});
  for (JoinClause& j : statement.joins) {
    plan->sources.push_back({db->table(j.table.name), j.table.alias});
    plan->joins.push_back({j.kind, std::move(j.on)});
  }
  plan->db = std::move(db);
  plan->distinct = statement.distinct;
  const TableDef combined = combinedDefinition(plan->sources);
  const RowSchema full = schemaOf(plan->sources);

  int unnamed = 0;
  for (SelectItem& item : statement.items) {
    if (item.isStar()) {
      expandStar(*plan, item);
      continue;
    }
    bindColumns(*item.expr, full);
    ResultColumn rc = inferResultColumn(*item.expr, combined);
    if (!item.alias.empty())
      rc.name = item.alias;
    else if (item.expr->kind == ExprKind::Column)
      rc.name = combined.columns[size_t(item.expr->columnIndex)].name;
    else
      rc.name = "Expr" + std::to_string(1000 + unnamed++);
    plan->columns.push_back(std::move(rc));
    plan->outputs.push_back(std::move(item.expr));
  }

  // In a join, fields of the same name chosen from different tables are
  // told apart by their table, as * names them.
  if (!plan->joins.empty()) {
    const std::vector<RowSchema::Part> parts = full.tables();
    std::vector<bool> clash(plan->columns.size(), false);
    for (size_t i = 0; i < clash.size(); ++i)
      for (size_t j = 0; j < clash.size(); ++j)
        clash[i] = clash[i] || (j != i && sameName(plan->columns[j].name, plan->columns[i].name));
    for (size_t i = 0; i < plan->outputs.size(); ++i) {
      const Expr& e = *plan->outputs[i];
      if (!clash[i] || e.kind != ExprKind::Column || e.columnIndex < 0 ||
          plan->columns[i].name != combined.columns[size_t(e.columnIndex)].name)
        continue;
      for (const auto& part : parts)
        if (size_t(e.columnIndex) >= part.first && size_t(e.columnIndex) < part.first + part.count)
          plan->columns[i].name = (part.alias.empty() ? part.table : part.alias) + "." + plan->columns[i].name;
    }
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
  for (const JoinStep& j : plan->joins)
    if (j.on && containsAggregate(*j.on)) throw EngineError("An aggregate function cannot stand in a JOIN condition.");

  std::vector<Expr*> scanExprs, outputExprs;
  if (plan->where) scanExprs.push_back(plan->where.get());
  for (auto& o : plan->orderBy) scanExprs.push_back(o.expr.get());
  for (auto& e : plan->outputs) outputExprs.push_back(e.get());
  if (plan->distinct || plan->grouped || plan->joined()) {
    // Everything is evaluated against the same scanned (or joined) row.
    scanExprs.insert(scanExprs.end(), outputExprs.begin(), outputExprs.end());
    for (auto& g : plan->groupBy) scanExprs.push_back(g.get());
    if (plan->having) scanExprs.push_back(plan->having.get());
    for (auto& j : plan->joins)
      if (j.on) scanExprs.push_back(j.on.get());
    if (plan->joined()) {
      plan->scanSources = bindToNeededColumns(plan->sources, scanExprs);
    } else {
      plan->scanTable = bindToNeededColumns(*plan->table, statement.from.alias, scanExprs);
      plan->outputTable = plan->scanTable;
    }
    if (plan->grouped) checkGrouping(*plan);
  } else {
    plan->scanTable = bindToNeededColumns(*plan->table, statement.from.alias, scanExprs);
    plan->outputTable = bindToNeededColumns(*plan->table, statement.from.alias, outputExprs);
  }
  return plan;
}

}  // namespace kevra::sql
