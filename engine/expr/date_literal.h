// Reading the inside of a #date# literal: ISO (2024-01-31 13:45:00), US
// (1/31/2024 1:45 PM) and month-name (31-Jan-2024) forms, a date alone, or a
// time alone.
#pragma once
#include <optional>
#include <string_view>

#include "engine/format/value.h"

namespace kevra::expr {

// The date serial the text names, or nullopt when it is not a valid date/time.
std::optional<DateTime> parseDateLiteral(std::string_view text);

// Serial of a calendar date and time of day (no range checks).
DateTime dateSerial(int year, int month, int day, int hour, int minute, int second);

}  // namespace kevra::expr
