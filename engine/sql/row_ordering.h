// Ordering of output rows held in memory: equality for DISTINCT and the
// ORDER BY sort, both with Jet's comparison rules (NULL first; DISTINCT
// compares text ignoring case, ORDER BY sorts it in the General sort order).
#pragma once
#include <vector>

#include "engine/format/value.h"
#include "engine/sql/ast.h"

namespace kevra::sql {

int compareRows(const std::vector<Value>& a, const std::vector<Value>& b);

// Indexes of the rows DISTINCT keeps: the first of each set of equal rows,
// in ascending order.
std::vector<size_t> distinctRowIndexes(const std::vector<std::vector<Value>>& rows);

// Stable sort of `indexes` by `keys[index]`, one key per ORDER BY item.
void sortByKeys(std::vector<size_t>& indexes, const std::vector<std::vector<Value>>& keys,
                const std::vector<OrderItem>& orderBy);

// The output rows kept by DISTINCT (when asked) in ORDER BY order, moved
// out of `outputs`; `keys` holds one sort key per output row.
std::vector<std::vector<Value>> finishRows(std::vector<std::vector<Value>>& outputs,
                                           const std::vector<std::vector<Value>>& keys,
                                           const std::vector<OrderItem>& orderBy, bool distinct);

}  // namespace kevra::sql
