// Nested-loop and hash joins over rows held in memory.
#include "engine/sql/join_rows.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <set>
#include <unordered_map>

#include "engine/table/database.h"
#include "engine/table/index_lookup.h"
#include "engine/table/row_reader.h"
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

// An index of the added table that finds its rows for a key: the added side
// of an ON equality is one of its columns, an index leads with that column,
// and the join keeps no unmatched rows of the added table (RIGHT JOIN does).
struct IndexProbe {
  const Expr* earlier = nullptr;
  size_t realIndex = 0;
};

std::optional<IndexProbe> indexProbeFor(const SelectPlan& plan, size_t step, size_t first, size_t end) {
  const JoinStep& join = plan.joins[step];
  if (!join.on || (join.kind != JoinKind::Inner && join.kind != JoinKind::Left)) return std::nullopt;
  const std::optional<EquiKey> key = findEquiKey(*join.on, first, end);
  if (!key || key->added->kind != ExprKind::Column) return std::nullopt;
  const TableDef& narrow = *plan.scanSources[step + 1].def;
  const TableDef& full = *plan.sources[step + 1].def;
  const ColumnDef& column = narrow.columns.at(size_t(key->added->columnIndex) - first);
  for (size_t i = 0; i < full.columns.size(); ++i)
    if (full.columns[i].number == column.number)
      if (auto index = findIndexLeadingWith(full, {i})) return IndexProbe{key->earlier, *index};
  return std::nullopt;
}

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
      if (auto probe = probeWorthIt(k, rows.size(), first, end))
        rows = joinThroughIndex(std::move(rows), k, *probe, first, end);
      else
        rows = join(std::move(rows), readTable(*plan_.db, added, first, total_), plan_.joins[k], first, end);
      first = end;
    }
    return rows;
  }

  // An index probe for step `k` when looking up `leftRows` keys reads less
  // than the added table does.
  std::optional<IndexProbe> probeWorthIt(size_t k, size_t leftRows, size_t first, size_t end) const {
    auto probe = indexProbeFor(plan_, k, first, end);
    if (!probe) return std::nullopt;
    const uint64_t addedRows = storedRowCount(plan_.db->pages(), *plan_.sources[k + 1].def);
    return uint64_t(leftRows) * 4 < addedRows ? probe : std::nullopt;
  }

  // Which of the steps read their added table through an index.
  std::vector<std::string> describe() {
    std::vector<std::string> lines{"table '" + plan_.sources[0].def->name + "': scan"};
    size_t first = plan_.scanSources[0].def->columns.size();
    uint64_t leftRows = storedRowCount(plan_.db->pages(), *plan_.sources[0].def);
    for (size_t k = 0; k < plan_.joins.size(); ++k) {
      const size_t end = first + plan_.scanSources[k + 1].def->columns.size();
      const TableDef& full = *plan_.sources[k + 1].def;
      auto probe = probeWorthIt(k, size_t(leftRows), first, end);
      lines.push_back("table '" + full.name + "': " +
                      (probe ? "lookup per row through " + describeIndex(full, probe->realIndex) : std::string("scan")));
      leftRows = probe ? leftRows : leftRows * storedRowCount(plan_.db->pages(), full);
      first = end;
    }
    return lines;
  }

 private:
  // INNER or LEFT JOIN reading only the added rows the index names for each
  // left row's key, in storage order (as the hash join lists them).
  std::vector<Row> joinThroughIndex(std::vector<Row> left, size_t k, const IndexProbe& probe, size_t first,
                                    size_t end) {
    const JoinStep& step = plan_.joins[k];
    const TableDef& full = *plan_.sources[k + 1].def;
    RowReader reader(plan_.db->pages(), plan_.scanSources[k + 1].def);
    std::optional<std::vector<Row>> everything;  // read only when a key has no index form
    std::vector<Row> out;
    std::vector<uint32_t> locations;
    std::vector<Value> added;
    for (Row& l : left) {
      bool matched = false;
      auto consider = [&](const Row& right) {
        Row combined = l;
        for (size_t i = first; i < end; ++i) combined[i] = right[i - first];
        if (!evaluator_.isTrue(*step.on, combined)) return;
        matched = true;
        out.push_back(std::move(combined));
      };
      const Value key = evaluator_.evaluate(*probe.earlier, l);
      if (!isNull(key)) {
        locations.clear();
        const bool seekable = visitIndexMatches(plan_.db->pages(), full, probe.realIndex, {key}, [&](uint32_t at) {
          locations.push_back(at);
          return true;
        });
        if (seekable) {
          std::sort(locations.begin(), locations.end());
          for (uint32_t at : locations)
            if (reader.read(at, added)) consider(added);
        } else {
          if (!everything) {
            everything.emplace();
            auto cursor = plan_.db->openCursor(plan_.scanSources[k + 1].def);
            while (cursor->next(added)) everything->push_back(added);
          }
          for (const Row& right : *everything) consider(right);
        }
      }
      if (!matched && step.kind == JoinKind::Left) out.push_back(std::move(l));
    }
    return out;
  }

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

std::vector<std::string> explainJoin(const SelectPlan& plan) { return Joiner(plan).describe(); }

}  // namespace kevra::sql
