// Streamed nested-loop, hash and index-lookup joins.
#include "engine/sql/join_rows.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <unordered_map>

#include "engine/expr/expression_evaluator.h"
#include "engine/expr/expression_tools.h"
#include "engine/expr/numeric_value.h"
#include "engine/expr/text_collation.h"
#include "engine/sql/filtered_table_rows.h"
#include "engine/sql/join_conditions.h"
#include "engine/table/database.h"
#include "engine/table/index_lookup.h"
#include "engine/table/row_reader.h"

namespace kevra::sql {
namespace {

using Row = std::vector<Value>;
constexpr size_t kNoRow = std::numeric_limits<size_t>::max();

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

// Text keys compare with numbers by converting, which a hash cannot follow:
// keys of the two kinds are matched pair by pair.
enum KeyKinds { kNoKeys = 0, kTextKeys = 1, kOtherKeys = 2, kMixedKeys = 3 };
int keyKind(const Value& v) {
  if (isNull(v)) return kNoKeys;
  return std::holds_alternative<std::string>(v) ? kTextKeys : kOtherKeys;
}

void shiftColumns(Expr& e, int by) {
  if (e.kind == ExprKind::Column && e.columnIndex >= 0) e.columnIndex += by;
  for (auto& operand : e.operands) shiftColumns(*operand, by);
}

uint64_t saturatingProduct(uint64_t a, uint64_t b) {
  if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a) return std::numeric_limits<uint64_t>::max();
  return a * b;
}

// The rows of an added table that pass its own conditions, read as far as
// needed and kept for the rows joined after.
class KeptRows {
 public:
  void start(std::unique_ptr<FilteredTableRows> source) { source_ = std::move(source); }
  // Whether row `i` exists, reading up to it.
  bool has(size_t i) {
    while (rows_.size() <= i) {
      if (!source_) return false;
      Row row;
      if (!source_->next(row)) {
        source_.reset();
        return false;
      }
      rows_.push_back(std::move(row));
    }
    return true;
  }
  void readAll() {
    while (has(rows_.size())) {
    }
  }
  const Row& operator[](size_t i) const { return rows_[i]; }
  size_t size() const { return rows_.size(); }

 private:
  std::unique_ptr<FilteredTableRows> source_;
  std::vector<Row> rows_;
};

// How one step adds its table.
struct Step {
  JoinKind kind = JoinKind::Cross;
  const Expr* on = nullptr;  // bound to the joined row; null: every pair
  size_t first = 0, end = 0;
  // The table whose rows are kept and where they go in the joined row: the
  // added table, or for a first step that swaps its sides the first table.
  size_t keptTable = 0, keptFirst = 0;
  bool onReadsLater = false;  // ON names a table joined later (NULL while this one is tried)
  std::optional<EquiKey> key;
  std::optional<size_t> probeIndex;  // real index looked up per row
  bool hashed = false;
  // Kept rows and, when hashed, their keys.
  KeptRows kept;
  ExprPtr keptKey;  // key->added bound to the kept row
  bool hashBuilt = false;
  int keptKinds = kNoKeys;
  std::unordered_map<std::string, std::vector<size_t>> byKey;
  std::vector<bool> matched;  // RIGHT JOIN: kept rows some joined row matched
  std::optional<RowReader> reader;  // index lookups
};

class Joiner {
 public:
  explicit Joiner(const SelectPlan& plan) : plan_(plan), conditions_(placeJoinConditions(plan)) {
    size_t first = plan.scanSources[0].def->columns.size();
    uint64_t estimate = storedRowCount(plan.db->pages(), *plan.sources[0].def);
    for (size_t k = 0; k < plan.joins.size(); ++k) {
      Step& s = steps_.emplace_back();
      s.kind = conditions_.stepKinds[k];
      s.on = conditions_.stepConditions[k].get();
      s.first = first;
      s.end = first + plan.scanSources[k + 1].def->columns.size();
      first = s.end;
      const uint64_t addedRows = storedRowCount(plan.db->pages(), *plan.sources[k + 1].def);
      if (s.on) {
        std::set<int> used;
        collectColumnIndexes(*s.on, used);
        s.onReadsLater = !used.empty() && size_t(*used.rbegin()) >= s.end;
        s.key = findEquiKey(*s.on, s.first, s.end);
      }
      if (s.key && s.kind != JoinKind::Right && s.key->added->kind == ExprKind::Column &&
          saturatingProduct(estimate, 4) < addedRows)
        s.probeIndex = indexFor(k, *s.key->added);
      s.hashed = s.key && !s.probeIndex;
      s.keptTable = k + 1, s.keptFirst = s.first;
      // Every pair of the first two tables is tried: the smaller one is kept
      // and the larger one read once.
      if (k == 0 && !s.key && (s.kind == JoinKind::Cross || s.kind == JoinKind::Inner) && addedRows > estimate) {
        s.keptTable = 0, s.keptFirst = 0;
        swapped_ = true;
      }
      // Rows joined so far after this step: an equality keeps about as many
      // as came in (a key finds its partner), anything else multiplies.
      if (!s.key) estimate = saturatingProduct(estimate, std::max<uint64_t>(addedRows, 1));
      if (s.kind == JoinKind::Right) estimate += addedRows;
    }
    for (const Step& s : steps_) total_ = std::max(total_, s.end);
    total_ = std::max(total_, plan.scanSources[0].def->columns.size());
  }

