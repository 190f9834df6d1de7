// Jet3Row: where the parts of one Access 97 row are. Jet 3 keeps the row's
// column count, variable-column count and variable offsets in single bytes;
// a row longer than 256 bytes adds a jump table saying where the offsets
// cross each 256-byte boundary.
//
//   u8 ncols | fixed area | var area | u8 eod | u8 offsets, slot nv-1 .. 0 |
//   jump table ((length - 1) / 256 bytes) | u8 nv | null mask
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/util/bytes.h"

namespace kevra {

struct Jet3Row {
  size_t columnCount = 0;
  ByteSpan nullMask;
  size_t fixedEnd = 0;  // end of the fixed area's room: eod with a var area, else the mask
  // Real offsets of variable slots 0 .. nv-1, then eod (nv + 1 entries);
  // empty when the table has no variable columns.
  std::vector<uint16_t> varOffsets;

  size_t varCount() const { return varOffsets.empty() ? 0 : varOffsets.size() - 1; }
};

// Reads the row's bookkeeping into `out` (its vector reused between rows).
// The row has a variable area when its column count goes past
// `firstVariableColumn` (see firstVariableColumn() in row_codec.h). Throws
// CorruptFileError naming `table` when the bytes contradict each other.
void locateJet3Row(ByteSpan row, size_t firstVariableColumn, const std::string& table, Jet3Row& out);

}  // namespace kevra
