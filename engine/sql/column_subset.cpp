// Column subsets of a table definition.
#include "engine/sql/column_subset.h"

#include <set>

#include "engine/sql/column_binding.h"
#include "engine/sql/expression_tools.h"

namespace kevra::sql {
namespace {

RowSchema schemaOf(const TableDef& table, const std::string& alias) {
  RowSchema s;
  s.table = table.name;
  s.alias = alias;
  for (const auto& c : table.columns) s.columns.push_back(c.name);
  return s;
}

}  // namespace

std::shared_ptr<const TableDef> tableWithColumns(const TableDef& table, const std::vector<int>& indexes) {
  auto copy = std::make_shared<TableDef>(table);
  copy->columns.clear();
  for (int i : indexes) copy->columns.push_back(table.columns.at(size_t(i)));
  return copy;
}

std::shared_ptr<const TableDef> bindToNeededColumns(const TableDef& table, const std::string& alias,
                                                    const std::vector<Expr*>& exprs) {
  const RowSchema full = schemaOf(table, alias);
  std::set<int> used;
  for (Expr* e : exprs) {
    bindColumns(*e, full);
    collectColumnIndexes(*e, used);
  }
  auto subset = tableWithColumns(table, std::vector<int>(used.begin(), used.end()));
  const RowSchema narrow = schemaOf(*subset, alias);
  for (Expr* e : exprs) bindColumns(*e, narrow);
  return subset;
}

}  // namespace kevra::sql
