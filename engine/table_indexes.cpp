// Index upkeep for one table's row changes.
#include "engine/table_indexes.h"

#include "engine/index/index_key_encoder.h"
#include "engine/storage/page_file.h"
#include "engine/util/error.h"

namespace kevra {

TableIndexes::TableIndexes(PageFile& file, const TableDef& table) : file_(file), table_(table) {
  for (const auto& ri : table.realIndexes) encoders_.push_back(std::make_unique<IndexKeyEncoder>(table, ri));
}

TableIndexes::~TableIndexes() = default;

std::string TableIndexes::nameOf(size_t realIndex) const {
  std::string name;
  for (const auto& li : table_.logicalIndexes)
    if (li.realIndex == realIndex && (name.empty() || li.kind == IndexKind::PrimaryKey)) name = li.name;
  return name.empty() ? "#" + std::to_string(realIndex) : name;
}

void TableIndexes::checkInsert(const std::vector<Value>& row, uint32_t) {
  if (!table_.realIndexes.empty())
    throw UnsupportedError("Changing rows of table '" + table_.name + "' is not supported yet: it has indexes (" +
                           nameOf(0) + ").");
  (void)row;
}

void TableIndexes::add(const std::vector<Value>&, uint32_t) {}
void TableIndexes::remove(const std::vector<Value>&, uint32_t) {}

}  // namespace kevra
