// Equality seeks on leading index columns.
#include "engine/table/index_lookup.h"

#include "engine/expr/value_coercion.h"
#include "engine/expr/value_compare.h"
#include "engine/index/index_cursor.h"
#include "engine/index/index_key_bounds.h"
#include "engine/storage/page_file.h"
#include "engine/util/error.h"

namespace kevra {

std::optional<size_t> findIndexLeadingWith(const TableDef& table, const std::vector<size_t>& positions) {
  std::optional<size_t> best;
  for (size_t i = 0; i < table.realIndexes.size(); ++i) {
    const RealIndexDef& index = table.realIndexes[i];
    if (index.columns.size() < positions.size()) continue;
    bool leads = true;
    for (size_t k = 0; k < positions.size() && leads; ++k)
      leads = positions[k] < table.columns.size() && index.columns[k].columnNumber == table.columns[positions[k]].number;
    if (leads && (!best || index.columns.size() < table.realIndexes[*best].columns.size())) best = i;
  }
  return best;
}

std::string describeIndex(const TableDef& table, size_t realIndex) {
  std::string name;
  for (const auto& logical : table.logicalIndexes)
    if (logical.realIndex == realIndex && (name.empty() || logical.kind == IndexKind::PrimaryKey)) name = logical.name;
  if (name.empty()) name = "#" + std::to_string(realIndex);
  return "index '" + name + "' of table '" + table.name + "'";
}

std::optional<IndexKeyPrefix> equalityPrefix(const TableDef& table, size_t realIndex, const std::vector<Value>& values) {
  const RealIndexDef& index = table.realIndexes.at(realIndex);
  IndexKeyPrefix prefix;
  for (size_t k = 0; k < values.size(); ++k) {
    if (k >= index.columns.size()) return std::nullopt;
    const ColumnDef* column = table.columnByNumber(index.columns[k].columnNumber);
    if (!column) return std::nullopt;
    // Text compared with a number compares as a number: no text key stands for that.
    const bool textColumn = column->type == ColumnType::Text || column->type == ColumnType::Memo;
    if (textColumn && !isNull(values[k]) && !std::holds_alternative<std::string>(values[k])) return std::nullopt;
    try {
      const Value key = expr::coerceToColumn(values[k], *column);
      if (isNull(key) != isNull(values[k])) return std::nullopt;
      if (!isNull(key) && !textColumn) {
        auto same = expr::compareValues(values[k], key);
        if (!same || *same != 0) return std::nullopt;
      }
      if (column->type == ColumnType::Boolean || column->type == ColumnType::Binary) return std::nullopt;
      // Zero and negative zero are equal but have keys of their own.
      if (auto* d = std::get_if<double>(&key); d && *d == 0) return std::nullopt;
      if (auto* f = std::get_if<float>(&key); f && *f == 0) return std::nullopt;
      if (auto* m = std::get_if<Decimal>(&key); m && m->magnitude == 0) return std::nullopt;
      if (!appendEqualityBound(*column, key, index.columns[k].ascending, prefix.bytes)) {
        prefix.exact = false;
        break;
      }
    } catch (const EngineError&) {
      return std::nullopt;
    }
  }
  return prefix;
}

bool visitIndexMatches(const PageFile& file, const TableDef& table, size_t realIndex,
                       const std::vector<Value>& values, const std::function<bool(uint32_t location)>& visit) {
  const auto prefix = equalityPrefix(table, realIndex, values);
  if (!prefix) return false;
  IndexCursor cursor(file, table.realIndexes[realIndex], describeIndex(table, realIndex));
  cursor.seek(prefix->bytes);
  IndexEntry entry;
  while (cursor.next(entry)) {
    const Bytes& key = entry.key;
    if (key.size() < prefix->bytes.size() || !std::equal(prefix->bytes.begin(), prefix->bytes.end(), key.begin())) break;
    if (!visit(entry.rowLocation())) break;
  }
  return true;
}

}  // namespace kevra
