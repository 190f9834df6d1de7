// Brings a value as mdb-json prints it and the same value as kevra-cli prints
// it (JSON Lines export) to a form where they can be compared, per ADO type.
//
// What mdb-json (mdbtools 1.0) does, and what the comparison makes of it:
//   - NULL and zero-length values are left out of the object entirely;
//   - Yes/No as 1/0; Single as printf "%.8g"; Double as printf "%.16g";
//   - Currency as a number with four decimals; Decimal as a number with
//     exactly `scale` decimals;
//   - Date/Time through strftime after rounding the time to whole seconds;
//     any date before 1899-12-30 (a negative serial) prints as day 0 of
//     January 1900, which is wrong;
//   - Binary and OLE as {"$binary": base64}; GUID as {"$binary": base64 of
//     the text "{8-4-4-16}"} (three little-endian fields, then eight bytes).
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "json_lite.h"

namespace kevra::interop {

// ADO DataTypeEnum codes the CLI reports.
namespace ado {
constexpr int Boolean = 11, UnsignedTinyInt = 17, SmallInt = 2, Integer = 3, Currency = 6, Single = 4,
              Double = 5, Date = 7, VarBinary = 204, Binary = 128, VarWChar = 202, WChar = 130,
              LongVarBinary = 205, LongVarWChar = 203, Guid = 72, Numeric = 131;
}

// The text the mdb-json printed value "stands for" once decoded: strings as
// themselves, numbers as their literal, $binary objects as their base64.
// "1900-01-00T00:00:00" is the text mdbtools prints for every negative date serial.
inline constexpr std::string_view kMdbtoolsNegativeDate = "1900-01-00T00:00:00";

// Exact decimal text without redundant zeros or sign: "3.5000" -> "3.5",
// "-0.0" -> "0", "007" -> "7". Returns nullopt for text that is no decimal.
std::optional<std::string> canonicalDecimal(std::string_view text);

std::optional<std::string> base64Decode(std::string_view text);

// Seconds from a fixed origin of an ISO text "YYYY-MM-DDTHH:MM:SS[.fff]";
// nullopt when the text is not of that form.
std::optional<double> isoToSeconds(std::string_view text);

// Compares one value. `mdb` is nullptr when mdb-json left the member out.
// Returns an empty string when they agree, otherwise why they do not.
std::string compareWithMdbJson(int adoType, const Json* mdb, const Json& ours);

// A coarse text of one value, equal on both sides whenever compareWithMdbJson
// would accept the pair (absent, NULL and empty all give ""). Used to pair
// rows up when the two readers return them in different orders.
std::string alignmentKey(int adoType, const Json* value, bool fromMdbJson);

// True when `text` is the shortest decimal that reads back to `value`.
bool isShortestDouble(const std::string& text, double value);
bool isShortestFloat(const std::string& text, float value);

}  // namespace kevra::interop
