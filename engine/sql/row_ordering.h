// Ordering of output rows held in memory: equality for DISTINCT and the
// ORDER BY sort, both with Jet's comparison rules (NULL first; DISTINCT
// compares text ignoring case, ORDER BY sorts it in the General sort order).
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/util/bytes.h"

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

// One row's ORDER BY values, prepared for comparing: text also as its key in
// the General sort order. `sequence` (the order rows came in) breaks ties,
// as a stable sort would. `payload` travels with the key untouched (the row
// itself, when the sort carries whole rows).
struct SortKey {
  uint64_t id = 0;
  uint64_t sequence = 0;
  std::vector<Value> values;
  std::vector<Bytes> textKeys;
  Bytes payload;
};
SortKey makeSortKey(uint64_t id, uint64_t sequence, std::vector<Value> values);

class SortKeyLess {
 public:
  explicit SortKeyLess(const std::vector<OrderItem>& orderBy) : orderBy_(&orderBy) {}
  bool operator()(const SortKey& a, const SortKey& b) const;

 private:
  const std::vector<OrderItem>* orderBy_;
};

// The first `limit` rows in ORDER BY order among those offered, holding no
// more than `limit` keys (SELECT TOP n ... ORDER BY without an index that
// keeps the order).
class BestRows {
 public:
  BestRows(const std::vector<OrderItem>& orderBy, size_t limit);
  // Returns the id no longer kept, if any: `id` itself when it is not among
  // the best, or the one it pushed out.
  std::optional<uint64_t> offer(uint64_t id, const std::vector<Value>& key);
  // The ids kept, best first.
  std::vector<uint64_t> takeInOrder();

 private:
  SortKeyLess less_;
  size_t limit_;
  uint64_t offered_ = 0;
  std::vector<SortKey> heap_;  // the worst kept key on top
};

// The output rows kept by DISTINCT (when asked) in ORDER BY order, moved
// out of `outputs`; `keys` holds one sort key per output row.
std::vector<std::vector<Value>> finishRows(std::vector<std::vector<Value>>& outputs,
                                           const std::vector<std::vector<Value>>& keys,
                                           const std::vector<OrderItem>& orderBy, bool distinct);

}  // namespace kevra::sql
