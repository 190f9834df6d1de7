// INSERT, UPDATE and DELETE over a RowWriter.
#include "engine/sql/modify_executor.h"

#include "engine/table/database.h"
#include "engine/table/referential_integrity.h"
#include "engine/table/row_reader.h"
#include "engine/table/table_cursor.h"
#include "engine/sql/access_path.h"
#include "engine/sql/index_range_walk.h"
#include "engine/sql/column_binding.h"
#include "engine/sql/column_subset.h"
#include "engine/expr/expression_evaluator.h"
#include "engine/sql/selected_rows_inserter.h"
#include "engine/sql/subquery_resolver.h"
#include "engine/expr/value_coercion.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

RowSchema schemaOf(const TableDef& table) {
  RowSchema s;
  s.table = table.name;
  for (const auto& c : table.columns) s.columns.push_back(c.name);
  return s;
}

// Runs `work` between begin() and commit(), rolling back when it throws.
template <typename Work>
long inTransaction(RowWriter& writer, Work work) {
  writer.begin();
  try {
    const long n = work();
    writer.commit();
    return n;
  } catch (...) {
    writer.rollback();
    throw;
  }
}

struct Change {
  uint32_t location;
  std::vector<Value> values;
};

// Calls `visit` with the location and the `scanned` columns of every row of
// `table` that satisfies `where` (bound to `scanned`), in storage order;
// through an index when the WHERE allows.
template <typename Visit>
void forEachMatchingRow(const Database& db, const TableDef& table, const std::shared_ptr<const TableDef>& scanned,
                        const Expr* where, Visit visit) {
  ExpressionEvaluator evaluator;
  std::vector<Value> row;
  if (auto path = chooseAccessPath(table, *scanned, where, {})) {
    RowReader reader(db.pages(), scanned);
    for (uint32_t location : IndexRangeWalk(db.pages(), table, std::move(*path)).remainingInStorageOrder())
      if (reader.read(location, row) && (!where || evaluator.isTrue(*where, row))) visit(location, row);
    return;
  }
  auto cursor = db.openCursor(scanned);
  while (cursor->next(row))
    if (!where || evaluator.isTrue(*where, row)) visit(cursor->lastLocation(), row);
}

}  // namespace

std::vector<std::string> explainModify(const std::shared_ptr<Database>& db, const std::string& tableName,
                                       ExprPtr* where, bool updating) {
  auto table = db->table(tableName);
  std::vector<std::string> lines;
  if (where) {
    std::vector<Expr*> used;
    if (*where) {
      resolveSubqueries(**where, db);
      used.push_back(where->get());
    }
    const auto scanned = bindToNeededColumns(*table, "", used);
    auto path = chooseAccessPath(*table, *scanned, where->get(), {});
    lines.push_back("table '" + table->name + "': " + (path ? describeAccessPath(*path) : std::string("scan")));
  } else {
    lines.push_back("table '" + table->name + "': insert");
  }
  const bool inserting = !where;
  const bool deleting = where && !updating;
  for (std::string& line : ReferentialIntegrity(*db).describeLookups(*table, !deleting, !inserting))
    lines.push_back(std::move(line));
  return lines;
}

