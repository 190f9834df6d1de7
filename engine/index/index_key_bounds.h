// Key bounds for seeks: the bytes the keys of rows whose leading index
// columns hold given values start with. Queries compare text ignoring case,
// while keys also record case and accents, so a text column bounds a seek by
// its primary letters only and ends the usable part of the key.
#pragma once
#include <string_view>

#include "engine/format/table_def.h"
#include "engine/format/value.h"
#include "engine/util/bytes.h"

namespace kevra {

// Appends to `out` the start every key segment of `column` shares for values
// that equal `value` as queries compare them. Returns true when that start is
// the whole segment (further columns may follow), false for text (it may not).
// `value` must already have the column's type. Throws like appendKeySegment.
bool appendEqualityBound(const ColumnDef& column, const Value& value, bool ascending, Bytes& out);

// Appends the start the key segments of texts beginning with `prefix` share.
void appendTextStartBound(const ColumnDef& column, std::string_view prefix, bool ascending, Bytes& out);

// Whether a seek on `column` can bound a range (<, >, ...) and not only
// equality: key order is query order for numbers, dates and currency; for
// text it is the sort order, which queries do not compare by.
bool keyOrderIsValueOrder(const ColumnDef& column);

}  // namespace kevra
