// Canonical texts for values: what export, the CLI and the grid show.
#pragma once
#include <cstdint>
#include <string>

#include "engine/format/value.h"

namespace kevra {

std::string currencyToString(Currency c);              // exact: "3.5", "-0.0001", "12"
std::string decimalToString(const Decimal& d);          // exact with scale digits trimmed of nothing
std::string dateTimeToIso(DateTime d);                  // "YYYY-MM-DDTHH:MM:SS[.mmm]"
std::string guidToString(const Guid& g);                // "{8-4-4-4-12}" upper case
std::string doubleToShortest(double v);                 // shortest text that reads back the same
std::string floatToShortest(float v);
std::string base64Encode(const Binary& data);
// Plain text of any value (NULL gives ""), for CSV and display.
std::string valueToText(const Value& v);
// The same text appended to `out`, with no string made on the way.
void appendValueText(std::string& out, const Value& v);

// Calendar parts of an OLE automation date.
struct CivilDateTime {
  int year, month, day, hour, minute, second, millisecond;
};
CivilDateTime toCivil(DateTime d);
// The same date as a day (since 1970-01-01) and the milliseconds into it,
// rounded as toCivil() rounds them.
struct SerialDayTime {
  int64_t daysSince1970;
  int64_t millisecond;  // 0 .. 86,399,999
};
SerialDayTime splitSerial(DateTime d);
// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d);
void civilFromDays(int64_t z, int& y, int& m, int& d);
DateTime fromCivil(const CivilDateTime& c);

}  // namespace kevra