  void run(const std::function<bool(const Row&)>& visit) {
    visit_ = &visit;
    for (size_t k = 0; k < steps_.size(); ++k) {
      Step& s = steps_[k];
      // Opened only; nothing is read until a joined row asks.
      s.kept.start(openTable(s.keptTable));
      if (s.probeIndex) {
        s.reader.emplace(plan_.db->pages(), plan_.scanSources[k + 1].def);
        continue;
      }
      if (s.kind == JoinKind::Right) {
        s.kept.readAll();
        s.matched.assign(s.kept.size(), false);
      }
      if (s.hashed) {
        s.keptKey = cloneExpr(*s.key->added);
        shiftColumns(*s.keptKey, -int(s.first));
      }
    }
    const std::unique_ptr<FilteredTableRows> stream = openTable(swapped_ ? 1 : 0);
    const long streamFirst = swapped_ ? long(steps_[0].first) : 0;
    Row row(total_), read;
    while (stream->next(read)) {
      std::copy(read.begin(), read.end(), row.begin() + streamFirst);
      if (!extend(0, row)) return;
    }
    // A RIGHT JOIN's kept rows that nothing matched, NULLs before them, go on to the later steps.
    for (size_t k = 0; k < steps_.size(); ++k) {
      Step& s = steps_[k];
      if (s.kind != JoinKind::Right) continue;
      for (size_t i = 0; i < s.kept.size(); ++i) {
        if (s.matched[i]) continue;
        Row alone(total_);
        std::copy(s.kept[i].begin(), s.kept[i].end(), alone.begin() + long(s.first));
        if (!extend(k + 1, alone)) return;
      }
    }
  }

  std::vector<std::string> describe() const {
    std::vector<std::string> lines{"table '" + plan_.sources[0].def->name + "': " + describeTableRead(conditions_, 0)};
    if (swapped_) lines.back() += ", kept in memory (the smaller side)";
    for (size_t k = 0; k < steps_.size(); ++k) {
      const Step& s = steps_[k];
      const TableDef& full = *plan_.sources[k + 1].def;
      std::string line = "table '" + full.name + "': ";
      if (k == 0 && swapped_) {
        line += describeTableRead(conditions_, 1) + ", every pair tried";
      } else if (s.probeIndex) {
        line += "lookup per row through " + describeIndex(full, *s.probeIndex);
        if (conditions_.tableFilters[k + 1]) line += ", own conditions first";
      } else {
        line += describeTableRead(conditions_, k + 1) + ", kept in memory, " +
                (s.hashed ? "matched by hash" : "every pair tried");
      }
      if (plan_.joins[k].kind == JoinKind::Cross && s.kind == JoinKind::Inner) line += ", joined on WHERE terms";
      lines.push_back(std::move(line));
    }
    return lines;
  }

 private:
  std::unique_ptr<FilteredTableRows> openTable(size_t t) const {
    return std::make_unique<FilteredTableRows>(plan_, t, conditions_.tableFilters[t].get(), conditions_.tablePaths[t]);
  }

