// Column subsets of table definitions.
#include "engine/sql/column_subset.h"

#include <set>

#include "engine/expr/expression_tools.h"

namespace kevra::sql {

RowSchema schemaOf(const std::vector<SourceTable>& sources) {
  RowSchema s;
  for (const SourceTable& source : sources) {
    RowSchema::Part part{source.def->name, source.alias, s.columns.size(), source.def->columns.size()};
    for (const auto& c : source.def->columns) s.columns.push_back(c.name);
    s.parts.push_back(std::move(part));
  }
  if (s.parts.size() == 1) {
    s.table = s.parts[0].table;
    s.alias = s.parts[0].alias;
    s.parts.clear();
  }
  return s;
}

std::shared_ptr<const TableDef> tableWithColumns(const TableDef& table, const std::vector<int>& indexes) {
  auto copy = std::make_shared<TableDef>(table);
  copy->columns.clear();
  for (int i : indexes) copy->columns.push_back(table.columns.at(size_t(i)));
  return copy;
}

std::vector<SourceTable> bindToNeededColumns(const std::vector<SourceTable>& sources,
                                             const std::vector<Expr*>& exprs) {
  const RowSchema full = schemaOf(sources);
  std::set<int> used;
  for (Expr* e : exprs) {
    bindColumns(*e, full);
    collectColumnIndexes(*e, used);
  }
  std::vector<SourceTable> narrow;
  size_t first = 0;
  for (const SourceTable& source : sources) {
    std::vector<int> mine;
    for (int i : used)
      if (size_t(i) >= first && size_t(i) < first + source.def->columns.size()) mine.push_back(int(i - first));
    narrow.push_back({tableWithColumns(*source.def, mine), source.alias});
    first += source.def->columns.size();
  }
  const RowSchema schema = schemaOf(narrow);
  for (Expr* e : exprs) bindColumns(*e, schema);
  return narrow;
}

std::shared_ptr<const TableDef> bindToNeededColumns(const TableDef& table, const std::string& alias,
                                                    const std::vector<Expr*>& exprs) {
  auto shared = std::make_shared<TableDef>(table);
  return bindToNeededColumns(std::vector<SourceTable>{{shared, alias}}, exprs)[0].def;
}

}  // namespace kevra::sql
