// Choosing an index from the WHERE terms and the ORDER BY of one table.
#include "engine/sql/access_path.h"

#include <algorithm>
#include <map>
#include <set>

#include "engine/expr/aggregate_functions.h"
#include "engine/expr/expression_evaluator.h"
#include "engine/expr/expression_tools.h"
#include "engine/expr/value_coercion.h"
#include "engine/expr/value_compare.h"
#include "engine/index/index_cursor.h"
#include "engine/index/index_key_bounds.h"
#include "engine/index/index_key_encoder.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

constexpr size_t kMaxRanges = 4096;  // IN lists multiply; beyond this a scan does as well

// What the WHERE says about one column.
struct ColumnTerms {
  std::optional<std::vector<Value>> equal;  // = or IN (list)
  std::optional<Value> low, high;
  bool lowInclusive = false, highInclusive = false;
  std::optional<std::string> likeStart;
};

bool isText(const ColumnDef& c) { return c.type == ColumnType::Text || c.type == ColumnType::Memo; }

bool isConstant(const Expr& e) {
  if (e.kind == ExprKind::Column || e.kind == ExprKind::Subquery) return false;
  if (e.kind == ExprKind::Function && (e.op == "*" || isAggregateName(e.name))) return false;
  for (const auto& o : e.operands)
    if (!isConstant(*o)) return false;
  return true;
}

std::optional<Value> constantValue(const Expr& e) {
  if (!isConstant(e)) return std::nullopt;
  try {
    ExpressionEvaluator evaluator;
    return evaluator.evaluate(e, {});
  } catch (const EngineError&) {
    return std::nullopt;
  }
}

class TermCollector {
 public:
  TermCollector(const TableDef& boundTo) : boundTo_(boundTo) {}

  void collect(const Expr& e) {
    if (e.kind == ExprKind::Binary && e.op == "AND") {
      collect(*e.operands[0]);
      collect(*e.operands[1]);
      return;
    }
    if (e.negated) return;
    if (e.kind == ExprKind::Binary && e.operands.size() == 2) {
      static const std::set<std::string> comparisons = {"=", "<", "<=", ">", ">="};
      if (!comparisons.count(e.op)) return;
      std::string op = e.op;
      const Expr* column = e.operands[0].get();
      const Expr* other = e.operands[1].get();
      if (column->kind != ExprKind::Column) {
        std::swap(column, other);
        static const std::map<std::string, std::string> flipped = {{"<", ">"}, {"<=", ">="}, {">", "<"}, {">=", "<="}};
        if (auto f = flipped.find(op); f != flipped.end()) op = f->second;
      }
      auto* terms = termsOf(*column);
      auto value = constantValue(*other);
      if (!terms || !value || isNull(*value)) return;
      if (op == "=") {
        if (!terms->equal) terms->equal = std::vector<Value>{*value};
      } else if (op[0] == '<') {
        if (!terms->high) terms->high = *value, terms->highInclusive = op == "<=";
      } else if (!terms->low) {
        terms->low = *value, terms->lowInclusive = op == ">=";
      }
    } else if (e.kind == ExprKind::Between && e.operands.size() == 3) {
      auto* terms = termsOf(*e.operands[0]);
      auto low = constantValue(*e.operands[1]);
      auto high = constantValue(*e.operands[2]);
      if (!terms || !low || !high || isNull(*low) || isNull(*high)) return;
      if (!terms->low) terms->low = *low, terms->lowInclusive = true;
      if (!terms->high) terms->high = *high, terms->highInclusive = true;
    } else if (e.kind == ExprKind::In && e.operands.size() >= 2) {
      auto* terms = termsOf(*e.operands[0]);
      if (!terms || terms->equal) return;
      std::vector<Value> values;
      for (size_t i = 1; i < e.operands.size(); ++i) {
        auto v = constantValue(*e.operands[i]);
        if (!v) return;
        if (!isNull(*v)) values.push_back(std::move(*v));  // NULL in a list matches nothing
      }
      terms->equal = std::move(values);
    } else if (e.kind == ExprKind::Like && e.operands.size() == 2) {
      auto* terms = termsOf(*e.operands[0]);
      auto pattern = constantValue(*e.operands[1]);
      if (!terms || !pattern) return;
      const std::string* text = std::get_if<std::string>(&*pattern);
      if (!text) return;
      const size_t wildcard = text->find_first_of("*?#[");
      std::string start = text->substr(0, wildcard);
      if (!start.empty() && !terms->likeStart) terms->likeStart = start;
    }
  }

  std::map<uint16_t, ColumnTerms> byColumn;  // by column number

 private:
  ColumnTerms* termsOf(const Expr& e) {
    if (e.kind != ExprKind::Column || e.columnIndex < 0 || size_t(e.columnIndex) >= boundTo_.columns.size())
      return nullptr;
    return &byColumn[boundTo_.columns[size_t(e.columnIndex)].number];
  }
  const TableDef& boundTo_;
};

