// Conversion and number functions: CStr, CLng, CInt, CByte, CDbl, CSng, CCur,
// CDate, CBool, Val, Int, Fix, Round, Sgn, Abs, IIf.
#pragma once
#include <optional>
#include <string_view>
#include <vector>

#include "engine/format/value.h"

namespace kevra::expr {

// nullopt when `name` is not one of these functions.
std::optional<Value> callConversionFunction(std::string_view name, const std::vector<Value>& args);

}  // namespace kevra::expr
