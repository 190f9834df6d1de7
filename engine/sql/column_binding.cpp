// Name resolution for expressions over one table or a join of several.
#include "engine/sql/column_binding.h"

#include "engine/expr/text_collation.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

bool sameName(std::string_view a, std::string_view b) { return compareTextIgnoringCase(a, b) == 0; }

std::string tableList(const std::vector<RowSchema::Part>& parts) {
  std::string list;
  for (const auto& p : parts) list += (list.empty() ? "'" : ", '") + p.table + "'";
  return list;
}

}  // namespace

std::vector<RowSchema::Part> RowSchema::tables() const {
  if (!parts.empty()) return parts;
  return {Part{table, alias, 0, columns.size()}};
}

int findColumn(const RowSchema& schema, std::string_view name) {
  for (size_t i = 0; i < schema.columns.size(); ++i)
    if (sameName(schema.columns[i], name)) return int(i);
  return -1;
}

void bindColumns(Expr& e, const RowSchema& schema) {
  if (e.kind == ExprKind::Column) {
    const std::vector<RowSchema::Part> parts = schema.tables();
    e.columnIndex = -1;
    if (!e.qualifier.empty()) {
      // An alias hides its table's own name, as in Jet.
      const RowSchema::Part* part = nullptr;
      for (const auto& p : parts)
        if (p.alias.empty() ? sameName(e.qualifier, p.table) : sameName(e.qualifier, p.alias)) part = &p;
      if (!part)
        for (const auto& p : parts)
          if (sameName(e.qualifier, p.table)) part = &p;
      if (!part)
        throw EngineError("The name '" + e.qualifier + "' in '" + e.qualifier + "." + e.name +
                          "' is not a table or alias of this query (" + tableList(parts) + ").");
      for (size_t i = part->first; i < part->first + part->count; ++i)
        if (sameName(schema.columns[i], e.name)) e.columnIndex = int(i);
      if (e.columnIndex < 0)
        throw EngineError("The field '" + e.name + "' is not in table '" + part->table + "'.");
    } else {
      const RowSchema::Part* owner = nullptr;
      for (const auto& p : parts) {
        for (size_t i = p.first; i < p.first + p.count; ++i) {
          if (!sameName(schema.columns[i], e.name)) continue;
          if (owner)
            throw EngineError("The field '" + e.name + "' is in both '" + owner->table + "' and '" + p.table +
                              "'; write the table's name in front of it.");
          owner = &p;
          e.columnIndex = int(i);
        }
      }
      if (e.columnIndex < 0) {
        if (parts.size() == 1) throw EngineError("The field '" + e.name + "' is not in table '" + parts[0].table + "'.");
        throw EngineError("The field '" + e.name + "' is in none of the tables " + tableList(parts) + ".");
      }
    }
  }
  for (auto& operand : e.operands) bindColumns(*operand, schema);
}

}  // namespace kevra::sql