// `value` as the column stores it, when that is exact; text columns take
// only text (text compared with a number compares as a number).
std::optional<Value> asKeyValue(const Value& value, const ColumnDef& column) {
  if (isText(column) && !std::holds_alternative<std::string>(value)) return std::nullopt;
  try {
    Value v = expr::coerceToColumn(value, column);
    if (isNull(v)) return std::nullopt;
    if (!isText(column)) {
      auto same = expr::compareValues(value, v);
      if (!same || *same != 0) return std::nullopt;
    }
    return v;
  } catch (const EngineError&) {
    return std::nullopt;
  }
}

// Zero of a type that also stores a negative zero (which queries call equal
// to zero but which has a key of its own, just below zero's).
bool isSignedZero(const Value& v) {
  if (auto* f = std::get_if<float>(&v)) return *f == 0;
  if (auto* d = std::get_if<double>(&v)) return *d == 0;
  if (auto* m = std::get_if<Decimal>(&v)) return m->magnitude == 0;
  return false;
}

Value negativeZeroLike(const Value& v) {
  if (std::holds_alternative<float>(v)) return -0.0f;
  if (std::holds_alternative<double>(v)) return -0.0;
  Decimal d = std::get<Decimal>(v);
  d.negative = true;
  return d;
}

struct Candidate {
  AccessPath path;
  int score = 0;
  size_t equalities = 0;
};

std::string logicalName(const TableDef& table, size_t realIndex) {
  std::string name;
  for (const auto& logical : table.logicalIndexes)
    if (logical.realIndex == realIndex && (name.empty() || logical.kind == IndexKind::PrimaryKey)) name = logical.name;
  return name.empty() ? "#" + std::to_string(realIndex) : name;
}

void sortAndMerge(std::vector<KeyRange>& ranges) {
  std::sort(ranges.begin(), ranges.end(), [](const KeyRange& a, const KeyRange& b) { return a.start < b.start; });
  std::vector<KeyRange> merged;
  for (KeyRange& r : ranges) {
    if (!merged.empty()) {
      KeyRange& last = merged.back();
      if (last.end.empty() || !(last.end < r.start)) {  // overlapping or touching
        if (!last.end.empty() && (r.end.empty() || last.end < r.end)) last.end = r.end;
        continue;
      }
    }
    merged.push_back(std::move(r));
  }
  ranges = std::move(merged);
}

// The ranges of real index `i` the terms allow; nullopt when they name none of its leading columns.
std::optional<Candidate> rangesFor(const TableDef& table, size_t i, const std::map<uint16_t, ColumnTerms>& terms) {
  const RealIndexDef& index = table.realIndexes[i];
  std::vector<Bytes> prefixes(1);
  Candidate c;
  bool prefixOnly = true;  // every range is [prefix, successor(prefix))
  std::vector<KeyRange> ranges;
  for (size_t k = 0; k < index.columns.size(); ++k) {
    const ColumnDef* column = table.columnByNumber(index.columns[k].columnNumber);
    auto t = column ? terms.find(column->number) : terms.end();
    if (t == terms.end()) break;
    ColumnTerms ct = t->second;
    if (ct.equal && ct.equal->size() == 1) {
      // Equal to zero: both zeros, as the range from -0 to +0.
      auto key = asKeyValue(ct.equal->front(), *column);
      if (key && isSignedZero(*key)) {
        ct.low = ct.high = ct.equal->front();
        ct.lowInclusive = ct.highInclusive = true;
        ct.equal.reset();
      }
    }
    const bool ascending = index.columns[k].ascending;
    // A complex column's cell reads as the values it stands for, while its
    // index holds their key: such an index cannot answer a condition on it.
    if (column->type == ColumnType::Complex) break;
    if (ct.equal && column->type != ColumnType::Boolean && column->type != ColumnType::Binary &&
        column->type != ColumnType::Guid) {
      std::vector<Value> keys;
      for (const Value& v : *ct.equal) {
        auto key = asKeyValue(v, *column);
        if (!key || isSignedZero(*key)) {
          keys.clear();
          break;
        }
        keys.push_back(std::move(*key));
      }
      if (!keys.empty() || ct.equal->empty()) {
        if (prefixes.size() * keys.size() > kMaxRanges) break;
        std::vector<Bytes> extended;
        bool exact = true;
        for (const Bytes& p : prefixes)
          for (const Value& key : keys) {
            Bytes e = p;
            exact = appendEqualityBound(*column, key, ascending, e) && exact;
            extended.push_back(std::move(e));
          }
        prefixes = std::move(extended);
        ++c.equalities;
        c.path.conditions += (c.path.conditions.empty() ? "" : ", ") + column->name + (ct.equal->size() == 1 ? " =" : " IN");
        if (!exact) break;
        continue;
      }
    }
    if ((ct.low || ct.high) && keyOrderIsValueOrder(*column)) {
      std::optional<Value> low = ct.low ? asKeyValue(*ct.low, *column) : std::nullopt;
      if (low && isSignedZero(*low)) low = negativeZeroLike(*low);  // keeps -0 inside the range
      std::optional<Value> high = ct.high ? asKeyValue(*ct.high, *column) : std::nullopt;
      if (low || high) {
        // A descending column stores the high end first.
        std::optional<Value> first = ascending ? low : high, last = ascending ? high : low;
        const bool firstInclusive = ascending ? ct.lowInclusive : ct.highInclusive;
        const bool lastInclusive = ascending ? ct.highInclusive : ct.lowInclusive;
        for (const Bytes& p : prefixes) {
          KeyRange r;
          if (first) {
            Bytes b = p;
            appendKeySegment(*column, *first, ascending, b);
            r.start = firstInclusive ? b : prefixSuccessor(b);
          } else {
            r.start = p;
          }
          if (last) {
            Bytes b = p;
            appendKeySegment(*column, *last, ascending, b);
            r.end = lastInclusive ? prefixSuccessor(b) : b;
          } else {
            r.end = prefixSuccessor(p);
          }
          ranges.push_back(std::move(r));
        }
        prefixOnly = false;
        c.score += 2;
        c.path.conditions += (c.path.conditions.empty() ? "" : ", ") + column->name + " range";
        break;
      }
    }
    if (ct.likeStart && isText(*column)) {
      for (Bytes& p : prefixes) appendTextStartBound(*column, *ct.likeStart, ascending, p);
      c.score += 2;
      c.path.conditions += (c.path.conditions.empty() ? "" : ", ") + column->name + " LIKE";
    }
    break;
  }
  if (c.path.conditions.empty()) return std::nullopt;
  if (prefixOnly)
    for (const Bytes& p : prefixes) ranges.push_back({p, prefixSuccessor(p)});
  sortAndMerge(ranges);
  c.score += int(c.equalities) * 4;
  if (index.unique() && c.equalities == index.columns.size()) c.score += 8;
  c.path.realIndex = i;
  c.path.indexName = logicalName(table, i);
  c.path.ranges = std::move(ranges);
  return c;
}

