// Relationship checks through the related table's index: keys compare the
// way Jet compares values (text without regard to case).
#include "engine/table/referential_integrity.h"

#include <algorithm>

#include "engine/table/database.h"
#include "engine/index/index_cursor.h"
#include "engine/table/index_lookup.h"
#include "engine/table/row_reader.h"
#include "engine/table/table_cursor.h"
#include "engine/expr/value_compare.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

std::vector<size_t> positions(const TableDef& table, const Relationship& r, bool referencing) {
  std::vector<size_t> out;
  for (const auto& c : r.columns) {
    const std::string& name = referencing ? c.column : c.referencedColumn;
    size_t i = 0;
    while (i < table.columns.size() && !namesEqualCaseInsensitive(table.columns[i].name, name)) ++i;
    if (i == table.columns.size())
      throw CorruptFileError("Corrupt file: relationship '" + r.name + "' names field '" + name +
                             "', which table '" + table.name + "' does not have.");
    out.push_back(i);
  }
  return out;
}

bool anyNull(const std::vector<Value>& row, const std::vector<size_t>& cols) {
  for (size_t c : cols)
    if (isNull(row[c])) return true;
  return false;
}

bool keysEqual(const std::vector<Value>& a, const std::vector<size_t>& ca, const std::vector<Value>& b,
               const std::vector<size_t>& cb) {
  for (size_t i = 0; i < ca.size(); ++i) {
    auto cmp = expr::compareValues(a[ca[i]], b[cb[i]]);
    if (!cmp || *cmp != 0) return false;
  }
  return true;
}

std::string columnList(const Relationship& r) {
  std::string s;
  for (const auto& c : r.columns) s += (s.empty() ? "" : ", ") + c.column + " -> " + c.referencedColumn;
  return s;
}

}  // namespace

void ReferentialIntegrity::visitRowsWithKey(const std::shared_ptr<const TableDef>& table,
                                            const std::vector<size_t>& columns, const std::vector<Value>& key,
                                            const std::vector<size_t>& keyColumns, const RowVisitor& visit,
                                            bool firstOnly) const {
  std::vector<Value> candidate;
  if (auto index = findIndexLeadingWith(*table, columns)) {
    std::vector<Value> values;
    for (size_t c : keyColumns) values.push_back(key[c]);
    if (auto prefix = equalityPrefix(*table, *index, values)) {
      std::vector<uint32_t> locations;
      auto collect = [&](uint32_t location) {
        locations.push_back(location);
        return !(firstOnly && prefix->exact);
      };
      if (scan_) {
        scan_(*table, *index, prefix->bytes, collect);
      } else {
        IndexCursor cursor(db_.pages(), table->realIndexes[*index], describeIndex(*table, *index));
        cursor.seek(prefix->bytes);
        IndexEntry entry;
        while (cursor.next(entry) && entry.key.size() >= prefix->bytes.size() &&
               std::equal(prefix->bytes.begin(), prefix->bytes.end(), entry.key.begin()))
          if (!collect(entry.rowLocation())) break;
      }
      // An exact key names only matching rows: a parent check needs no row.
      if (firstOnly && prefix->exact) {
        if (!locations.empty()) visit(*table, locations.front(), candidate);
        return;
      }
      std::sort(locations.begin(), locations.end());
      RowReader reader(db_.pages(), table);
      for (uint32_t location : locations) {
        if (!reader.read(location, candidate) || !keysEqual(key, keyColumns, candidate, columns)) continue;
        visit(*table, location, candidate);
        if (firstOnly) return;
      }
      return;
    }
  }
  auto cursor = db_.openCursor(table);
  while (cursor->next(candidate)) {
    if (!keysEqual(key, keyColumns, candidate, columns)) continue;
    visit(*table, cursor->lastLocation(), candidate);
    if (firstOnly) return;
  }
}

std::vector<std::string> ReferentialIntegrity::describeLookups(const TableDef& table, bool parents, bool children) const {
  std::vector<std::string> lines;
  for (const Relationship& r : db_.relationships()) {
    if (!r.enforced()) continue;
    const bool child = namesEqualCaseInsensitive(r.table, table.name);
    const bool parent = namesEqualCaseInsensitive(r.referencedTable, table.name);
    auto describe = [&](const std::string& otherName, bool otherIsParent) {
      auto other = db_.table(otherName);
      auto columns = positions(*other, r, !otherIsParent);
      auto index = findIndexLeadingWith(*other, columns);
      lines.push_back("relationship '" + r.name + "': " + (otherIsParent ? "parent in " : "related rows in ") +
                      (index ? describeIndex(*other, *index) : "table '" + other->name + "', by a scan"));
    };
    if (parents && child) describe(r.referencedTable, true);
    if (children && parent) describe(r.table, false);
  }
  return lines;
}

void ReferentialIntegrity::checkParentsExist(const TableDef& table, const std::vector<Value>& row) const {
  for (const Relationship& r : db_.relationships()) {
    if (!r.enforced() || !namesEqualCaseInsensitive(r.table, table.name)) continue;
    auto childCols = positions(table, r, true);
    if (anyNull(row, childCols)) continue;  // a missing key refers to nothing
    auto parent = db_.table(r.referencedTable);
    auto parentCols = positions(*parent, r, false);
    bool found = false;
    visitRowsWithKey(parent, parentCols, row, childCols, [&](const TableDef&, uint32_t, const std::vector<Value>&) {
      found = true;
    }, true);
    if (!found)
      throw EngineError("The row in table '" + table.name + "' needs a matching row in table '" + r.referencedTable +
                        "' (relationship '" + r.name + "': " + columnList(r) + ").");
  }
}

void ReferentialIntegrity::handleChildren(const TableDef& table, const std::vector<Value>& oldRow,
                                          const std::vector<Value>* newRow, const RowVisitor& cascadeDelete,
                                          const RowVisitor& cascadeUpdate) const {
  for (const Relationship& r : db_.relationships()) {
    if (!r.enforced() || !namesEqualCaseInsensitive(r.referencedTable, table.name)) continue;
    auto parentCols = positions(table, r, false);
    if (anyNull(oldRow, parentCols)) continue;
    if (newRow && keysEqual(oldRow, parentCols, *newRow, parentCols)) continue;  // key unchanged
    auto child = db_.table(r.table);
    auto childCols = positions(*child, r, true);
    // Collect first: cascading changes the child table while we look.
    std::vector<std::pair<uint32_t, std::vector<Value>>> children;
    visitRowsWithKey(child, childCols, oldRow, parentCols,
                     [&](const TableDef&, uint32_t location, const std::vector<Value>& values) {
                       children.emplace_back(location, values);
                     }, false);
    if (children.empty()) continue;
    const bool emptiesKeys = !newRow && r.cascadeNull() && !r.cascadeDeletes();
    bool cascades = newRow ? r.cascadeUpdates() : r.cascadeDeletes() || emptiesKeys;
    if (!cascades)
      throw EngineError(std::string("The row in table '") + table.name + "' cannot be " +
                        (newRow ? "changed" : "deleted") + ": table '" + r.table + "' has " +
                        std::to_string(children.size()) + " related row" + (children.size() == 1 ? "" : "s") +
                        " (relationship '" + r.name + "').");
    for (auto& [location, values] : children) {
      if (newRow || emptiesKeys) {
        std::vector<Value> updated = values;
        for (size_t i = 0; i < childCols.size(); ++i)
          updated[childCols[i]] = newRow ? (*newRow)[parentCols[i]] : Value{};
        cascadeUpdate(*child, location, updated);
      } else {
        cascadeDelete(*child, location, values);
      }
    }
  }
}

}  // namespace kevra
