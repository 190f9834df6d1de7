// Nested-loop and hash joins over rows held in memory.
#include "engine/sql/join_rows.h"

#include <bit>
#include <cstring>
#include <set>
#include <unordered_map>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/expr/expression_evaluator.h"
#include "engine/expr/expression_tools.h"
#include "engine/expr/numeric_value.h"
#include "engine/expr/text_collation.h"

namespace kevra::sql {
namespace {

using Row = std::vector<Value>;

// Rows of one table, placed at [first, first + width) of a row `total` wide.
std::vector<Row> readTable(const Database& db, const SourceTable& source, size_t first, size_t total) {
  std::vector<Row> rows;
  auto cursor = db.openCursor(source.def);
  std::vector<Value> row;
  while (cursor->next(row)) {
    Row& wide = rows.emplace_back(total);
    for (size_t i = 0; i < row.size(); ++i) wide[first + i] = std::move(row[i]);
  }
  return rows;
}

// An equality in ON (possibly one of several ANDed terms) whose sides read
// only the rows joined so far and only the new table respectively.
struct EquiKey {
  const Expr* earlier = nullptr;
  const Expr* added = nullptr;
};

bool readsOnly(const Expr& e, size_t begin, size_t end) {
  std::set<int> used;
  collectColumnIndexes(e, used);
  for (int i : used)
    if (size_t(i) < begin || size_t(i) >= end) return false;
  return !used.empty();
}

std::optional<EquiKey> findEquiKey(const Expr& on, size_t addedFirst, size_t addedEnd) {
  if (on.kind == ExprKind::Binary && on.op == "AND") {
    if (auto k = findEquiKey(*on.operands[0], addedFirst, addedEnd)) return k;
    return findEquiKey(*on.operands[1], addedFirst, addedEnd);
  }
  if (on.kind != ExprKind::Binary || on.op != "=") return std::nullopt;
  const Expr& a = *on.operands[0];
  const Expr& b = *on.operands[1];
  if (readsOnly(a, 0, addedFirst) && readsOnly(b, addedFirst, addedEnd)) return EquiKey{&a, &b};
  if (readsOnly(b, 0, addedFirst) && readsOnly(a, addedFirst, addedEnd)) return EquiKey{&b, &a};
  return std::nullopt;
}

// A text that equal values share: numbers and dates by their double value,
// text by its case-folded form, GUIDs and binary by their bytes. NULL has
// none (it equals nothing).
std::optional<std::string> hashKey(const Value& v) {
  if (isNull(v)) return std::nullopt;
  double d;
  char tag;
  if (auto* date = std::get_if<DateTime>(&v)) {
    d = date->serial, tag = 'n';
  } else if (auto n = numericOf(v)) {
    d = n->approx, tag = 'n';
  } else if (auto* s = std::get_if<std::string>(&v)) {
    const std::u32string folded = foldedCodePoints(*s);
    std::string key(1, 't');
    key.append(reinterpret_cast<const char*>(folded.data()), folded.size() * sizeof(char32_t));
    return key;
  } else if (auto* g = std::get_if<Guid>(&v)) {
    return std::string(1, 'g') + std::string(g->bytes.begin(), g->bytes.end());
  } else if (auto* b = std::get_if<Binary>(&v)) {
    return std::string(1, 'b') + std::string(b->begin(), b->end());
  } else {
    return std::nullopt;
  }
  if (d == 0) d = 0;  // one key for 0 and -0
  std::string key(1 + sizeof d, tag);
  std::memcpy(key.data() + 1, &d, sizeof d);
  return key;
}

bool isText(const Value& v) { return std::holds_alternative<std::string>(v); }

class Joiner {
 public:
  Joiner(const SelectPlan& plan) : plan_(plan) {
    for (const SourceTable& s : plan.scanSources) total_ += s.def->columns.size();
  }

  std::vector<Row> run() {
    size_t first = plan_.scanSources[0].def->columns.size();
    std::vector<Row> rows = readTable(*plan_.db, plan_.scanSources[0], 0, total_);
    for (size_t k = 0; k < plan_.joins.size(); ++k) {
      const SourceTable& added = plan_.scanSources[k + 1];
      const size_t end = first + added.def->columns.size();
      rows = join(std::move(rows), readTable(*plan_.db, added, first, total_), plan_.joins[k], first, end);
      first = end;
    }
    return rows;
  }

 private:
  // Joins `left` (columns [0, first)) with `right` (columns [first, end)).
  std::vector<Row> join(std::vector<Row> left, std::vector<Row> right, const JoinStep& step, size_t first,
                        size_t end) {
    std::vector<Row> out;
    const bool rightOuter = step.kind == JoinKind::Right;
    std::vector<bool> rightMatched(right.size(), false);
    const auto candidates = candidateLists(left, right, step, first, end);
    for (size_t l = 0; l < left.size(); ++l) {
      bool matched = false;
      auto consider = [&](size_t r) {
        Row combined = left[l];
        for (size_t i = first; i < end; ++i) combined[i] = right[r][i];
        if (step.on && !evaluator_.isTrue(*step.on, combined)) return;
        matched = true;
        rightMatched[r] = true;
        out.push_back(std::move(combined));
      };
      if (candidates) {
        for (size_t r : (*candidates)[l]) consider(r);
      } else {
        for (size_t r = 0; r < right.size(); ++r) consider(r);
      }
      if (!matched && step.kind == JoinKind::Left) out.push_back(left[l]);  // right side stays NULL
    }
    if (rightOuter)
      for (size_t r = 0; r < right.size(); ++r)
        if (!rightMatched[r]) out.push_back(std::move(right[r]));  // left side stays NULL
    return out;
  }

  // For each left row, the right rows whose key equals its key; nullopt when
  // ON has no usable equality, or the keys mix text with numbers (those
  // compare by converting, which a hash cannot follow).
  std::optional<std::vector<std::vector<size_t>>> candidateLists(const std::vector<Row>& left,
                                                                 const std::vector<Row>& right, const JoinStep& step,
                                                                 size_t first, size_t end) {
    if (!step.on) return std::nullopt;
    const std::optional<EquiKey> key = findEquiKey(*step.on, first, end);
    if (!key) return std::nullopt;
    std::vector<Value> leftKeys, rightKeys;
    bool sawText = false, sawOther = false;
    auto note = [&](const Value& v) {
      if (isNull(v)) return;
      (isText(v) ? sawText : sawOther) = true;
    };
    for (const Row& r : left) note(leftKeys.emplace_back(evaluator_.evaluate(*key->earlier, r)));
    for (const Row& r : right) note(rightKeys.emplace_back(evaluator_.evaluate(*key->added, r)));
    if (sawText && sawOther) return std::nullopt;
    std::unordered_map<std::string, std::vector<size_t>> byKey;
    for (size_t r = 0; r < right.size(); ++r)
      if (auto k = hashKey(rightKeys[r])) byKey[*k].push_back(r);
    std::vector<std::vector<size_t>> lists(left.size());
    for (size_t l = 0; l < left.size(); ++l)
      if (auto k = hashKey(leftKeys[l]))
        if (auto found = byKey.find(*k); found != byKey.end()) lists[l] = found->second;
    return lists;
  }

  const SelectPlan& plan_;
  size_t total_ = 0;
  ExpressionEvaluator evaluator_;
};

}  // namespace

std::vector<std::vector<Value>> joinRows(const SelectPlan& plan) { return Joiner(plan).run(); }

}  // namespace kevra::sql
