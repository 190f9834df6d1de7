// The binary forms follow PostgreSQL's send/receive functions for each type.
#include "engine/upsize/postgres_binary.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "engine/format/value_text.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr char kSignature[] = "PGCOPY\n\377\r\n";  // 11 bytes with its NUL
constexpr size_t kHeaderSize = 11 + 4 + 4;
// Days from 1970-01-01 to 2000-01-01, the server's timestamp epoch.
constexpr int64_t kServerEpochDays = 10957;
constexpr int64_t kMicrosPerDay = 86400LL * 1000000;

// Writes at the end of a buffer through a plain pointer; room is made a
// kilobyte at a time rather than for each field. The buffer ends at the
// last byte written once the writer is done.
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out), start_(out.size()), at_(start_) {}
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  // A row that could not be written whole leaves nothing behind.
  ~Writer() { out_.resize(done_ ? at_ : start_); }
  void done() { done_ = true; }
  char* room(size_t n) {
    if (out_.size() - at_ < n) out_.resize(at_ + std::max<size_t>(n, 1024));
    return out_.data() + at_;
  }
  void advance(size_t n) { at_ += n; }

 private:
  std::string& out_;
  size_t start_, at_;
  bool done_ = false;
};

// Big-endian integers and plain bytes.
inline void put8(Writer& out, uint8_t v) {
  *out.room(1) = char(v);
  out.advance(1);
}
inline void put16(Writer& out, uint16_t v) {
  char* p = out.room(2);
  p[0] = char(v >> 8);
  p[1] = char(v);
  out.advance(2);
}
inline void put32(Writer& out, uint32_t v) {
  v = __builtin_bswap32(v);
  std::memcpy(out.room(4), &v, 4);
  out.advance(4);
}
inline void put64(Writer& out, uint64_t v) {
  v = __builtin_bswap64(v);
  std::memcpy(out.room(8), &v, 8);
  out.advance(8);
}
inline void putRaw(Writer& out, const void* data, size_t size) {
  if (size) std::memcpy(out.room(size), data, size);
  out.advance(size);
}
uint32_t get32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | u[3];
}
uint16_t get16(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return uint16_t(u[0] << 8 | u[1]);
}

std::string describe(const MappedColumn& c) { return "column '" + c.name + "'"; }

std::string valueTypeName(const Value& v) {
  static const char* const names[] = {"NULL", "Yes/No", "Byte", "Integer", "Long", "Currency", "Single", "Double",
                                      "Date/Time", "text", "binary", "GUID", "Decimal", "Large Number",
                                      "Date/Time Extended"};
  static_assert(std::variant_size_v<Value> == std::size(names));
  return names[v.index()];
}

bool integerOf(const Value& v, int64_t& out) {
  if (auto x = std::get_if<int32_t>(&v)) out = *x;
  else if (auto x = std::get_if<int16_t>(&v)) out = *x;
  else if (auto x = std::get_if<uint8_t>(&v)) out = *x;
  else if (auto x = std::get_if<int64_t>(&v)) out = *x;
  else if (auto x = std::get_if<bool>(&v)) out = *x ? -1 : 0;
  else return false;
  return true;
}

void putInteger(Writer& out, const Value& v, const MappedColumn& c) {
  int64_t n;
  if (!integerOf(v, n)) throw EngineError("A " + valueTypeName(v) + " value does not fit the integer " + describe(c) + ".");
  switch (c.integerBytes) {
    case 2:
      if (n < -32768 || n > 32767) break;
      put32(out, 2);
      put16(out, uint16_t(n));
      return;
    case 4:
      if (n < INT32_MIN || n > INT32_MAX) break;
      put32(out, 4);
      put32(out, uint32_t(n));
      return;
    default:
      put32(out, 8);
      put64(out, uint64_t(n));
      return;
  }
  throw EngineError("The value " + std::to_string(n) + " does not fit " + describe(c) + ".");
}

