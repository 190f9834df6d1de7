// Converting a computed value to the type of the column it is stored in, as
// INSERT and UPDATE do: numbers are rounded and range-checked, text is
// length-checked, dates and GUIDs may be given as text.
#pragma once
#include "engine/catalog/table_def.h"
#include "engine/format/value.h"

namespace kevra::sql {

// NULL stays NULL. Throws EngineError naming the field when the value does not
// convert or does not fit.
Value coerceToColumn(const Value& v, const ColumnDef& column);

}  // namespace kevra::sql
