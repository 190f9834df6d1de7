// What a cell's number format says about its number: a date or time, an
// amount of money, or a plain number.
#pragma once
#include <cstdint>
#include <string>

namespace kevra {

enum class NumberKind { Plain, Date, Currency };

// `index` is the format's number (built-in ones below 164), `code` its
// format text when the workbook defines one (empty otherwise).
NumberKind classifyNumberFormat(uint16_t index, const std::string& code);

}  // namespace kevra
