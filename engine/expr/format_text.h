// Display formats of fields (the Format property) applied to values: the
// named formats (General Number, Currency, Euro, Fixed, Standard, Percent,
// Scientific; General Date, Long Date, Medium Date, Short Date, Long Time,
// Medium Time, Short Time; Yes/No, True/False, On/Off) and custom formats.
// A custom number format has up to four sections split by ';' (positive,
// negative, zero, NULL) built of 0 # . , % E+ E- and literal text ("quoted",
// \c, or plain characters); a custom date format uses d dd ddd dddd m mm mmm
// mmmm yy yyyy h hh n nn s ss AM/PM am/pm A/P a/p, with m after an hour read
// as minutes. The result is text for display only; nothing here parses it
// back.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "engine/format/value.h"

namespace kevra::expr {

// The words and signs a format writes; English and the US forms unless a
// caller fills in its own.
struct FormatSymbols {
  std::string decimalPoint = ".";
  std::string groupSeparator = ",";
  std::string currencySymbol = "$";
  std::array<std::string, 12> monthNames{"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};
  std::array<std::string, 12> monthAbbreviations{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // Sunday first.
  std::array<std::string, 7> dayNames{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  std::array<std::string, 7> dayAbbreviations{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
};

// `value` written in `format`; nullopt when the format says nothing about
// such a value (an empty format, a text format such as "@" or ">", a number
// format on text or binary data, NULL where no fourth section names it, a
// date out of the calendar's range), so the caller shows it its own way.
std::optional<std::string> formatValue(const kevra::Value& value, std::string_view format,
                                       const FormatSymbols& symbols = {});

}  // namespace kevra::expr