  // An index of step k's table that leads with the column `added` reads.
  std::optional<size_t> indexFor(size_t k, const Expr& added) const {
    const TableDef& narrow = *plan_.scanSources[k + 1].def;
    const TableDef& full = *plan_.sources[k + 1].def;
    const ColumnDef& column = narrow.columns.at(size_t(added.columnIndex) - steps_[k].first);
    for (size_t i = 0; i < full.columns.size(); ++i)
      if (full.columns[i].number == column.number) return findIndexLeadingWith(full, {i});
    return std::nullopt;
  }

  // Joins the rows of step k's table to `row` (tables before it filled in)
  // and passes each result on; false once the visitor wants no more.
  bool extend(size_t k, Row& row) {
    if (k == steps_.size()) return (*visit_)(row);
    Step& s = steps_[k];
    bool matched = false;
    auto consider = [&](const Row& added, size_t keptIndex) {
      std::copy(added.begin(), added.end(), row.begin() + long(s.keptFirst));
      if (s.onReadsLater) std::fill(row.begin() + long(s.end), row.end(), Value{});
      if (s.on && !evaluator_.isTrue(*s.on, row)) return true;
      matched = true;
      if (keptIndex != kNoRow && !s.matched.empty()) s.matched[keptIndex] = true;
      return extend(k + 1, row);
    };
    auto everyKeptRow = [&] {
      for (size_t i = 0; s.kept.has(i); ++i)
        if (!consider(s.kept[i], i)) return false;
      return true;
    };
    bool more = true;
    if (s.probeIndex) {
      more = lookUp(k, row, consider, everyKeptRow);
    } else if (s.hashed) {
      const Value key = evaluator_.evaluate(*s.key->earlier, row);
      buildHash(s);
      const int kind = keyKind(key);
      if (kind != kNoKeys && (s.keptKinds == kMixedKeys || (s.keptKinds != kNoKeys && s.keptKinds != kind))) {
        more = everyKeptRow();
      } else if (auto h = hashKey(key)) {
        if (auto found = s.byKey.find(*h); found != s.byKey.end())
          for (size_t i : found->second)
            if (!(more = consider(s.kept[i], i))) break;
      }
    } else {
      more = everyKeptRow();
    }
    if (!more) return false;
    if (!matched && s.kind == JoinKind::Left) {
      std::fill(row.begin() + long(s.first), row.begin() + long(s.end), Value{});
      return extend(k + 1, row);
    }
    return true;
  }

  // The rows of step k's table whose index key equals `row`'s, in storage
  // order; every kept row when the key has no index form.
  template <typename Consider, typename Everything>
  bool lookUp(size_t k, const Row& row, Consider& consider, Everything& everything) {
    Step& s = steps_[k];
    const Value key = evaluator_.evaluate(*s.key->earlier, row);
    if (isNull(key)) return true;
    const TableDef& full = *plan_.sources[k + 1].def;
    std::vector<uint32_t> locations;
    const bool seekable = visitIndexMatches(plan_.db->pages(), full, *s.probeIndex, {key}, [&](uint32_t at) {
      locations.push_back(at);
      return true;
    });
    if (!seekable) return everything();
    std::sort(locations.begin(), locations.end());
    const Expr* own = conditions_.tableFilters[k + 1].get();
    Row added;
    for (uint32_t at : locations) {
      if (!s.reader->read(at, added) || (own && !evaluator_.isTrue(*own, added))) continue;
      if (!consider(added, kNoRow)) return false;
    }
    return true;
  }

  void buildHash(Step& s) {
    if (s.hashBuilt) return;
    s.hashBuilt = true;
    s.kept.readAll();
    for (size_t i = 0; i < s.kept.size(); ++i) {
      const Value key = evaluator_.evaluate(*s.keptKey, s.kept[i]);
      s.keptKinds |= keyKind(key);
      if (auto h = hashKey(key)) s.byKey[*h].push_back(i);
    }
  }

  const SelectPlan& plan_;
  JoinConditions conditions_;
  std::vector<Step> steps_;
  size_t total_ = 0;
  bool swapped_ = false;  // the first step keeps the first table and reads the second once
  const std::function<bool(const Row&)>* visit_ = nullptr;
  ExpressionEvaluator evaluator_;
};

}  // namespace

void forEachJoinedRow(const SelectPlan& plan, const std::function<bool(const std::vector<Value>&)>& visit) {
  Joiner(plan).run(visit);
}

std::vector<std::string> explainJoin(const SelectPlan& plan) { return Joiner(plan).describe(); }

}  // namespace kevra::sql
