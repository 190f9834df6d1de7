// Calculated columns (Access 2010+): the stored result of the column's
// expression, wrapped as 16 zero bytes, a u32 length n, n bytes of data and 3
// zero bytes. The data is an ordinary value of the result type, except a
// Yes/No (one byte, 0xFF true) and a Decimal (u16 length, u8 scale, u8 sign,
// then the magnitude in 32- and 64-bit little-endian words, most significant
// first).
#pragma once
#include <string>

#include "engine/format/table_def.h"
#include "engine/format/value.h"
#include "engine/util/bytes.h"

namespace kevra {

constexpr size_t kCalculatedWrapperSize = 23;  // bytes around the data

// Value of a calculated column whose definition carries the result type in
// `column.type`, from the wrapper bytes (for a Memo result, the long value
// already read). Throws CorruptFileError naming `owner` on a broken wrapper.
Value decodeCalculatedValue(const ColumnDef& column, ByteSpan wrapper, const std::string& owner);

// The Decimal data of a calculated value.
Decimal decodeCalculatedDecimal(ByteSpan data, const std::string& owner);

}  // namespace kevra
