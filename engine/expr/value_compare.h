// Comparing two values the way Jet compares in criteria: numbers across
// their types, dates as serials, text ignoring case, NULL unknown.
#pragma once
#include <optional>

#include "engine/format/value.h"

namespace kevra::expr {

// <0, 0 or >0; nullopt when either side is NULL. Text that reads as a number
// or a date compares with numbers or dates. Throws EngineError ("Data type
// mismatch in criteria expression.") for values that cannot be compared.
std::optional<int> compareValues(const Value& a, const Value& b);

// Total order for sorting and DISTINCT: NULL first, then compareValues;
// values of kinds that cannot be compared fall back to an order by kind.
int compareForSort(const Value& a, const Value& b);

}  // namespace kevra::expr
