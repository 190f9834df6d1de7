// ReferentialIntegrity: the rules of enforced relationships for one row
// change. A row that holds a foreign key needs a matching row in the
// referenced table; a referenced row cannot go away, or change its key, while
// rows refer to it — unless the relationship cascades, in which case the
// referring rows are deleted or updated with it.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/catalog/catalog_object.h"
#include "engine/format/table_def.h"
#include "engine/format/value.h"

namespace kevra {

class Database;

class ReferentialIntegrity {
 public:
  using RowVisitor = std::function<void(const TableDef& table, uint32_t location, const std::vector<Value>& row)>;

  explicit ReferentialIntegrity(Database& db) : db_(db) {}

  // Throws EngineError when `row` of `table` refers to no existing row.
  void checkParentsExist(const TableDef& table, const std::vector<Value>& row) const;

  // For a row of `table` about to be deleted (newRow null) or changed to
  // `*newRow`: rows of other tables referring to `oldRow` through an enforced
  // relationship whose key changes. Throws when the relationship does not
  // cascade; otherwise calls `cascadeDelete` or `cascadeUpdate` (with the new
  // values for the referring row) for each such row.
  void handleChildren(const TableDef& table, const std::vector<Value>& oldRow, const std::vector<Value>* newRow,
                      const RowVisitor& cascadeDelete, const RowVisitor& cascadeUpdate) const;

 private:
  Database& db_;
};

}  // namespace kevra
