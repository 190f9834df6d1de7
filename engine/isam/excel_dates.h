// Excel day numbers and OLE dates, both ways.
//
// An OLE date counts days from 1899-12-30; before that day its integer part
// counts back while the fraction still counts the time forward from midnight
// (-1.25 is 1899-12-29 06:00). Excel numbers are a plain time line. In the
// 1900 system day 1 is 1900-01-01 and day 60 is a 29 February 1900 that never
// was, so every number below 60 (the days before it, and the negative
// numbers some writers use for earlier dates) stands one day later than the
// same OLE number would; from day 61 (1900-03-01) the two agree. In the 1904
// system day 0 is 1904-01-01.
#pragma once

namespace kevra {

// Day 60 of the 1900 system (29 February 1900) is read as 28 February.
double excelSerialToOle(double serial, bool dates1904);
// In the 1900 system.
double oleToExcelSerial(double ole);

}  // namespace kevra
