// ReferentialIntegrity: the rules of enforced relationships for one row
// change. A row that holds a foreign key needs a matching row in the
// referenced table; a referenced row cannot go away, or change its key, while
// rows refer to it — unless the relationship cascades, in which case the
// referring rows are deleted or updated with it. Related rows are found
// through an index on the relationship's fields (Access gives both sides
// one); only a table without such an index is scanned.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/catalog/catalog_object.h"
#include "engine/format/table_def.h"
#include "engine/format/value.h"
#include "engine/util/bytes.h"

namespace kevra {

class Database;

class ReferentialIntegrity {
 public:
  using RowVisitor = std::function<void(const TableDef& table, uint32_t location, const std::vector<Value>& row)>;

  // Reads the entries of one index of `table` whose keys start with
  // `prefix`, passing each row location to `visit` until it returns false. A
  // writer passes one that reads through the index pages it holds; without
  // one the pages are read from the file.
  using IndexScan = std::function<void(const TableDef& table, size_t realIndex, ByteSpan prefix,
                                       const std::function<bool(uint32_t location)>& visit)>;

  explicit ReferentialIntegrity(Database& db, IndexScan scan = {}) : db_(db), scan_(std::move(scan)) {}

  // Throws EngineError when `row` of `table` refers to no existing row.
  void checkParentsExist(const TableDef& table, const std::vector<Value>& row) const;

  // For a row of `table` about to be deleted (newRow null) or changed to
  // `*newRow`: rows of other tables referring to `oldRow` through an enforced
  // relationship whose key changes. Throws when the relationship does not
  // cascade; otherwise calls `cascadeDelete` or `cascadeUpdate` (with the new
  // values for the referring row) for each such row. A delete calls
  // `cascadeUpdate` too, with the key emptied, where the relationship sets
  // the children's key to NULL.
  void handleChildren(const TableDef& table, const std::vector<Value>& oldRow, const std::vector<Value>* newRow,
                      const RowVisitor& cascadeDelete, const RowVisitor& cascadeUpdate) const;

  // How a change to a row of `table` finds related rows, one line per
  // enforced relationship: the parents it needs (inserts, updates) and the
  // rows that refer to it (updates, deletes), each through an index or by a scan.
  std::vector<std::string> describeLookups(const TableDef& table, bool parents, bool children) const;

 private:
  // Rows of `table` whose fields at `columns` equal `key[keyColumns]`, in
  // storage order (only the first with `firstOnly`).
  void visitRowsWithKey(const std::shared_ptr<const TableDef>& table, const std::vector<size_t>& columns,
                        const std::vector<Value>& key, const std::vector<size_t>& keyColumns,
                        const RowVisitor& visit, bool firstOnly) const;

  Database& db_;
  IndexScan scan_;
};

}  // namespace kevra
