// Byte-sortable encodings of Paradox numbers.
#include "engine/isam/paradox_values.h"

#include <cmath>
#include <cstring>

namespace kevra {
namespace {

constexpr int64_t kDayOfOleEpoch = 693594;  // 1899-12-30 counted from 0001-01-01 = 1

uint64_t bigEndian(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

void putBigEndian(uint64_t v, uint8_t* out, int n) {
  for (int i = n - 1; i >= 0; --i, v >>= 8) out[i] = uint8_t(v);
}

}  // namespace

bool allZero(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (bytes[i]) return false;
  return true;
}

int16_t decodeParadoxShort(const uint8_t* p) { return int16_t(uint16_t(bigEndian(p, 2) ^ 0x8000u)); }
int32_t decodeParadoxLong(const uint8_t* p) { return int32_t(uint32_t(bigEndian(p, 4) ^ 0x80000000u)); }

double decodeParadoxDouble(const uint8_t* p) {
  uint64_t bits = bigEndian(p, 8);
  bits = (bits & (1ull << 63)) ? bits ^ (1ull << 63) : ~bits;
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}

void encodeParadoxShort(int16_t v, uint8_t* out) { putBigEndian(uint16_t(v) ^ 0x8000u, out, 2); }
void encodeParadoxLong(int32_t v, uint8_t* out) { putBigEndian(uint32_t(v) ^ 0x80000000u, out, 4); }

void encodeParadoxDouble(double v, uint8_t* out) {
  if (v == 0) v = 0;  // -0.0 as +0.0
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  bits = (bits & (1ull << 63)) ? ~bits : bits | (1ull << 63);
  putBigEndian(bits, out, 8);
}

double paradoxDayToSerial(int64_t day) { return double(day - kDayOfOleEpoch); }
int64_t serialToParadoxDay(double serial) { return int64_t(std::floor(serial)) + kDayOfOleEpoch; }

std::optional<double> decodeParadoxBcd(const uint8_t* p, int decimals) {
  if (allZero(p, 17)) return std::nullopt;
  const bool negative = (p[0] & 0x80) == 0;
  if (decimals > 32) decimals = 32;
  double integer = 0, fraction = 0, scale = 0.1;
  for (int i = 0; i < 32; ++i) {
    uint8_t nibble = (i % 2 == 0) ? p[1 + i / 2] >> 4 : p[1 + i / 2] & 0x0F;
    if (negative) nibble = uint8_t(~nibble & 0x0F);
    if (nibble > 9) {
      if (i >= 32 - decimals) break;  // digits past the precision kept
      return std::nullopt;
    }
    if (i < 32 - decimals) {
      integer = integer * 10 + nibble;
    } else {
      fraction += nibble * scale;
      scale /= 10;
    }
  }
  const double v = integer + fraction;
  return negative ? -v : v;
}

}  // namespace kevra
