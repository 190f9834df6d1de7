// Order-preserving encodings of the non-text column types (big-endian with
// the sign bit flipped, IEEE tricks for floats, segmented GUID/Binary) and
// the assembly of a whole key from a row.
#include "engine/index/index_key_encoder.h"

#include <cstring>
#include <string>

#include "engine/format/extended_date_time.h"
#include "engine/index/general97_key_encoder.h"
#include "engine/index/text_key_encoder.h"
#include "engine/util/code_page.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr uint16_t kGeneralSortOrder = 0x0409;

void appendBigEndian(uint64_t v, int bytes, Bytes& out) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

// Signed integer of `bytes` width, big-endian with the sign bit flipped.
void appendSigned(int64_t v, int bytes, Bytes& out) {
  size_t first = out.size();
  appendBigEndian(uint64_t(v), bytes, out);
  out[first] ^= 0x80;
}

// IEEE bits, big-endian: non-negative values get their sign bit set, negative
// values are inverted entirely, so byte order equals numeric order.
void appendFloatBits(uint64_t bits, int bytes, Bytes& out) {
  size_t first = out.size();
  appendBigEndian(bits, bytes, out);
  if (out[first] & 0x80) {
    for (size_t i = first; i < out.size(); ++i) out[i] = uint8_t(~out[i]);
  } else {
    out[first] ^= 0x80;
  }
}

// Groups of 8 bytes: full groups end with 0x09, the last (zero padded) group
// ends with the count of real bytes in it. Descending inverts everything but
// the separators.
void appendSegmented(const uint8_t* data, size_t size, bool ascending, Bytes& out) {
  uint8_t mask = ascending ? 0x00 : 0xFF;
  size_t pos = 0;
  while (size - pos > 8) {
    for (size_t i = 0; i < 8; ++i) out.push_back(data[pos + i] ^ mask);
    out.push_back(0x09);
    pos += 8;
  }
  if (size == 0) return;
  size_t left = size - pos;
  for (size_t i = 0; i < 8; ++i) out.push_back(uint8_t((i < left ? data[pos + i] : 0) ^ mask));
  out.push_back(uint8_t(left) ^ mask);
}

[[noreturn]] void mismatch(const ColumnDef& column) {
  throw EngineError(std::string("Column '") + column.name + "' holds a value that does not match its type " +
                    columnTypeName(column.type) + "; no index key can be built for it.");
}

template <typename T>
const T& as(const ColumnDef& column, const Value& value) {
  if (const T* v = std::get_if<T>(&value)) return *v;
  mismatch(column);
}

void appendDecimal(const Decimal& d, bool ascending, Bytes& out) {
  // The sign byte is not inverted for descending columns; only the magnitude is.
  out.push_back(d.negative ? 0x00 : 0xFF);
  bool invert = d.negative == ascending;
  for (int i = 15; i >= 0; --i) {
    uint8_t b = uint8_t(d.magnitude >> (8 * i));
    out.push_back(invert ? uint8_t(~b) : b);
  }
}

}  // namespace

bool canEncodeTextSortOrder(uint16_t sortOrder, uint8_t sortVersion) {
  return sortOrder == kGeneralSortOrder && sortVersion <= 1;
}

std::string unsupportedTextKeys(const ColumnDef& column) {
  if (column.type != ColumnType::Text && column.type != ColumnType::Memo) return {};
  if (column.sortOrder != kGeneralSortOrder) return "sort order " + std::to_string(column.sortOrder);
  if (column.codePage == 0 && column.sortVersion > 1)
    return "sort order 1033 version " + std::to_string(column.sortVersion);
  if (column.codePage != 0 && column.codePage != 1252) return "code page " + std::to_string(column.codePage);
  return {};
}

Bytes general97Bytes(const ColumnDef& column, std::string_view text) {
  if (column.codePage != 1252 || column.sortOrder != kGeneralSortOrder)
    throw UnsupportedError("Column '" + column.name + "' holds text in code page " + std::to_string(column.codePage) +
                           "; only Access 97 text in code page 1252 can be indexed.");
  size_t unmappable = 0;
  std::string bytes = encodeCodePage(text, 1252, unmappable);
  return Bytes(bytes.begin(), bytes.end());
}

