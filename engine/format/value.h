// Values of the Jet 4 column types as the engine hands them out.
// Text is UTF-8; binary data is raw bytes; Currency, DateTime and Decimal keep
// their exact stored representation so nothing is lost on a round trip.
#pragma once
#include <array>
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
using Value = std::variant<std::monostate, bool, uint8_t, int16_t, int32_t, Currency, float, double,
                           DateTime, std::string, Binary, Guid, Decimal>;

inline bool isNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

}  // namespace kevra
