// Name resolution for expressions over one table.
#include "engine/sql/column_binding.h"

#include "engine/sql/text_collation.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

bool sameName(std::string_view a, std::string_view b) { return compareTextIgnoringCase(a, b) == 0; }

}  // namespace

int findColumn(const RowSchema& schema, std::string_view name) {
  for (size_t i = 0; i < schema.columns.size(); ++i)
    if (sameName(schema.columns[i], name)) return int(i);
  return -1;
}

void bindColumns(Expr& e, const RowSchema& schema) {
  if (e.kind == ExprKind::Column) {
    if (!e.qualifier.empty() && !sameName(e.qualifier, schema.table) &&
        !(!schema.alias.empty() && sameName(e.qualifier, schema.alias)))
      throw EngineError("The name '" + e.qualifier + "' in '" + e.qualifier + "." + e.name +
                        "' is not the table or alias of this query ('" + schema.table + "').");
    e.columnIndex = findColumn(schema, e.name);
    if (e.columnIndex < 0)
      throw EngineError("The field '" + e.name + "' is not in table '" + schema.table + "'.");
  }
  for (auto& operand : e.operands) bindColumns(*operand, schema);
}

}  // namespace kevra::sql
