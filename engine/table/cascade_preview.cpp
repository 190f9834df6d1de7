// Counting the rows a delete or key change would cascade into, by walking
// the relationships the way the row writer does, without writing.
#include "engine/table/cascade_preview.h"

#include <functional>
#include <set>
#include <utility>

#include "engine/expr/value_coercion.h"
#include "engine/table/database.h"
#include "engine/table/referential_integrity.h"
#include "engine/table/row_reader.h"
#include "engine/util/error.h"

namespace kevra {

std::vector<CascadeEffect> previewCascade(Database& db, const std::shared_ptr<const TableDef>& table,
                                          uint32_t location, const std::vector<Value>* newRow) {
  Database::ReadScope reading(db);
  std::vector<Value> oldRow;
  if (!RowReader(db.pages(), table).read(location, oldRow))
    throw EngineError("The row to change in table '" + table->name + "' was deleted.");

  std::vector<CascadeEffect> effects;
  // A row reached twice (two paths to one table) counts once.
  std::set<std::pair<uint32_t, uint32_t>> reached{{table->tdefPage, location}};
  const auto effectFor = [&effects](const std::string& name) -> CascadeEffect& {
    for (CascadeEffect& e : effects)
      if (e.table == name) return e;
    effects.push_back(CascadeEffect{name, 0, 0});
    return effects.back();
  };
  const ReferentialIntegrity integrity(db);
  const auto ignore = [](const TableDef&, uint32_t, const std::vector<Value>&) {};

  std::function<void(const TableDef&, const std::vector<Value>&)> deleting;
  deleting = [&](const TableDef& parent, const std::vector<Value>& row) {
    integrity.handleChildren(
        parent, row, nullptr,
        [&](const TableDef& child, uint32_t at, const std::vector<Value>& values) {
          if (!reached.insert({child.tdefPage, at}).second) return;
          ++effectFor(child.name).deleted;
          deleting(child, values);
        },
        ignore);
  };
  std::function<void(const TableDef&, const std::vector<Value>&, const std::vector<Value>&)> changing;
  changing = [&](const TableDef& parent, const std::vector<Value>& before, const std::vector<Value>& after) {
    integrity.handleChildren(
        parent, before, &after, ignore, [&](const TableDef& child, uint32_t at, const std::vector<Value>& values) {
          if (!reached.insert({child.tdefPage, at}).second) return;
          ++effectFor(child.name).changed;
          std::vector<Value> childBefore;
          if (RowReader(db.pages(), db.table(child.name)).read(at, childBefore)) changing(child, childBefore, values);
        });
  };
  if (newRow) {
    // Compared as the writer stores them: converted to each field's type.
    std::vector<Value> stored(table->columns.size());
    for (size_t i = 0; i < stored.size() && i < newRow->size(); ++i)
      stored[i] = expr::coerceToColumn((*newRow)[i], table->columns[i]);
    changing(*table, oldRow, stored);
  }
  else
    deleting(*table, oldRow);
  return effects;
}

}  // namespace kevra