unsigned __int128 pow10(int n) {
  unsigned __int128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// numeric: ndigits, weight (of the first base-10000 digit), sign, dscale,
// then the digits; zero digits at either end left out, as the server
// stores them. `digits` run from the most significant, `whole` of them
// before the point.
void putNumericDigits(Writer& out, bool negative, const uint16_t* digits, int n, int whole, int dscale) {
  int weight = whole - 1, first = 0;
  while (first < n && digits[first] == 0) {
    ++first;
    --weight;
  }
  while (n > first && digits[n - 1] == 0) --n;
  int count = n - first;
  if (count == 0) {
    weight = 0;
    negative = false;
  }
  put32(out, uint32_t(8 + 2 * count));
  put16(out, uint16_t(count));
  put16(out, uint16_t(int16_t(weight)));
  put16(out, negative ? 0x4000 : 0);
  put16(out, uint16_t(dscale));
  for (int i = first; i < n; ++i) put16(out, digits[i]);
}

void putNumeric(Writer& out, bool negative, unsigned __int128 magnitude, int valueScale, int columnScale) {
  int dscale = std::max(valueScale, columnScale);
  int fractionDigits = (dscale + 3) / 4 * 4;
  unsigned __int128 unit = pow10(valueScale);
  unsigned __int128 whole = magnitude / unit;
  unsigned __int128 fraction = magnitude % unit * pow10(fractionDigits - valueScale);
  uint16_t wholeDigits[12], digits[24];
  int w = 0, n = 0;
  for (; whole; whole /= 10000) wholeDigits[w++] = uint16_t(whole % 10000);
  for (int i = w - 1; i >= 0; --i) digits[n++] = wholeDigits[i];
  int f = fractionDigits / 4;
  for (int i = f - 1; i >= 0; --i) {
    digits[n + i] = uint16_t(fraction % 10000);
    fraction /= 10000;
  }
  putNumericDigits(out, negative, digits, n + f, w, dscale);
}

// Currency into numeric(19,4): its four decimals are exactly one base-10000
// digit, and 64-bit division does.
void putCurrency(Writer& out, bool negative, uint64_t magnitude) {
  uint16_t wholeDigits[5], digits[6];
  int w = 0, n = 0;
  for (uint64_t whole = magnitude / 10000; whole; whole /= 10000) wholeDigits[w++] = uint16_t(whole % 10000);
  for (int i = w - 1; i >= 0; --i) digits[n++] = wholeDigits[i];
  digits[n++] = uint16_t(magnitude % 10000);
  putNumericDigits(out, negative, digits, n, w, 4);
}

// An exact number's text ("-12.5") as sign, digits and scale.
void putNumericText(Writer& out, const std::string& text, const MappedColumn& c) {
  bool negative = !text.empty() && text[0] == '-';
  unsigned __int128 magnitude = 0;
  int scale = -1, digits = 0;
  for (size_t i = negative ? 1 : 0; i < text.size(); ++i) {
    char ch = text[i];
    if (ch == '.' && scale < 0) {
      scale = 0;
    } else if (ch >= '0' && ch <= '9' && digits < 38) {
      magnitude = magnitude * 10 + unsigned(ch - '0');
      ++digits;
      if (scale >= 0) ++scale;
    } else {
      throw EngineError("The value " + text + " is not an exact number for " + describe(c) + ".");
    }
  }
  if (scale > 28) throw EngineError("The value " + text + " has more decimals than " + describe(c) + " holds.");
  putNumeric(out, negative, magnitude, std::max(scale, 0), c.scale);
}

void putExact(Writer& out, const Value& v, const MappedColumn& c) {
  if (auto x = std::get_if<Currency>(&v)) {
    bool negative = x->scaled < 0;
    uint64_t magnitude = negative ? 0 - uint64_t(x->scaled) : uint64_t(x->scaled);
    if (c.scale == 4) {
      putCurrency(out, negative, magnitude);
      return;
    }
    putNumeric(out, negative, magnitude, 4, c.scale);
  } else if (auto d = std::get_if<Decimal>(&v)) {
    putNumeric(out, d->negative, d->magnitude, d->scale, c.scale);
  } else {
    putNumericText(out, canonicalText(v, c.kind), c);
  }
}

void putTimestamp(Writer& out, const Value& v, const MappedColumn& c) {
  auto d = std::get_if<DateTime>(&v);
  if (!d) throw EngineError("A " + valueTypeName(v) + " value is not a date for " + describe(c) + ".");
  SerialDayTime t = splitSerial(*d);
  int64_t days = t.daysSince1970 - kServerEpochDays;
  put32(out, 8);
  put64(out, uint64_t(days * kMicrosPerDay + t.millisecond * 1000));
}

void putBytes(Writer& out, const char* data, size_t size, const MappedColumn& c) {
  if (size > 0x7fffffff) throw EngineError("A value of " + describe(c) + " is too long for one field.");
  put32(out, uint32_t(size));
  putRaw(out, data, size);
}

void putField(Writer& out, const Value& v, const MappedColumn& c) {
  if (isNull(v)) {
    put32(out, 0xffffffffu);
    return;
  }
  switch (c.kind) {
    case ValueKind::Boolean: {
      int64_t n = 0;
      if (!integerOf(v, n)) throw EngineError("A " + valueTypeName(v) + " value is not Yes/No for " + describe(c) + ".");
      put32(out, 1);
      put8(out, n ? 1 : 0);
      return;
    }
    case ValueKind::Integer:
      putInteger(out, v, c);
      return;
    case ValueKind::Single: {
      float f;
      if (auto x = std::get_if<float>(&v)) f = *x;
      else f = std::strtof(canonicalText(v, c.kind).c_str(), nullptr);
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      put32(out, 4);
      put32(out, bits);
      return;
    }
    case ValueKind::Double: {
      double d;
      if (auto x = std::get_if<double>(&v)) d = *x;
      else d = std::strtod(canonicalText(v, c.kind).c_str(), nullptr);
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      put32(out, 8);
      put64(out, bits);
      return;
    }
    case ValueKind::Exact:
      putExact(out, v, c);
      return;
    case ValueKind::Timestamp:
      putTimestamp(out, v, c);
      return;
    case ValueKind::Text:
      if (auto s = std::get_if<std::string>(&v)) {
        putBytes(out, s->data(), s->size(), c);
      } else {
        std::string text = canonicalText(v, c.kind);
        putBytes(out, text.data(), text.size(), c);
      }
      return;
    case ValueKind::Bytes:
      if (auto b = std::get_if<Binary>(&v)) {
        putBytes(out, reinterpret_cast<const char*>(b->data()), b->size(), c);
        return;
      }
      if (auto s = std::get_if<std::string>(&v)) {
        putBytes(out, s->data(), s->size(), c);
        return;
      }
      break;
    case ValueKind::Uuid:
      if (auto g = std::get_if<Guid>(&v)) {
        // Stored with its first three groups little-endian; the server wants
        // the bytes in the order the text shows them.
        const auto& b = g->bytes;
        const uint8_t ordered[16] = {b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6],
                                     b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
        put32(out, 16);
        putRaw(out, ordered, 16);
        return;
      }
      break;
  }
  throw EngineError("A " + valueTypeName(v) + " value cannot be written to " + describe(c) + ".");
}

}  // namespace