void appendKeySegment(const ColumnDef& column, const Value& value, bool ascending, Bytes& out) {
  if (column.type == ColumnType::Boolean) {
    // Booleans are never NULL; a missing value reads as false.
    const bool* b = std::get_if<bool>(&value);
    if (!b && !isNull(value)) mismatch(column);
    bool truth = b && *b;
    out.push_back(ascending ? kKeyAscending : kKeyDescending);
    uint8_t v = truth ? 0x00 : 0xFF;
    out.push_back(ascending ? v : uint8_t(0xFF - v));
    return;
  }
  if (isNull(value)) {
    out.push_back(ascending ? kKeyNullAscending : kKeyNullDescending);
    return;
  }
  if (column.type == ColumnType::Text || column.type == ColumnType::Memo) {
    if (column.codePage != 0) {
      appendGeneral97KeySegment(ByteSpan(general97Bytes(column, as<std::string>(column, value))), ascending, out);
      return;
    }
    if (!canEncodeTextSortOrder(column.sortOrder, column.sortVersion))
      throw UnsupportedError("Column '" + column.name + "' uses text " + unsupportedTextKeys(column) +
                             "; index keys can be built only in the General sort order (1033), so changes that "
                             "touch its indexes are refused.");
    appendTextKeySegment(utf8ToUtf16(as<std::string>(column, value)), ascending, out, column.sortVersion);
    return;
  }
  out.push_back(ascending ? kKeyAscending : kKeyDescending);
  size_t body = out.size();
  switch (column.type) {
    case ColumnType::Byte: out.push_back(as<uint8_t>(column, value)); break;
    case ColumnType::Integer: appendSigned(as<int16_t>(column, value), 2, out); break;
    case ColumnType::Long:
    case ColumnType::Complex: appendSigned(as<int32_t>(column, value), 4, out); break;
    case ColumnType::BigInt: appendSigned(as<int64_t>(column, value), 8, out); break;
    case ColumnType::Currency: appendSigned(as<Currency>(column, value).scaled, 8, out); break;
    case ColumnType::Single: {
      uint32_t bits;
      float f = as<float>(column, value);
      std::memcpy(&bits, &f, 4);
      appendFloatBits(bits, 4, out);
      break;
    }
    case ColumnType::Double:
    case ColumnType::DateTime: {
      double d = column.type == ColumnType::Double ? as<double>(column, value) : as<DateTime>(column, value).serial;
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      appendFloatBits(bits, 8, out);
      break;
    }
    case ColumnType::Decimal:
      appendDecimal(as<Decimal>(column, value), ascending, out);
      return;  // the direction is already part of the encoding
    case ColumnType::Guid: {
      const auto& g = as<Guid>(column, value).bytes;
      const uint8_t textual[16] = {g[3], g[2], g[1], g[0], g[5], g[4], g[7], g[6],
                                   g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]};
      appendSegmented(textual, 16, ascending, out);
      return;
    }
    case ColumnType::ExtendedDateTime: {
      const auto stored = encodeExtendedDateTime(as<ExtendedDateTime>(column, value));
      appendSegmented(stored.data(), stored.size(), ascending, out);
      return;
    }
    case ColumnType::Binary: {
      const Binary& b = as<Binary>(column, value);
      appendSegmented(b.data(), b.size(), ascending, out);
      return;
    }
    default:
      throw EngineError(std::string("Column '") + column.name + "' of type " + columnTypeName(column.type) +
                        " cannot be part of an index key.");
  }
  if (!ascending)
    for (size_t i = body; i < out.size(); ++i) out[i] = uint8_t(0xFF - out[i]);
}

IndexKeyEncoder::IndexKeyEncoder(const TableDef& table, const RealIndexDef& index)
    : table_(table), ignoreNulls_(index.ignoreNulls()) {
  for (const auto& ref : index.columns) {
    const ColumnDef* column = table.columnByNumber(ref.columnNumber);
    if (!column)
      throw CorruptFileError("Corrupt file: an index of table '" + table.name + "' refers to column number " +
                             std::to_string(ref.columnNumber) + ", which the table does not have.");
    columns_.push_back({column, size_t(column - table.columns.data()), ref.ascending});
  }
}

std::string IndexKeyEncoder::unsupportedKeys() const {
  for (const auto& c : columns_)
    if (std::string reason = unsupportedTextKeys(*c.column); !reason.empty()) return reason;
  return {};
}

void IndexKeyEncoder::encode(const std::vector<Value>& row, Bytes& key) const {
  key.clear();
  if (row.size() != table_.columns.size())
    throw EngineError("A row of table '" + table_.name + "' has " + std::to_string(row.size()) + " values for " +
                      std::to_string(table_.columns.size()) + " columns.");
  for (const auto& c : columns_) {
    try {
      appendKeySegment(*c.column, row[c.position], c.ascending, key);
    } catch (const UnsupportedError& e) {
      throw UnsupportedError("Table '" + table_.name + "': " + e.what());
    }
  }
}

Bytes IndexKeyEncoder::encode(const std::vector<Value>& row) const {
  Bytes key;
  encode(row, key);
  return key;
}

bool IndexKeyEncoder::allKeyColumnsNull(const std::vector<Value>& row) const {
  for (const auto& c : columns_)
    if (c.position >= row.size() || !isNull(row[c.position])) return false;
  return true;
}

bool IndexKeyEncoder::anyKeyColumnNull(const std::vector<Value>& row) const {
  for (const auto& c : columns_)
    if (c.position >= row.size() || (isNull(row[c.position]) && c.column->type != ColumnType::Boolean)) return true;
  return false;
}

void appendRowPointer(uint32_t page, uint8_t row, Bytes& out) {
  appendBigEndian(page, 3, out);
  out.push_back(row);
}

}  // namespace kevra