// Whether reading real index `i` whole gives the rows in ORDER BY order,
// ties in storage order as a stable sort leaves them.
bool givesOrder(const TableDef& table, const TableDef& boundTo, size_t i, const std::vector<OrderItem>& orderBy) {
  const RealIndexDef& index = table.realIndexes[i];
  if (orderBy.empty() || orderBy.size() != index.columns.size() || index.ignoreNulls()) return false;
  for (size_t k = 0; k < orderBy.size(); ++k) {
    const Expr& e = *orderBy[k].expr;
    if (e.kind != ExprKind::Column || e.columnIndex < 0 || size_t(e.columnIndex) >= boundTo.columns.size())
      return false;
    const ColumnDef& column = boundTo.columns[size_t(e.columnIndex)];
    if (column.number != index.columns[k].columnNumber || orderBy[k].descending == index.columns[k].ascending)
      return false;
    if (!keyOrderIsValueOrder(column) && !isText(column)) return false;
    // Results are sorted in the legacy General order; an index in the
    // Access 2010 order has the same texts in another order.
    if (isText(column) && column.sortVersion != 0) return false;
    try {
      Bytes probe;
      appendKeySegment(column, Value{}, true, probe);
      if (isText(column)) appendKeySegment(column, std::string(), true, probe);  // refuses other sort orders
    } catch (const EngineError&) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<AccessPath> chooseAccessPath(const TableDef& table, const TableDef& boundTo, const Expr* where,
                                           const std::vector<OrderItem>& orderBy) {
  TermCollector collector(boundTo);
  if (where) collector.collect(*where);
  std::optional<Candidate> best;
  for (size_t i = 0; i < table.realIndexes.size(); ++i) {
    std::optional<Candidate> c;
    try {
      c = rangesFor(table, i, collector.byColumn);
    } catch (const EngineError&) {
      continue;  // keys of this index cannot be built (another text sort order)
    }
    if (c && (!best || c->score > best->score ||
              (c->score == best->score &&
               table.realIndexes[i].columns.size() < table.realIndexes[best->path.realIndex].columns.size())))
      best = std::move(c);
  }
  std::optional<size_t> ordered;
  for (size_t i = 0; i < table.realIndexes.size() && !ordered; ++i)
    if (givesOrder(table, boundTo, i, orderBy)) ordered = i;
  if (best && ordered && best->path.realIndex == *ordered) {
    best->path.givesOrder = true;
    return best->path;
  }
  // Without statistics a WHERE that names an index is taken to be selective:
  // its rows are read and sorted rather than the whole ordering index walked.
  if (best) return best->path;
  if (ordered) {
    AccessPath path;
    path.realIndex = *ordered;
    path.indexName = logicalName(table, *ordered);
    path.ranges.push_back({});
    path.givesOrder = true;
    return path;
  }
  return std::nullopt;
}

std::string describeAccessPath(const AccessPath& path) {
  std::string s = "index '" + path.indexName + "'";
  if (!path.conditions.empty()) s += " (" + path.conditions + ")";
  if (path.givesOrder) s += ", in order";
  return s;
}

}  // namespace kevra::sql