std::string_view binaryCopyHeader() {
  static const std::string header = [] {
    std::string h(kSignature, 11);
    h.append(8, '\0');  // no flags, no header extension
    return h;
  }();
  return header;
}

std::string_view binaryCopyTrailer() { return std::string_view("\xff\xff", 2); }

void appendBinaryRow(std::string& buffer, const std::vector<Value>& row, const std::vector<MappedColumn>& columns) {
  Writer out(buffer);
  put16(out, uint16_t(columns.size()));
  for (size_t i = 0; i < columns.size(); ++i) putField(out, row[i], columns[i]);
  out.done();
}

size_t BinaryCopyReader::consume(const char* data, size_t size) {
  size_t at = 0;
  if (!headerRead_) {
    if (size < kHeaderSize) return 0;
    if (std::memcmp(data, kSignature, 11) != 0) throw EngineError("The server's binary COPY data has no signature.");
    size_t extension = get32(data + 15);
    if (size < kHeaderSize + extension) return 0;
    at = kHeaderSize + extension;
    headerRead_ = true;
  }
  while (!finished_ && size - at >= 2) {
    int16_t fields = int16_t(get16(data + at));
    if (fields == -1) {
      finished_ = true;
      return at + 2;
    }
    size_t end = at + 2;
    bool whole = true;
    for (int16_t i = 0; i < fields; ++i) {
      if (size - end < 4) {
        whole = false;
        break;
      }
      uint32_t length = get32(data + end);
      end += 4;
      if (length == 0xffffffffu) continue;
      if (size - end < length) {
        whole = false;
        break;
      }
      end += length;
    }
    if (!whole) break;
    row_(data + at, end - at);
    at = end;
  }
  return at;
}

void BinaryCopyReader::feed(const char* data, size_t size) {
  if (finished_) return;
  if (pending_.empty()) {
    size_t used = consume(data, size);
    pending_.assign(data + used, size - used);
    return;
  }
  pending_.append(data, size);
  size_t used = consume(pending_.data(), pending_.size());
  pending_.erase(0, used);
}

}  // namespace kevra
