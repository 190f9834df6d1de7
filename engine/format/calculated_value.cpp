// Unwrapping the stored results of calculated columns.
#include "engine/format/calculated_value.h"

#include "engine/format/row_codec.h"
#include "engine/format/text_codec.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

[[noreturn]] void broken(const std::string& owner) {
  throw CorruptFileError("Corrupt file: " + owner + " holds a calculated value that cannot be read.");
}

}  // namespace

Decimal decodeCalculatedDecimal(ByteSpan data, const std::string& owner) {
  if (data.size() < 4) broken(owner);
  size_t declared = u16At(data, 0);
  size_t magnitudeBytes = declared ? declared - 2 : data.size() - 4;
  if (declared == 1 || magnitudeBytes > data.size() - 4 || magnitudeBytes > 16) broken(owner);
  Decimal d;
  d.scale = data[2];
  d.negative = data[3] & 0x80;
  d.precision = 28;
  if (d.scale > 28) broken(owner);
  ByteSpan words = data.subspan(4, magnitudeBytes);
  size_t pos = 0;
  if (words.size() % 8) {
    if (words.size() % 8 != 4) broken(owner);
    d.magnitude = u32At(words, 0);
    pos = 4;
  }
  for (; pos < words.size(); pos += 8) d.magnitude = (d.magnitude << 64) | uint64_t(i64At(words, pos));
  return d;
}

Value decodeCalculatedValue(const ColumnDef& column, ByteSpan wrapper, const std::string& owner) {
  if (wrapper.size() < kCalculatedWrapperSize - 3) broken(owner);
  size_t n = u32At(wrapper, 16);
  if (n > wrapper.size() - 20) broken(owner);
  ByteSpan data = wrapper.subspan(20, n);
  switch (column.type) {
    case ColumnType::Text:
    case ColumnType::Memo: return decodeTextValue(data);
    case ColumnType::Boolean:
      if (data.empty()) return std::monostate{};
      return data[0] != 0;
    case ColumnType::Decimal:
      if (data.empty()) return std::monostate{};
      return decodeCalculatedDecimal(data, owner);
    case ColumnType::OLE:
    case ColumnType::Binary: return Binary(data.begin(), data.end());
    default:
      if (data.empty()) return std::monostate{};
      return decodeFixedWidthValue(column, data, owner);
  }
}

}  // namespace kevra
