// Names and classification of column types.
#include "engine/format/value.h"

namespace kevra {

const char* columnTypeName(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return "Yes/No";
    case ColumnType::Byte: return "Byte";
    case ColumnType::Integer: return "Integer";
    case ColumnType::Long: return "Long Integer";
    case ColumnType::Currency: return "Currency";
    case ColumnType::Single: return "Single";
    case ColumnType::Double: return "Double";
    case ColumnType::DateTime: return "Date/Time";
    case ColumnType::Binary: return "Binary";
    case ColumnType::Text: return "Text";
    case ColumnType::OLE: return "OLE Object";
    case ColumnType::Memo: return "Memo";
    case ColumnType::Guid: return "Replication ID";
    case ColumnType::Decimal: return "Decimal";
    case ColumnType::Complex: return "Complex";
    case ColumnType::BigInt: return "Large Number";
    case ColumnType::ExtendedDateTime: return "Date/Time Extended";
    case ColumnType::Unknown0D:
    case ColumnType::Unknown11: return "Unknown";
  }
  return "Unknown";
}

bool isKnownColumnType(uint8_t code) {
  return (code >= 0x01 && code <= 0x0D) || (code >= 0x0F && code <= 0x14);
}

bool isLongValueType(ColumnType type) { return type == ColumnType::Memo || type == ColumnType::OLE; }

}  // namespace kevra
