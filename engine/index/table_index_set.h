// TableIndexSet: every real index of one table kept in step with its rows.
// Before a change it checks the required and unique rules (messages name the
// index and its fields); then it adds or removes one entry per index, using
// IndexKeyEncoder for the key and IndexWriter for the tree. Works inside the
// caller's open transaction.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/format/value.h"
#include "engine/index/index_key_encoder.h"
#include "engine/index/index_writer.h"

namespace kevra {

class PageFile;

class TableIndexSet {
 public:
  // Throws UnsupportedError when an index cannot be maintained (text in a
  // sort order other than General), CorruptFileError for broken definitions.
  TableIndexSet(PageFile& file, const TableDef& table);
  ~TableIndexSet();

  // Throws EngineError when `row` would leave a required index with a NULL
  // or duplicate a key in a unique index. `self` is the row's own location
  // when it is being updated (its current entries do not count).
  void checkRow(const std::vector<Value>& row, std::optional<uint32_t> self = std::nullopt) const;
  // Whether real index `realIndex` holds some row with the key of `row`
  // (a lookup through the index, not a scan).
  bool containsKeyOf(const std::vector<Value>& row, size_t realIndex = 0) const;
  // Calls `visit` with the row location of each entry of real index
  // `realIndex` whose key starts with `prefix`, in key order, until it
  // returns false (sees this set's own changes).
  void visitPrefix(size_t realIndex, ByteSpan prefix, const std::function<bool(uint32_t location)>& visit) const;
  // One entry per index for the row at `location` (page << 8 | row).
  void add(const std::vector<Value>& row, uint32_t location);
  // Removes the row's entries; throws CorruptFileError when an index lacks one.
  void remove(const std::vector<Value>& row, uint32_t location);
  // Writes the changed index pages into the transaction; call before commit.
  void flush(bool evict = false);
  // Decoded index pages held in memory.
  size_t cachedPages() const;

  // "index 'PrimaryKey' of table 'T'" (the primary key's name when shared).
  std::string indexName(size_t realIndex) const;

 private:
  std::string fieldNames(size_t realIndex) const;

  const TableDef& table_;
  std::vector<IndexKeyEncoder> encoders_;
  std::vector<IndexWriter> writers_;
};

}  // namespace kevra
