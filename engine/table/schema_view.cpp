// Deriving the provider's view of a table from the stored structures.
#include "engine/table/schema_view.h"

#include "engine/table/complex_columns.h"
#include "engine/table/database.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

bool boolProperty(const PropertySet* set, std::string_view name) {
  if (!set) return false;
  const PropertyRecord* r = set->find(name);
  if (!r) return false;
  if (auto b = std::get_if<bool>(&r->value)) return *b;
  return false;
}

std::optional<std::string> textProperty(const PropertySet* set, std::string_view name) {
  if (!set) return std::nullopt;
  const PropertyRecord* r = set->find(name);
  if (!r) return std::nullopt;
  if (auto s = std::get_if<std::string>(&r->value)) return *s;
  return std::nullopt;
}

std::string columnName(const TableDef& t, uint16_t number) {
  const ColumnDef* c = t.columnByNumber(number);
  if (!c)
    throw CorruptFileError("Corrupt file: an index of table '" + t.name + "' refers to column number " +
                           std::to_string(number) + ", which does not exist.");
  return c->name;
}

}  // namespace

int providerTypeCode(const ColumnDef& c) {
  switch (c.type) {
    case ColumnType::Boolean: return 11;
    case ColumnType::Byte: return 17;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: return 3;
    case ColumnType::Currency: return 6;
    case ColumnType::Single: return 4;
    case ColumnType::Double: return 5;
    case ColumnType::DateTime: return 7;
    case ColumnType::Binary: return c.isFixed() ? 128 : 204;
    case ColumnType::Text: return c.isFixed() ? 130 : 202;
    case ColumnType::OLE: return 205;
    case ColumnType::Memo: return 203;
    case ColumnType::Guid: return 72;
    case ColumnType::Decimal: return 131;
    case ColumnType::BigInt: return 20;            // adBigInt
    case ColumnType::ExtendedDateTime: return 135;  // adDBTimeStamp
    case ColumnType::Complex: return 203;           // shown as the text of its values
    default: return 128;  // unknown codes read as fixed binary
  }
}

long providerDefinedSize(const ColumnDef& c) {
  switch (c.type) {
    case ColumnType::Text: return c.length / 2;
    case ColumnType::Memo:
    case ColumnType::OLE:
    case ColumnType::Complex: return 0;
    case ColumnType::Boolean: return 2;
    case ColumnType::Decimal: return 16;
    default: return c.length;
  }
}

TableSchema describeTable(const Database& db, std::string_view tableName) {
  auto def = db.table(tableName);
  const PropertyBlob& props = db.tableProperties(tableName);
  TableSchema s;
  s.name = def->name;
  for (const ColumnDef& c : def->columns) {
    const PropertySet* cp = props.column(c.name);
    ColumnInfo ci;
    ci.name = c.name;
    ci.type = providerTypeCode(c);
    ci.definedSize = providerDefinedSize(c);
    ci.fixed = c.isFixed();
    ci.nullable = c.type != ColumnType::Boolean && !boolProperty(cp, "Required");
    // A complex column's cell is a key the engine numbers, not an autonumber.
    ci.autoIncrement = c.isLongAutoNumber() && c.type != ColumnType::Complex;
    if (c.type == ColumnType::Complex) {
      const auto complex = db.complexColumns();
      ci.complex = complex && complex->isAttachmentColumn(c) ? ColumnInfo::Complex::Attachment
                                                             : ColumnInfo::Complex::MultiValue;
    }
    ci.guidAutoNumber = c.isGuidAutoNumber();
    ci.defaultValue = textProperty(cp, "DefaultValue");
    if (c.type == ColumnType::Decimal) {
      ci.precision = c.precision;
      ci.scale = c.scale;
    }
    ci.description = textProperty(cp, "Description").value_or("");
    ci.format = textProperty(cp, "Format").value_or("");
    ci.hyperlink = c.type == ColumnType::Memo && c.isHyperlink();
    ci.allowZeroLength = boolProperty(cp, "AllowZeroLength");
    ci.compressedUnicode = c.isCompressedUnicode();
    if (c.isCalculated()) ci.expression = textProperty(cp, "Expression").value_or("");
    ci.def = &c;
    s.columns.push_back(std::move(ci));
  }

  std::vector<KeyInfo> uniqueKeys;
  for (const LogicalIndexDef& li : def->logicalIndexes) {
    if (li.kind == IndexKind::ForeignKey && li.relationshipRole == 1) continue;  // back-reference of a relationship
    const RealIndexDef& ri = def->realIndexes[li.realIndex];
    IndexInfo ii;
    ii.name = li.name;
    for (const auto& ref : ri.columns) ii.columns.push_back({columnName(*def, ref.columnNumber), !ref.ascending});
    ii.primary = li.kind == IndexKind::PrimaryKey;
    ii.unique = ri.unique() || ii.primary;
    ii.ignoreNulls = ri.ignoreNulls();
    ii.required = ri.required();
    ii.foreign = li.kind == IndexKind::ForeignKey;
    if (ii.primary || (ii.unique && !ii.foreign)) {
      KeyInfo k;
      k.name = ii.name;
      k.kind = ii.primary ? KeyKind::Primary : KeyKind::Unique;
      for (const auto& col : ii.columns) k.columns.push_back({col.name, ""});
      (ii.primary ? s.keys : uniqueKeys).push_back(std::move(k));
    }
    s.indexes.push_back(std::move(ii));
  }
  for (auto& k : uniqueKeys) s.keys.push_back(std::move(k));

  for (const Relationship& r : db.relationships()) {
    if (!namesEqualCaseInsensitive(r.table, def->name)) continue;
    KeyInfo k;
    k.name = r.name;
    k.kind = KeyKind::Foreign;
    k.relatedTable = r.referencedTable;
    k.cascadeUpdates = r.cascadeUpdates();
    k.cascadeDeletes = r.cascadeDeletes();
    k.cascadeNull = r.cascadeNull();
    k.enforced = r.enforced();
    for (const auto& c : r.columns) k.columns.push_back({c.column, c.referencedColumn});
    s.keys.push_back(std::move(k));
  }
  return s;
}

}  // namespace kevra
