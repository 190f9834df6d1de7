#include "engine/upsize/postgres_row_hash.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "engine/upsize/postgres_binary.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

// The server's hashes are Bob Jenkins' lookup3 ("hashlittle") in 32-bit
// words, the seed taken in as a first block and the result b:c.
inline uint32_t rot(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

inline void mix(uint32_t& a, uint32_t& b, uint32_t& c) {
  a -= c, a ^= rot(c, 4), c += b;
  b -= a, b ^= rot(a, 6), a += c;
  c -= b, c ^= rot(b, 8), b += a;
  a -= c, a ^= rot(c, 16), c += b;
  b -= a, b ^= rot(a, 19), a += c;
  c -= b, c ^= rot(b, 4), b += a;
}

inline void finish(uint32_t& a, uint32_t& b, uint32_t& c) {
  c ^= b, c -= rot(b, 14);
  a ^= c, a -= rot(c, 11);
  b ^= a, b -= rot(a, 25);
  c ^= b, c -= rot(b, 16);
  a ^= c, a -= rot(c, 4);
  b ^= a, b -= rot(a, 14);
  c ^= b, c -= rot(b, 24);
}

inline void seedInto(uint32_t& a, uint32_t& b, uint32_t& c, uint64_t seed) {
  if (seed == 0) return;
  a += uint32_t(seed >> 32);
  b += uint32_t(seed);
  mix(a, b, c);
}

// Little-endian words of up to four bytes.
inline uint32_t word(const unsigned char* p, size_t n) {
  uint32_t w = 0;
  for (size_t i = 0; i < n; ++i) w |= uint32_t(p[i]) << (8 * i);
  return w;
}

uint16_t be16(const char* p) { return uint16_t((uint8_t(p[0]) << 8) | uint8_t(p[1])); }
uint32_t be32(const char* p) { return (uint32_t(be16(p)) << 16) | be16(p + 2); }
uint64_t be64(const char* p) { return (uint64_t(be32(p)) << 32) | be32(p + 4); }

uint64_t hashInt64(int64_t v, uint64_t seed) {
  uint32_t low = uint32_t(v), high = uint32_t(uint64_t(v) >> 32);
  low ^= v >= 0 ? high : ~high;
  return serverHashUint32(low, seed);
}

// Zero (of either sign) hashes to the seed; every NaN as one.
uint64_t hashDouble(double d, uint64_t seed) {
  if (d == 0) return seed;
  if (std::isnan(d)) d = double(std::numeric_limits<float>::quiet_NaN());
  unsigned char bytes[8];
  std::memcpy(bytes, &d, 8);
  if constexpr (std::endian::native == std::endian::big)
    for (int i = 0; i < 4; ++i) std::swap(bytes[i], bytes[7 - i]);
  return serverHashBytes(bytes, 8, seed);
}

// A numeric's base-10000 digits without the zeros at either end, the weight
// of the first kept; zero hashes to seed - 1. The sign is mixed in apart.
uint64_t hashNumeric(const char* p, size_t size, uint64_t seed) {
  if (size < 8) throw EngineError("A numeric value sent is shorter than its header.");
  size_t count = be16(p);
  int weight = int16_t(be16(p + 2));
  bool negative = be16(p + 4) == 0x4000;
  if (size != 8 + 2 * count) throw EngineError("A numeric value sent does not hold its digits.");
  const char* digits = p + 8;
  size_t first = 0, end = count;
  while (first < end && be16(digits + 2 * first) == 0) ++first, --weight;
  if (first == end) return seed - 1;
  while (be16(digits + 2 * (end - 1)) == 0) --end;
  unsigned char kept[2 * 1000];
  size_t n = end - first;
  if (n > 1000) throw EngineError("A numeric value has more digits than a server keeps.");
  for (size_t i = 0; i < n; ++i) {
    uint16_t d = be16(digits + 2 * (first + i));
    kept[2 * i] = uint8_t(d), kept[2 * i + 1] = uint8_t(d >> 8);
  }
  return (serverHashBytes(kept, 2 * n, seed) ^ uint64_t(int64_t(weight))) ^ (negative ? 1 : 0);
}

uint64_t seedOf(size_t column) { return column + 1; }
int64_t nullMark(size_t column) { return int64_t(0x6b6576726100ull + column); }

uint64_t fieldHash(const char* p, size_t size, const MappedColumn& c, uint64_t seed) {
  auto need = [&](size_t n) {
    if (size != n) throw EngineError("A field of '" + c.name + "' sent has an unexpected length.");
  };
  switch (c.kind) {
    case ValueKind::Boolean:
      need(1);
      return serverHashUint32(p[0] ? 1 : 0, seed);
    case ValueKind::Integer:
      if (c.integerBytes == 2) return need(2), serverHashUint32(uint32_t(int32_t(int16_t(be16(p)))), seed);
      if (c.integerBytes == 4) return need(4), serverHashUint32(be32(p), seed);
      need(8);
      return hashInt64(int64_t(be64(p)), seed);
    case ValueKind::Single:
      return need(4), hashDouble(std::bit_cast<float>(be32(p)), seed);
    case ValueKind::Double:
      return need(8), hashDouble(std::bit_cast<double>(be64(p)), seed);
    case ValueKind::Exact:
      return hashNumeric(p, size, seed);
    case ValueKind::Timestamp:
      need(8);
      return hashInt64(int64_t(be64(p)), seed);
    case ValueKind::Text:
    case ValueKind::Uuid:
      return serverHashBytes(p, size, seed);
    case ValueKind::Bytes:
      break;
  }
  throw EngineError("Column '" + c.name + "' has no hash the server computes.");
}

std::string fieldHashSql(const MappedColumn& c, uint64_t seed) {
  const std::string col = quoteIdentifier(c.name), s = std::to_string(seed);
  switch (c.kind) {
    case ValueKind::Boolean: return "hashint4extended(" + col + "::int, " + s + ")";
    case ValueKind::Integer:
      return std::string(c.integerBytes == 2 ? "hashint2extended(" : c.integerBytes == 4 ? "hashint4extended(" : "hashint8extended(") +
             col + ", " + s + ")";
    case ValueKind::Single: return "hashfloat4extended(" + col + ", " + s + ")";
    case ValueKind::Double: return "hashfloat8extended(" + col + ", " + s + ")";
    case ValueKind::Exact: return "(hash_numeric_extended(" + col + ", " + s + ") # (" + col + " < 0)::int::int8)";
    case ValueKind::Timestamp: return "timestamp_hash_extended(" + col + ", " + s + ")";
    case ValueKind::Text: return "hashtextextended(" + col + ", " + s + ")";
    case ValueKind::Uuid: return "uuid_hash_extended(" + col + ", " + s + ")";
    case ValueKind::Bytes: break;
  }
  throw EngineError("Column '" + c.name + "' has no hash the server computes.");
}

}  // namespace

