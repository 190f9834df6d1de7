// Values of the Jet 4 and ACE column types as the engine hands them out.
// Text is UTF-8; binary data is raw bytes; Currency, DateTime and Decimal keep
// their exact stored representation so nothing is lost on a round trip.
#pragma once
#include <array>
#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace kevra {

// Type codes as stored in a column descriptor.
enum class ColumnType : uint8_t {
  Boolean = 0x01,
  Byte = 0x02,
  Integer = 0x03,
  Long = 0x04,
  Currency = 0x05,
  Single = 0x06,
  Double = 0x07,
  DateTime = 0x08,
  Binary = 0x09,
  Text = 0x0A,
  OLE = 0x0B,
  Memo = 0x0C,
  Unknown0D = 0x0D,
  Guid = 0x0F,
  Decimal = 0x10,
  Unknown11 = 0x11,
  Complex = 0x12,           // ACE: key into a hidden table of attachments or values
  BigInt = 0x13,            // ACE 16 (Access 2016): 64-bit integer
  ExtendedDateTime = 0x14,  // ACE 17 (Access 2019): date and time to 100 ns
};

const char* columnTypeName(ColumnType type);
bool isKnownColumnType(uint8_t code);
bool isLongValueType(ColumnType type);  // Memo and OLE

struct Currency {
  int64_t scaled = 0;  // value * 10000
  bool operator==(const Currency&) const = default;
};

struct DateTime {
  double serial = 0;  // days since 1899-12-30; fraction = time of day
  bool operator==(const DateTime&) const = default;
};

// Date/Time Extended: a day of the proleptic Gregorian calendar counted from
// 0001-01-01 (day 0) and the time of day in units of 100 nanoseconds.
struct ExtendedDateTime {
  int64_t days = 0;
  int64_t ticks = 0;  // 0 .. 864,000,000,000 - 1
  bool operator==(const ExtendedDateTime&) const = default;
  auto operator<=>(const ExtendedDateTime&) const = default;
};

struct Guid {
  std::array<uint8_t, 16> bytes{};  // as stored: first three fields little-endian
  bool operator==(const Guid&) const = default;
};

struct Decimal {
  bool negative = false;
  unsigned __int128 magnitude = 0;
  uint8_t precision = 18;
  uint8_t scale = 0;
  bool operator==(const Decimal&) const = default;
};

using Binary = std::vector<uint8_t>;

// monostate is NULL. Memo and Text both hold std::string; Binary and OLE hold Binary.
// BigInt holds int64_t; a complex column's cell its int32_t key.
using Value = std::variant<std::monostate, bool, uint8_t, int16_t, int32_t, Currency, float, double,
                           DateTime, std::string, Binary, Guid, Decimal, int64_t, ExtendedDateTime>;

inline bool isNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

}  // namespace kevra
