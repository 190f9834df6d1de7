// Paradox field values: integers and doubles big-endian with the sign
// flipped so the bytes sort; dates as days from 0001-01-01 (day 1), times as
// milliseconds, timestamps as a double of milliseconds; all-zero bytes are
// NULL for every type.
#pragma once
#include <cstdint>
#include <optional>

#include "engine/format/value.h"

namespace kevra {

bool allZero(const uint8_t* bytes, size_t count);

int16_t decodeParadoxShort(const uint8_t* p);
int32_t decodeParadoxLong(const uint8_t* p);
double decodeParadoxDouble(const uint8_t* p);
void encodeParadoxShort(int16_t v, uint8_t* out);
void encodeParadoxLong(int32_t v, uint8_t* out);
void encodeParadoxDouble(double v, uint8_t* out);

// Days since 0001-01-01 (that day being 1) and OLE date serials.
double paradoxDayToSerial(int64_t day);
int64_t serialToParadoxDay(double serial);

// A 17-byte BCD value with `decimals` digits after the point; nullopt when
// the bytes hold none.
std::optional<double> decodeParadoxBcd(const uint8_t* p, int decimals);

}  // namespace kevra