uint64_t serverHashBytes(const void* data, size_t size, uint64_t seed) {
  const auto* k = static_cast<const unsigned char*>(data);
  uint32_t a, b, c;
  a = b = c = 0x9e3779b9u + uint32_t(size) + 3923095u;
  seedInto(a, b, c, seed);
  size_t len = size;
  for (; len >= 12; k += 12, len -= 12) {
    a += word(k, 4), b += word(k + 4, 4), c += word(k + 8, 4);
    mix(a, b, c);
  }
  // The last bytes; the lowest byte of c is left for the length.
  if (len > 8) c += word(k + 8, len - 8) << 8;
  if (len > 4) b += word(k + 4, std::min<size_t>(len - 4, 4));
  if (len > 0) a += word(k, std::min<size_t>(len, 4));
  finish(a, b, c);
  return (uint64_t(b) << 32) | c;
}

uint64_t serverHashUint32(uint32_t value, uint64_t seed) {
  uint32_t a, b, c;
  a = b = c = 0x9e3779b9u + 4 + 3923095u;
  seedInto(a, b, c, seed);
  a += value;
  finish(a, b, c);
  return (uint64_t(b) << 32) | c;
}

bool serverHashable(const std::vector<MappedColumn>& columns) {
  for (const auto& c : columns)
    if (c.kind == ValueKind::Bytes) return false;
  return true;
}

