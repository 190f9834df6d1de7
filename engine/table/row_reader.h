// RowReader: decodes single rows of one table by their location (page << 8 |
// slot), as index entries name them, without reading the table's page list.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/format/row_codec.h"
#include "engine/format/table_def.h"
#include "engine/format/value.h"

namespace kevra {

class PageFile;

class RowReader {
 public:
  // `table` may be narrowed to the columns wanted (see tableWithColumns).
  RowReader(const PageFile& file, std::shared_ptr<const TableDef> table);
  // The row at `location` into `row`, an overflow row followed. False when
  // no live row of this table is there.
  bool read(uint32_t location, std::vector<Value>& row) const;
  const TableDef& table() const { return *table_; }

 private:
  const PageFile& file_;
  std::shared_ptr<const TableDef> table_;
  std::string owner_;
  RowDecoder decoder_;
};

// The row count the table's definition page stores now (inside a transaction,
// as that transaction left it), without counting rows.
uint32_t storedRowCount(const PageFile& file, const TableDef& table);

}  // namespace kevra
