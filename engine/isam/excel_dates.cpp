// Conversions go through a plain time line in days from 1899-12-30.
#include "engine/isam/excel_dates.h"

#include <cmath>

namespace kevra {
namespace {

constexpr double kDays1904 = 1462;  // 1904-01-01 as an OLE date

double oleToLine(double ole) {
  if (!(ole < 0)) return ole;
  const double day = std::trunc(ole);
  return day + (day - ole);
}

double lineToOle(double line) {
  if (!(line < 0)) return line;
  const double day = std::floor(line);
  const double time = line - day;
  return time == 0 ? day : day - time;
}

}  // namespace

double excelSerialToOle(double serial, bool dates1904) {
  if (dates1904) return lineToOle(serial + kDays1904);
  if (serial < 60) return lineToOle(serial + 1);
  return serial;  // day 60 as OLE day 60, 28 February 1900
}

double oleToExcelSerial(double ole) {
  const double line = oleToLine(ole);
  return line < 61 ? line - 1 : line;
}

}  // namespace kevra
