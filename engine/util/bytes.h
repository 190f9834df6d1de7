// Little- and big-endian readers over byte spans with bounds checks.
#pragma once
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "engine/util/error.h"

namespace kevra {

using ByteSpan = std::span<const uint8_t>;
using Bytes = std::vector<uint8_t>;

inline void requireRange(ByteSpan data, size_t offset, size_t size, const char* what) {
  if (offset > data.size() || size > data.size() - offset)
    throw CorruptFileError(std::string("Corrupt file: ") + what + " lies outside its page or record.");
}

inline uint8_t u8At(ByteSpan d, size_t off) {
  requireRange(d, off, 1, "a byte field");
  return d[off];
}
inline uint16_t u16At(ByteSpan d, size_t off) {
  requireRange(d, off, 2, "a 16-bit field");
  return uint16_t(d[off] | (d[off + 1] << 8));
}
inline uint32_t u32At(ByteSpan d, size_t off) {
  requireRange(d, off, 4, "a 32-bit field");
  return uint32_t(d[off]) | (uint32_t(d[off + 1]) << 8) | (uint32_t(d[off + 2]) << 16) |
         (uint32_t(d[off + 3]) << 24);
}
inline uint64_t u64At(ByteSpan d, size_t off) {
  requireRange(d, off, 8, "a 64-bit field");
  return uint64_t(u32At(d, off)) | (uint64_t(u32At(d, off + 4)) << 32);
}
inline int16_t i16At(ByteSpan d, size_t off) { return int16_t(u16At(d, off)); }
inline int32_t i32At(ByteSpan d, size_t off) { return int32_t(u32At(d, off)); }
inline int64_t i64At(ByteSpan d, size_t off) { return int64_t(u64At(d, off)); }
inline double f64At(ByteSpan d, size_t off) {
  uint64_t bits = u64At(d, off);
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}
inline float f32At(ByteSpan d, size_t off) {
  uint32_t bits = u32At(d, off);
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}

// Little-endian writers.
inline void putU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void putU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void appendU16(Bytes& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
inline void appendU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

}  // namespace kevra
