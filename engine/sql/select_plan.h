// SelectPlan: a SELECT checked against its tables and made ready to run.
// Every expression is bound; the plan also says which columns each phase
// must decode, so a scan for WHERE/ORDER BY reads only the columns they use
// and fetching reads only the columns the output shows.
#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/sql/ast.h"
#include "engine/sql/column_subset.h"
#include "engine/sql/result_set.h"

namespace kevra {
class Database;
}

namespace kevra::sql {

struct JoinStep {
  JoinKind kind = JoinKind::Cross;
  ExprPtr on;  // bound to the joined row; null for Cross
};

struct SelectPlan {
  std::shared_ptr<Database> db;
  std::shared_ptr<const TableDef> table;  // the first FROM table, as defined in the file
  std::vector<SourceTable> sources;        // every FROM table, as defined
  std::vector<JoinStep> joins;             // joins[i] adds sources[i + 1]
  std::vector<ExprPtr> outputs;            // one per output column
  std::vector<ResultColumn> columns;
  ExprPtr where;                           // may be null
  std::vector<ExprPtr> groupBy;
  ExprPtr having;                          // may be null
  std::vector<OrderItem> orderBy;
  bool distinct = false;
  // GROUP BY, HAVING or an aggregate function: one output row per group.
  bool grouped = false;
  std::optional<TopClause> top;
  // One table: the columns the filter/sort scan decodes (with DISTINCT or
  // grouping also the output's) and the columns fetching decodes.
  std::shared_ptr<const TableDef> scanTable;
  std::shared_ptr<const TableDef> outputTable;
  // Joins: each table narrowed to the columns the query reads; every
  // expression is bound to the joined row of these.
  std::vector<SourceTable> scanSources;

  bool joined() const { return !joins.empty(); }
  // True when the output is every column of the table in order, unchanged.
  bool outputIsWholeRow() const;
};

// Throws EngineError when a table is missing or an expression names a field
// the tables do not have. SELECT ... INTO is refused here.
std::unique_ptr<SelectPlan> planSelect(std::shared_ptr<Database> db, SelectStatement statement);

}  // namespace kevra::sql
