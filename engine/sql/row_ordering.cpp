// DISTINCT and ORDER BY over rows in memory.
#include "engine/sql/row_ordering.h"

#include <algorithm>
#include <numeric>

#include "engine/expr/text_collation.h"
#include "engine/index/text_key_encoder.h"
#include "engine/util/utf.h"
#include "engine/expr/value_compare.h"

namespace kevra::sql {

int compareRows(const std::vector<Value>& a, const std::vector<Value>& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (int c = compareForSort(a[i], b[i])) return c;
  return int(a.size() > b.size()) - int(a.size() < b.size());
}

std::vector<size_t> distinctRowIndexes(const std::vector<std::vector<Value>>& rows) {
  std::vector<size_t> order(rows.size());
  std::iota(order.begin(), order.end(), 0);
  // Equal rows end up next to each other, the first-seen one leading.
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return compareRows(rows[a], rows[b]) < 0; });
  std::vector<size_t> kept;
  for (size_t i = 0; i < order.size(); ++i)
    if (i == 0 || compareRows(rows[order[i - 1]], rows[order[i]]) != 0) kept.push_back(order[i]);
  std::sort(kept.begin(), kept.end());
  return kept;
}

namespace {

// A sort key prepared once: text becomes its key in the General sort order
// (the order its indexes keep: letters first, then accents, then case), so
// comparing two text keys is a plain byte comparison.
struct PreparedKey {
  const Value* value;
  Bytes folded;
  bool text = false;
};

// The order compareForSort gives two values of the same common scalar type,
// without its dispatch (the sort's innermost comparison).
template <typename T>
int sameTypeOrder(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int comparePrepared(const PreparedKey& a, const PreparedKey& b) {
  if (a.text && b.text) return a.folded < b.folded ? -1 : (a.folded == b.folded ? 0 : 1);
  return compareForSort(*a.value, *b.value);
}

}  // namespace

void sortByKeys(std::vector<size_t>& indexes, const std::vector<std::vector<Value>>& keys,
                const std::vector<OrderItem>& orderBy) {
  if (orderBy.empty()) return;
  std::vector<std::vector<PreparedKey>> prepared(keys.size());
  for (size_t i : indexes) {
    prepared[i].reserve(keys[i].size());
    for (const Value& v : keys[i]) {
      PreparedKey& p = prepared[i].emplace_back(PreparedKey{&v, {}, false});
      if (auto* s = std::get_if<std::string>(&v)) {
        appendTextKeySegment(utf8ToUtf16(*s), true, p.folded);
        p.text = true;
      }
    }
  }
  std::stable_sort(indexes.begin(), indexes.end(), [&](size_t a, size_t b) {
    for (size_t k = 0; k < orderBy.size(); ++k) {
      const int c = comparePrepared(prepared[a][k], prepared[b][k]);
      if (c != 0) return orderBy[k].descending ? c > 0 : c < 0;
    }
    return false;
  });
}

SortKey makeSortKey(uint64_t id, uint64_t sequence, std::vector<Value> values) {
  SortKey k{id, sequence, std::move(values), {}, {}};
  // textKeys stays empty when no value is text (one allocation less per row).
  for (size_t i = 0; i < k.values.size(); ++i)
    if (auto* s = std::get_if<std::string>(&k.values[i])) {
      k.textKeys.resize(k.values.size());
      appendTextKeySegment(utf8ToUtf16(*s), true, k.textKeys[i]);
    }
  return k;
}

bool SortKeyLess::operator()(const SortKey& a, const SortKey& b) const {
  const auto& orderBy = *orderBy_;
  for (size_t k = 0; k < orderBy.size(); ++k) {
    const Value& x = a.values[k];
    const Value& y = b.values[k];
    int c;
    if (x.index() == y.index() && std::holds_alternative<double>(x))
      c = sameTypeOrder(*std::get_if<double>(&x), *std::get_if<double>(&y));
    else if (x.index() == y.index() && std::holds_alternative<int32_t>(x))
      c = sameTypeOrder(*std::get_if<int32_t>(&x), *std::get_if<int32_t>(&y));
    else if (std::holds_alternative<std::string>(x) && std::holds_alternative<std::string>(y))
      c = a.textKeys[k] < b.textKeys[k] ? -1 : (a.textKeys[k] == b.textKeys[k] ? 0 : 1);
    else
      c = compareForSort(x, y);
    if (c != 0) return orderBy[k].descending ? c > 0 : c < 0;
  }
  return a.sequence < b.sequence;
}

BestRows::BestRows(const std::vector<OrderItem>& orderBy, size_t limit) : less_(orderBy), limit_(limit) {}

std::optional<uint64_t> BestRows::offer(uint64_t id, const std::vector<Value>& key) {
  if (limit_ == 0) return id;
  SortKey e = makeSortKey(id, offered_++, key);
  std::optional<uint64_t> dropped;
  if (heap_.size() == limit_) {
    if (!less_(e, heap_.front())) return id;
    std::pop_heap(heap_.begin(), heap_.end(), less_);
    dropped = heap_.back().id;
    heap_.back() = std::move(e);
  } else {
    heap_.push_back(std::move(e));
  }
  std::push_heap(heap_.begin(), heap_.end(), less_);
  return dropped;
}

std::vector<uint64_t> BestRows::takeInOrder() {
  std::sort(heap_.begin(), heap_.end(), less_);
  std::vector<uint64_t> ids;
  for (const SortKey& e : heap_) ids.push_back(e.id);
  heap_.clear();
  return ids;
}

std::vector<std::vector<Value>> finishRows(std::vector<std::vector<Value>>& outputs,
                                           const std::vector<std::vector<Value>>& keys,
                                           const std::vector<OrderItem>& orderBy, bool distinct) {
  std::vector<size_t> kept;
  if (distinct) {
    kept = distinctRowIndexes(outputs);
  } else {
    kept.resize(outputs.size());
    for (size_t i = 0; i < kept.size(); ++i) kept[i] = i;
  }
  sortByKeys(kept, keys, orderBy);
  std::vector<std::vector<Value>> rows;
  rows.reserve(kept.size());
  for (size_t i : kept) rows.push_back(std::move(outputs[i]));
  return rows;
}

}  // namespace kevra::sql