uint64_t serverRowHash(const char* row, size_t size, const std::vector<MappedColumn>& columns) {
  if (size < 2 || be16(row) != columns.size()) throw EngineError("A row sent has the wrong number of fields.");
  uint64_t hash = 0;
  size_t at = 2;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (size - at < 4) throw EngineError("A row sent ends inside a field.");
    uint32_t length = be32(row + at);
    at += 4;
    if (length == 0xffffffffu) {
      hash ^= uint64_t(nullMark(i));
      continue;
    }
    if (size - at < length) throw EngineError("A row sent ends inside a field.");
    hash ^= fieldHash(row + at, length, columns[i], seedOf(i));
    at += length;
  }
  return hash;
}

std::string serverRowHashSql(const std::vector<MappedColumn>& columns) {
  std::string row;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i) row += " # ";
    row += "coalesce(" + fieldHashSql(columns[i], seedOf(i)) + ", " + std::to_string(nullMark(i)) + ")";
  }
  return row.empty() ? "0::int8" : row;
}

std::string serverRowHashQuery(const std::string& table, const std::vector<MappedColumn>& columns) {
  // OFFSET 0 keeps the subquery whole: folded into the outer query, its
  // expression would be computed once for each sum.
  return "SELECT count(*), coalesce(sum((h >> 32)::int4), 0), coalesce(sum(((h & 4294967295) - 2147483648)::int4), 0) "
         "FROM (SELECT " + serverRowHashSql(columns) + " AS h FROM " + table + " OFFSET 0) AS rows";
}

uint64_t serverRowHashSum(uint64_t rows, int64_t highSum, int64_t lowSum) {
  return (uint64_t(highSum) << 32) + uint64_t(lowSum) + (rows << 31);
}

std::string serverHashProbe() {
  return "SELECT hashtextextended('', 1), hashtextextended('Zürich and 東京, a text of some length', 2), "
         "hashtextextended('twelve bytes', 3), hashint2extended((-7)::int2, 4), hashint4extended(123456789, 5), "
         "hashint8extended((-1234567890123)::int8, 6), hashfloat4extended(1.5::real, 7), "
         "hashfloat8extended((-2.25)::float8, 8), hashfloat8extended(0::float8, 9), "
         "hash_numeric_extended((-1234.5600)::numeric, 10), hash_numeric_extended(0.0010::numeric, 11), "
         "hash_numeric_extended(0::numeric, 12), timestamp_hash_extended('1999-12-31 23:59:59.5'::timestamp, 13), "
         "uuid_hash_extended('6f9619ff-8b86-d011-b42d-00c04fc964ff'::uuid, 14)";
}

std::string expectedServerHashProbe() {
  auto text = [](const std::string& s, uint64_t seed) { return serverHashBytes(s.data(), s.size(), seed); };
  auto numeric = [](std::vector<uint16_t> digits, int16_t weight, uint64_t seed) {
    std::string form(8, '\0');
    form[0] = char(digits.size() >> 8), form[1] = char(digits.size());
    form[2] = char(uint16_t(weight) >> 8), form[3] = char(weight);
    for (uint16_t d : digits) form += char(d >> 8), form += char(d);
    return hashNumeric(form.data(), form.size(), seed);  // the sign is the probe's to leave out
  };
  const unsigned char uuid[16] = {0x6f, 0x96, 0x19, 0xff, 0x8b, 0x86, 0xd0, 0x11,
                                  0xb4, 0x2d, 0x00, 0xc0, 0x4f, 0xc9, 0x64, 0xff};
  const uint64_t values[] = {
      text("", 1),
      text("Zürich and 東京, a text of some length", 2),
      text("twelve bytes", 3),
      serverHashUint32(uint32_t(-7), 4),
      serverHashUint32(123456789u, 5),
      hashInt64(-1234567890123, 6),
      hashDouble(1.5, 7),
      hashDouble(-2.25, 8),
      hashDouble(0, 9),
      numeric({1234, 5600}, 0, 10),
      numeric({10}, -1, 11),
      numeric({}, 0, 12),
      hashInt64(-500000, 13),
      serverHashBytes(uuid, 16, 14),
  };
  std::string out;
  for (uint64_t v : values) out += (out.empty() ? "" : "|") + std::to_string(int64_t(v));
  return out;
}

}  // namespace kevra
