// Long values (Memo, OLE): the 12-byte header in the row and the data it
// points at — inline, one LVAL row, or a chain of LVAL rows.
#pragma once
#include <string>

#include "engine/format/value.h"
#include "engine/storage/page_file.h"

namespace kevra {

// Reads the whole value. `field` is the column's bytes in the row (header and
// any inline data); `owner` names the column for error messages. Throws
// CorruptFileError when the header lies or the chain is broken or cyclic.
Binary readLongValue(const PageFile& file, ByteSpan field, const std::string& owner);

}  // namespace kevra
