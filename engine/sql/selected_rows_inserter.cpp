// Moving the rows of a query into a table.
#include "engine/sql/selected_rows_inserter.h"

#include <algorithm>
#include <optional>
#include <string>

#include "engine/expr/text_collation.h"
#include "engine/expr/value_coercion.h"
#include "engine/sql/select_executor.h"
#include "engine/table/database.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

constexpr size_t kBlockRows = 1024;

using TargetRow = std::vector<std::optional<Value>>;

void convertBlock(const std::vector<std::vector<Value>>& block, const TableDef& table,
                  const std::vector<int>& targets, std::vector<TargetRow>& rows) {
  for (const auto& values : block) {
    TargetRow& row = rows.emplace_back(table.columns.size());
    for (size_t i = 0; i < targets.size(); ++i)
      row[size_t(targets[i])] = coerceToColumn(values[i], table.columns[size_t(targets[i])]);
  }
}

}  // namespace

bool selectReadsTable(const SelectStatement& select, std::string_view name) {
  auto same = [&](const std::string& other) { return compareTextIgnoringCase(other, name) == 0; };
  if (same(select.from.name)) return true;
  for (const JoinClause& j : select.joins)
    if (same(j.table.name)) return true;
  for (const UnionPart& u : select.unions)
    if (u.select && selectReadsTable(*u.select, name)) return true;
  return false;
}

long insertSelectedRows(const std::shared_ptr<Database>& db, const TableDef& table, const std::vector<int>& targets,
                        SelectStatement select, RowWriter& writer, InsertSelectedStats* stats) {
  const bool readsTarget = selectReadsTable(select, table.name);
  std::unique_ptr<ResultSet> source = executeSelect(db, std::move(select));
  if (source->columns().size() != targets.size())
    throw EngineError("The INSERT INTO statement's query gives " + std::to_string(source->columns().size()) +
                      " fields for " + std::to_string(targets.size()) + " fields of table '" + table.name + "'.");
  InsertSelectedStats local;
  InsertSelectedStats& seen = stats ? *stats : local;
  seen.mostRowsHeld = 0;
  std::vector<TargetRow> rows;
  std::vector<std::vector<Value>> block;
  if (readsTarget) {
    for (uint64_t at = 0; source->fetch(at, kBlockRows, block) > 0; at += block.size())
      convertBlock(block, table, targets, rows);
    seen.mostRowsHeld = rows.size();
  }
  writer.begin();
  try {
    long added = 0;
    if (readsTarget) {
      for (const TargetRow& row : rows) writer.insertRow(table, row);
      added = long(rows.size());
    } else {
      // The query's reads and the inserts interleave; the writer spills its
      // changed pages when they grow, so nothing here grows with the rows.
      for (uint64_t at = 0; source->fetch(at, kBlockRows, block) > 0; at += block.size()) {
        rows.clear();
        convertBlock(block, table, targets, rows);
        seen.mostRowsHeld = std::max(seen.mostRowsHeld, rows.size());
        for (const TargetRow& row : rows) writer.insertRow(table, row);
        added += long(rows.size());
      }
    }
    writer.commit();
    return added;
  } catch (...) {
    writer.rollback();
    throw;
  }
}

}  // namespace kevra::sql
