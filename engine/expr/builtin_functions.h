// The VBA-style functions expressions may call: text (UCase, LCase, Len,
// Trim, LTrim, RTrim, Left, Right, Mid, InStr, Replace), Nz and IsNull here, and the date
// (date_functions.h) and conversion/number (conversion_functions.h) groups.
#pragma once
#include <string_view>
#include <vector>

#include "engine/format/value.h"

namespace kevra::expr {

// Throws EngineError "Undefined function 'X' in expression." for other names,
// and a message naming the function for a wrong number of arguments.
Value callBuiltinFunction(std::string_view name, const std::vector<Value>& args);

}  // namespace kevra::expr
