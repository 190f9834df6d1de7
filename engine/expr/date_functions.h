// Date functions: Date(), Time(), Now(), Year, Month, Day, Hour, Minute,
// Second, Weekday (Sunday = 1), DateSerial and DateValue.
#pragma once
#include <optional>
#include <string_view>
#include <vector>

#include "engine/format/value.h"

namespace kevra::expr {

// nullopt when `name` is not a date function.
std::optional<Value> callDateFunction(std::string_view name, const std::vector<Value>& args);

}  // namespace kevra::expr
