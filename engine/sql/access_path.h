// AccessPath: how a statement reads one table — every row in storage order,
// or the entries of one index: the key ranges its WHERE allows (=, <, <=, >,
// >=, BETWEEN, IN (list), LIKE 'start*' on the index's leading columns,
// joined by AND), or the whole index in key order when that order is the
// ORDER BY. Ranges only narrow the rows read; the whole WHERE is still
// evaluated on every row an index names.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/sql/ast.h"
#include "engine/util/bytes.h"

namespace kevra::sql {

// Entries whose bytes lie in [start, end); an empty end has no limit.
struct KeyRange {
  Bytes start;
  Bytes end;
};

struct AccessPath {
  size_t realIndex = 0;
  std::string indexName;           // the logical index's name
  std::vector<KeyRange> ranges;    // sorted, disjoint; one range with no limits reads the whole index
  std::string conditions;          // the WHERE terms the ranges come from ("id =", "name LIKE")
  bool givesOrder = false;         // reading the ranges in order gives the ORDER BY order
};

// The best index for reading `table` (as defined in the file) under `where`
// and `orderBy`, both bound to the columns of `boundTo` (a narrowed copy of
// `table`, or the table itself); null `where` and empty `orderBy` allowed.
// An index the WHERE bounds wins over one that only keeps the ORDER BY order
// (its rows are then sorted). nullopt: a scan is the way.
std::optional<AccessPath> chooseAccessPath(const TableDef& table, const TableDef& boundTo, const Expr* where,
                                           const std::vector<OrderItem>& orderBy);

// One line for a plan display: "index 'name_idx' (name LIKE), in order".
std::string describeAccessPath(const AccessPath& path);

}  // namespace kevra::sql
