// TableCursor: reading one table's rows in storage order.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/format/value.h"

namespace kevra {

class Database;

// Reads a table's live rows in storage order (owned data pages ascending, slots
// in order, overflow rows followed). Keeps one checkpoint per data page so any
// row position can be reached again without reading the whole table.
class TableCursor {
 public:
  TableCursor(std::shared_ptr<const Database> db, std::shared_ptr<const TableDef> table);
  ~TableCursor();
  const TableDef& table() const { return *table_; }
  // Next row in storage order; false at the end. `row` gets one value per
  // column of table().columns.
  bool next(std::vector<Value>& row);
  // Location (page << 8 | slot) of the row last returned by next().
  uint32_t lastLocation() const { return lastLocation_; }
  // Moves so that the following next() returns the row at `position`
  // (0-based); returns false when the table has fewer rows.
  bool seek(uint64_t position);
  uint64_t position() const { return position_; }
  // Counts the rows by walking every data page (decoding nothing).
  uint64_t countRows();
  // A writer added (+1), rewrote (0) or removed (-1) the row at `location`
  // after this cursor began. Adjusts what the cursor knows of the table's
  // pages instead of counting them again, and returns the row's position (for
  // a removed row, the one it had). The next read seeks afresh.
  uint64_t followRowChange(uint32_t location, int liveRows);
  // Memo and OLE fields of these column numbers come back as the bytes the
  // row holds for them, not their values (see RowDecoder).
  void keepLongValuesRaw(std::vector<uint16_t> columnNumbers);
  // Complex columns come back as their keys (see RowDecoder).
  void keepComplexKeys();

 private:
  struct Impl;
  std::shared_ptr<const Database> db_;
  std::shared_ptr<const TableDef> table_;
  std::unique_ptr<Impl> impl_;
  uint64_t position_ = 0;
  uint32_t lastLocation_ = 0;
};

}  // namespace kevra
