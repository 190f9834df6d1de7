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

// Excel day numbers to OLE dates and back (1900 system: serials before
// 1900-03-01 count a 29 February 1900 that never was; 1904 system: offset).
double excelSerialToOle(double serial, bool dates1904);
double oleToExcelSerial(double ole);

}  // namespace kevra
