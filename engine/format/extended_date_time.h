// The stored form of Date/Time Extended values (ACE 17): 42 ASCII bytes,
// "DDDDDDDDDDDDDDDDDDD:SSSSSSSSSSSSFFFFFFF:7" and a NUL — days since
// 0001-01-01, seconds of the day, units of 100 ns, then the count of
// fractional digits.
#pragma once
#include <array>
#include <optional>
#include <string_view>

#include "engine/format/value.h"
#include "engine/util/bytes.h"

namespace kevra {

constexpr size_t kExtendedDateTimeSize = 42;
constexpr int64_t kTicksPerDay = 864000000000;  // units of 100 ns

// nullopt when the bytes do not have the stored form.
std::optional<ExtendedDateTime> decodeExtendedDateTime(ByteSpan bytes);
std::array<uint8_t, kExtendedDateTimeSize> encodeExtendedDateTime(const ExtendedDateTime& value);

// "YYYY-MM-DDTHH:MM:SS[.fffffff]", the fraction trimmed of trailing zeros.
std::string extendedDateTimeToIso(const ExtendedDateTime& value);
// Reads the text above (a date alone, or with a time; up to 7 fractional
// digits); nullopt when it is not one.
std::optional<ExtendedDateTime> extendedDateTimeFromIso(std::string_view text);
// An ordinary Date/Time (to the millisecond) as an extended one.
ExtendedDateTime extendedFromDateTime(DateTime value);

}  // namespace kevra
