// Lookups on a table definition.
#include "engine/format/table_def.h"

#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {

const ColumnDef* TableDef::findColumn(std::string_view wanted) const {
  for (const auto& c : columns)
    if (namesEqualCaseInsensitive(c.name, wanted)) return &c;
  return nullptr;
}

const ColumnDef* TableDef::columnByNumber(uint16_t number) const {
  for (const auto& c : columns)
    if (c.number == number) return &c;
  return nullptr;
}

const ColumnDef& TableDef::indexedColumn(uint16_t number) const {
  if (const ColumnDef* c = columnByNumber(number)) return *c;
  throw CorruptFileError("Corrupt file: an index of table '" + name + "' refers to column number " +
                         std::to_string(number) + ", which the table does not have.");
}

size_t TableDef::fixedAreaSize() const {
  size_t size = 0;
  for (const auto& c : columns)
    if (c.isFixed() && c.type != ColumnType::Boolean) size = std::max<size_t>(size, size_t(c.fixedOffset) + c.length);
  return size;
}

}  // namespace kevra
