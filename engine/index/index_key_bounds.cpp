// Seek bounds from values, by column type.
#include "engine/index/index_key_bounds.h"

#include "engine/index/general97_key_encoder.h"
#include "engine/index/index_key_encoder.h"
#include "engine/index/text_key_encoder.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

bool isText(const ColumnDef& column) { return column.type == ColumnType::Text || column.type == ColumnType::Memo; }

}  // namespace

bool appendEqualityBound(const ColumnDef& column, const Value& value, bool ascending, Bytes& out) {
  if (!isText(column) || isNull(value)) {
    appendKeySegment(column, value, ascending, out);
    return true;
  }
  const std::string* text = std::get_if<std::string>(&value);
  if (!text) throw EngineError("A text key of column '" + column.name + "' was sought with a value of another type.");
  Bytes check;
  appendKeySegment(column, value, ascending, check);  // refuses sort orders keys cannot be built in
  if (column.codePage != 0) {
    appendGeneral97KeyPrimary(ByteSpan(general97Bytes(column, *text)), ascending, out);
    return false;
  }
  appendTextKeyPrimary(utf8ToUtf16(*text), ascending, true, out, column.sortVersion);
  return false;
}

void appendTextStartBound(const ColumnDef& column, std::string_view prefix, bool ascending, Bytes& out) {
  Bytes check;
  appendKeySegment(column, std::string(prefix), ascending, check);
  if (column.codePage != 0) return appendGeneral97KeyPrimary(ByteSpan(general97Bytes(column, prefix)), ascending, out);
  appendTextKeyPrimary(utf8ToUtf16(std::string(prefix)), ascending, false, out, column.sortVersion);
}

bool keyOrderIsValueOrder(const ColumnDef& column) {
  switch (column.type) {
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Currency:
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::DateTime:
    case ColumnType::Decimal:
    case ColumnType::BigInt:
    case ColumnType::ExtendedDateTime:
      return true;
    default:
      return false;
  }
}

}  // namespace kevra