long executeInsert(const std::shared_ptr<Database>& db, InsertStatement& statement, RowWriter& writer) {
  auto table = db->table(statement.table.name);
  const RowSchema schema = schemaOf(*table);
  std::vector<int> targets;
  if (statement.columns.empty()) {
    for (size_t i = 0; i < table->columns.size(); ++i) targets.push_back(int(i));
  } else {
    for (const std::string& name : statement.columns) {
      const int index = findColumn(schema, name);
      if (index < 0)
        throw EngineError("The INSERT INTO statement names field '" + name + "', which table '" + table->name +
                          "' does not have.");
      for (int seen : targets)
        if (seen == index) throw EngineError("The INSERT INTO statement names field '" + name + "' twice.");
      targets.push_back(index);
    }
  }
  if (statement.select) return insertSelectedRows(db, *table, targets, std::move(*statement.select), writer);
  if (targets.size() != statement.values.size())
    throw EngineError("The INSERT INTO statement gives " + std::to_string(statement.values.size()) +
                      " values for " + std::to_string(targets.size()) + " fields of table '" + table->name + "'.");

  for (ExprPtr& v : statement.values) resolveSubqueries(*v, db);
  // Values cannot refer to the row being inserted: bind against no columns.
  RowSchema none;
  none.table = table->name;
  ExpressionEvaluator evaluator;
  std::vector<std::optional<Value>> row(table->columns.size());
  const std::vector<Value> empty;
  for (size_t i = 0; i < targets.size(); ++i) {
    bindColumns(*statement.values[i], none);
    const ColumnDef& column = table->columns[size_t(targets[i])];
    row[size_t(targets[i])] = coerceToColumn(evaluator.evaluate(*statement.values[i], empty), column);
  }
  return inTransaction(writer, [&] {
    writer.insertRow(*table, row);
    return 1L;
  });
}

long executeUpdate(const std::shared_ptr<Database>& db, UpdateStatement& statement, RowWriter& writer) {
  auto table = db->table(statement.table.name);
  const RowSchema schema = schemaOf(*table);
  std::vector<int> targets;
  for (Assignment& a : statement.assignments) resolveSubqueries(*a.value, db);
  if (statement.where) resolveSubqueries(*statement.where, db);
  for (Assignment& a : statement.assignments) {
    const int index = findColumn(schema, a.column);
    if (index < 0) throw EngineError("The field '" + a.column + "' is not in table '" + table->name + "'.");
    targets.push_back(index);
    bindColumns(*a.value, schema);
  }

  // New values are computed from the row as it was, for every assignment;
  // the scan decodes only the columns the WHERE and the new values read.
  std::vector<Expr*> used;
  if (statement.where) used.push_back(statement.where.get());
  for (Assignment& a : statement.assignments) used.push_back(a.value.get());
  const auto scanned = bindToNeededColumns(*table, "", used);
  ExpressionEvaluator evaluator;
  std::vector<Change> changes;
  forEachMatchingRow(*db, *table, scanned, statement.where.get(), [&](uint32_t location, const std::vector<Value>& row) {
    Change& c = changes.emplace_back();
    c.location = location;
    for (size_t i = 0; i < targets.size(); ++i) {
      const ColumnDef& column = table->columns[size_t(targets[i])];
      c.values.push_back(coerceToColumn(evaluator.evaluate(*statement.assignments[i].value, row), column));
    }
  });
  // The other fields are read whole only for the rows that change.
  RowReader reader(db->pages(), table);
  return inTransaction(writer, [&] {
    std::vector<Value> row;
    for (const Change& c : changes) {
      if (!reader.read(c.location, row))
        throw EngineError("A row of table '" + table->name + "' to update was deleted while the statement ran.");
      for (size_t i = 0; i < targets.size(); ++i) row[size_t(targets[i])] = c.values[i];
      writer.updateRow(*table, c.location, row);
    }
    return long(changes.size());
  });
}

long executeDelete(const std::shared_ptr<Database>& db, DeleteStatement& statement, RowWriter& writer) {
  auto table = db->table(statement.table.name);
  std::vector<Expr*> used;
  if (statement.where) {
    resolveSubqueries(*statement.where, db);
    used.push_back(statement.where.get());
  }
  const auto scanned = bindToNeededColumns(*table, "", used);
  std::vector<uint32_t> locations;
  forEachMatchingRow(*db, *table, scanned, statement.where.get(),
                     [&](uint32_t location, const std::vector<Value>&) { locations.push_back(location); });
  return inTransaction(writer, [&] {
    for (uint32_t location : locations) writer.deleteRow(*table, location);
    return long(locations.size());
  });
}

}  // namespace kevra::sql
