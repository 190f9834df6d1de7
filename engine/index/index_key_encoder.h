// IndexKeyEncoder: the key bytes a real index stores for one row: one segment
// per index column (marker byte, then the value in an order-preserving form),
// text in the General sort order. Leaf entries append the row pointer.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/format/value.h"
#include "engine/util/bytes.h"

namespace kevra {

// Segment markers.
constexpr uint8_t kKeyAscending = 0x7F;
constexpr uint8_t kKeyDescending = 0x80;
constexpr uint8_t kKeyNullAscending = 0x00;
constexpr uint8_t kKeyNullDescending = 0xFF;

// Whether keys of Jet 4 text in sort order `sortOrder` (a collating LCID),
// version `sortVersion`, can be built here: the General order, 1033, in
// both its versions.
bool canEncodeTextSortOrder(uint16_t sortOrder, uint8_t sortVersion);

// Appends the segment of one value of `column` (NULL included). Throws
// EngineError when the column's type cannot be indexed or the value does not
// match the type, UnsupportedError for text in a sort order other than General.
void appendKeySegment(const ColumnDef& column, const Value& value, bool ascending, Bytes& out);

// Why text keys of `column` cannot be built here, naming what is missing
// ("sort order 2052", "code page 936"); empty when they can (and for columns
// that are not text).
std::string unsupportedTextKeys(const ColumnDef& column);

// An Access 97 text as the code page 1252 bytes its key is made from.
// Throws UnsupportedError for another code page or sort order, whose keys
// are not known.
Bytes general97Bytes(const ColumnDef& column, std::string_view text);

class IndexKeyEncoder {
 public:
  // Resolves the index's columns in `table`; throws CorruptFileError naming
  // the table when the index refers to a column the table does not have.
  IndexKeyEncoder(const TableDef& table, const RealIndexDef& index);

  // Key of `row` (one value per column of TableDef::columns) into `key`
  // (cleared first).
  void encode(const std::vector<Value>& row, Bytes& key) const;
  Bytes encode(const std::vector<Value>& row) const;
  // True when every key column of `row` is NULL (such rows get no entry in an
  // ignore-nulls index).
  bool allKeyColumnsNull(const std::vector<Value>& row) const;
  // True when any key column of `row` is NULL (such keys may repeat in a
  // unique index).
  bool anyKeyColumnNull(const std::vector<Value>& row) const;
  // What keeps this index's keys from being built (see unsupportedTextKeys),
  // for its first column that has such a limit; empty when none has.
  std::string unsupportedKeys() const;
  // Whether the row gets an entry at all in this index.
  bool indexes(const std::vector<Value>& row) const { return !(ignoreNulls_ && allKeyColumnsNull(row)); }

 private:
  struct KeyColumn {
    const ColumnDef* column;
    size_t position;  // in TableDef::columns and in the row
    bool ascending;
  };
  const TableDef& table_;
  std::vector<KeyColumn> columns_;
  bool ignoreNulls_;
};

// Leaf entry bytes: key, then page (3 bytes, big-endian) and row.
void appendRowPointer(uint32_t page, uint8_t row, Bytes& out);

}  // namespace kevra
