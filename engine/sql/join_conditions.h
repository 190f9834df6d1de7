// Where each condition of a join is checked. A WHERE term (one operand of
// the ANDs at its top) that reads a single table is checked as that table is
// read, through an index when one answers it; a WHERE term that reads
// several tables becomes a condition of the join step that binds the last of
// them, so FROM a, b WHERE a.x = b.y runs as the inner join it is. ON terms
// of an INNER or LEFT JOIN that read only the added table are checked as
// that table is read too. Terms on a table an outer join may fill with NULLs
// stay where they are. The whole WHERE is still evaluated on every joined
// row: these placements only keep rows from being joined in vain.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "engine/sql/access_path.h"
#include "engine/sql/select_plan.h"

namespace kevra::sql {

struct JoinConditions {
  // Per FROM table: its own conditions ANDed, bound to its narrowed row
  // (plan.scanSources[t]); null when it has none. The index that answers
  // them, if any.
  std::vector<ExprPtr> tableFilters;
  std::vector<std::optional<AccessPath>> tablePaths;
  // Per join step: its ON with the WHERE terms it binds ANDed on, bound to
  // the joined row; null joins every pair. A comma join that WHERE terms
  // bind becomes an inner join.
  std::vector<ExprPtr> stepConditions;
  std::vector<JoinKind> stepKinds;
};

JoinConditions placeJoinConditions(const SelectPlan& plan);

// "index 'PrimaryKey' (ID range), own conditions first" and the like.
std::string describeTableRead(const JoinConditions& conditions, size_t table);

}  // namespace kevra::sql
