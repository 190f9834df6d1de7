// Index upkeep for row changes: rule checks, then entry insert/remove.
#include "engine/index/table_index_set.h"

#include "engine/storage/page_file.h"
#include "engine/util/error.h"

namespace kevra {

TableIndexSet::TableIndexSet(PageFile& file, const TableDef& table) : table_(table) {
  encoders_.reserve(table.realIndexes.size());
  writers_.reserve(table.realIndexes.size());
  for (size_t i = 0; i < table.realIndexes.size(); ++i) {
    encoders_.emplace_back(table, table.realIndexes[i]);
    writers_.emplace_back(file, table, table.realIndexes[i], indexName(i));
  }
}

TableIndexSet::~TableIndexSet() = default;

std::string TableIndexSet::indexName(size_t realIndex) const {
  std::string name;
  for (const auto& logical : table_.logicalIndexes)
    if (logical.realIndex == realIndex && (name.empty() || logical.kind == IndexKind::PrimaryKey))
      name = logical.name;
  if (name.empty()) name = "#" + std::to_string(realIndex);
  return "index '" + name + "' of table '" + table_.name + "'";
}

std::string TableIndexSet::fieldNames(size_t realIndex) const {
  std::string names;
  for (const auto& ref : table_.realIndexes[realIndex].columns) {
    const ColumnDef* c = table_.columnByNumber(ref.columnNumber);
    if (!names.empty()) names += ", ";
    names += "'" + (c ? c->name : std::to_string(ref.columnNumber)) + "'";
  }
  return names;
}

void TableIndexSet::checkRow(const std::vector<Value>& row, std::optional<uint32_t> self) const {
  Bytes key;
  for (size_t i = 0; i < encoders_.size(); ++i) {
    const RealIndexDef& index = table_.realIndexes[i];
    bool anyNull = encoders_[i].anyKeyColumnNull(row);
    if (index.required() && anyNull)
      throw EngineError("The field " + fieldNames(i) + " cannot be empty: " + indexName(i) +
                        " requires a value in every row.");
    // NULLs may repeat in a unique index.
    if (!index.unique() || anyNull) continue;
    encoders_[i].encode(row, key);
    if (writers_[i].containsKey(key, self))
      throw EngineError("The value in field " + fieldNames(i) + " would duplicate a row in unique " + indexName(i) +
                        ".");
  }
}

bool TableIndexSet::containsKeyOf(const std::vector<Value>& row, size_t realIndex) const {
  Bytes key;
  encoders_.at(realIndex).encode(row, key);
  return writers_.at(realIndex).containsKey(key);
}

void TableIndexSet::visitPrefix(size_t realIndex, ByteSpan prefix,
                                const std::function<bool(uint32_t location)>& visit) const {
  writers_.at(realIndex).visitPrefix(prefix, [&](ByteSpan e) {
    ByteSpan pointer = e.last(kRowPointerSize);
    return visit((readEntryPointerPage(pointer) << 8) | pointer.back());
  });
}

void TableIndexSet::add(const std::vector<Value>& row, uint32_t location) {
  Bytes key;
  for (size_t i = 0; i < encoders_.size(); ++i) {
    if (!encoders_[i].indexes(row)) continue;
    encoders_[i].encode(row, key);
    writers_[i].insert(key, location);
  }
}

void TableIndexSet::remove(const std::vector<Value>& row, uint32_t location) {
  Bytes key;
  for (size_t i = 0; i < encoders_.size(); ++i) {
    if (!encoders_[i].indexes(row)) continue;
    encoders_[i].encode(row, key);
    if (!writers_[i].remove(key, location))
      throw CorruptFileError("Corrupt file: " + indexName(i) + " has no entry for row " +
                             std::to_string(location >> 8) + ":" + std::to_string(location & 0xFF) +
                             "; run a check of the file.");
  }
}

size_t TableIndexSet::cachedPages() const {
  size_t n = 0;
  for (const auto& w : writers_) n += w.cachedPages();
  return n;
}

void TableIndexSet::flush(bool evict) {
  for (auto& w : writers_) w.flush(evict);
}

}  // namespace kevra
