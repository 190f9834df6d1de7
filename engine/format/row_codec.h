// RowDecoder: turns the bytes of one stored row into values, one per column of
// the table definition (null mask, fixed area, variable area, long values),
// in the row layout of the file's format (Jet 3 rows: jet3_row.h).
#pragma once
#include <string>
#include <vector>

#include "engine/format/jet3_row.h"
#include "engine/format/table_def.h"
#include "engine/format/value.h"
#include "engine/storage/page_file.h"

namespace kevra {

class RowDecoder {
 public:
  RowDecoder(const PageFile& file, const TableDef& table);
  // `out` is resized to the table's column count.
  void decode(ByteSpan row, std::vector<Value>& out) const;
  // Memo and OLE fields of these column numbers decode to the bytes the row
  // holds for them (the long-value header and any inline data) instead of
  // their values, so a row can be written again without copying them.
  void keepLongValuesRaw(std::vector<uint16_t> columnNumbers) { rawLongValues_ = std::move(columnNumbers); }
  // Complex columns decode to the key the row holds (as their index stores
  // it) instead of what the key stands for.
  void keepComplexKeys() { complexKeys_ = true; }

 private:
  Value decodeColumn(const ColumnDef& column, ByteSpan bytes) const;
  void decodeJet3(ByteSpan row, std::vector<Value>& out) const;
  // Where a row of either format keeps its parts.
  struct RowFrame {
    size_t columns;     // columns the null mask covers
    ByteSpan mask;      // the null mask: a set bit is a value
    size_t fixedStart;  // where fixed field offsets count from
    size_t fixedEnd;    // end of the fixed fields' room
    size_t varCount;    // variable fields the row holds
    size_t varEnd;      // end of the variable fields' room
  };
  // The fields of `row` into `out`, the variable ones bounded by
  // `varBounds(slot)`: the same for both formats.
  template <typename VarBounds>
  void decodeFields(ByteSpan row, const RowFrame& frame, VarBounds varBounds, std::vector<Value>& out) const;
  const PageFile& file_;
  size_t firstVariableColumn_;  // rows covering more columns than this have a variable area
  uint16_t jet3CodePage_ = 0;           // Jet 3: the code page of its text
  const char16_t* codePage_ = nullptr;  // Jet 3: that code page's upper half, when it is single-byte
  mutable Jet3Row jet3Row_;
  const TableDef& table_;
  std::vector<std::string> owners_;  // "column 'X' of table 'T'" for messages
  std::vector<uint16_t> rawLongValues_;
  bool complexKeys_ = false;
};

// Where a Jet 4 row keeps its null mask and its variable fields' offsets.
struct Jet4RowFrame {
  size_t columns = 0;      // columns the null mask covers
  ByteSpan mask;           // the null mask, at the row's end
  size_t varTableEnd = 0;  // first byte after the offsets and their count
  size_t varCount = 0;     // variable fields the row holds
  size_t eod = 0;          // end of the variable fields' data
};
// Throws CorruptFileError naming `table` unless the mask and offsets lie
// inside the row. `firstVariableColumn` is that of the table definition
// (firstVariableColumn() below).
Jet4RowFrame locateJet4Row(ByteSpan row, size_t firstVariableColumn, const std::string& table);

// The lowest column number of a variable-length column of `table`, or
// SIZE_MAX when it has none. A row holds a variable area (offsets and their
// count) only when its own column count goes past this number: a row written
// before the table's first variable column was added has none, and every
// column it does not cover reads as NULL.
size_t firstVariableColumn(const TableDef& table);

// A Jet 4 row without a variable area made into one with an empty one (end
// of data and a count of 0 before the null mask), into `out`. Readers that
// take the area's presence from the table's variable-column count, rather
// than from the row's own column count, read such a row right.
void addEmptyVariableArea(ByteSpan row, Bytes& out);

// Text stored in a column: UTF-16 (maybe compressed), or the single-byte
// code page of a Jet 3 column.
void decodeColumnText(const ColumnDef& column, ByteSpan bytes, std::string& out);

// Value of one column from its stored bytes (not for Boolean or long values).
Value decodeFixedWidthValue(const ColumnDef& column, ByteSpan bytes, const std::string& owner);

}  // namespace kevra
