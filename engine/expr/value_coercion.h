// Converting a computed value to the type of the column it is stored in, as
// INSERT and UPDATE do: numbers are rounded and range-checked, text is
// length-checked, dates and GUIDs may be given as text.
#pragma once
#include "engine/format/table_def.h"
#include "engine/format/value.h"

namespace kevra::expr {

// NULL stays NULL. Throws EngineError naming the field when the value does not
// convert or does not fit.
Value coerceToColumn(const Value& v, const ColumnDef& column);

}  // namespace kevra::expr
