// RowEncoder: the bytes of one row for a table definition (the inverse of
// RowDecoder). Long values are stored by the caller's LongValueStore first;
// the row holds only their 12-byte header (and inline data).
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/format/value.h"

namespace kevra {

constexpr size_t kMaxRowSize = 4060;

// Given a Memo/OLE column and the value's bytes, returns what goes into the
// row (header plus any inline data).
using LongValueStore = std::function<Binary(const ColumnDef& column, const Binary& data)>;

// Stored text form: compressed (FF FE + one byte per character) where the
// column allows it and every character is U+0001..U+00FF, else UTF-16LE.
Binary encodeTextValue(const std::string& utf8, bool allowCompression, bool isMemo);

class RowEncoder {
 public:
  explicit RowEncoder(const TableDef& table) : table_(table) {}
  // `values` has one entry per column of the table, already of the column's
  // type. Throws EngineError naming the field when a value does not fit and
  // when the row exceeds the size a page can hold.
  Binary encode(const std::vector<Value>& values, const LongValueStore& storeLongValue) const;

 private:
  const TableDef& table_;
};

}  // namespace kevra
