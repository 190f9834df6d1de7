// SchemaView: a table's structure as a data-access provider reports it —
// provider type codes, defined sizes, nullability, defaults, indexes and keys
// (primary, unique, foreign) — derived from the definition, the property blob
// and the relationships.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/table_def.h"

namespace kevra {

class Database;

// Provider (ADO DataTypeEnum) type code of a column.
int providerTypeCode(const ColumnDef& column);
// Defined size: characters for Text, bytes for Binary and fixed types, 0 for Memo/OLE.
long providerDefinedSize(const ColumnDef& column);

struct ColumnInfo {
  std::string name;
  int type = 0;  // ADO DataTypeEnum
  long definedSize = 0;
  bool fixed = false;
  bool nullable = true;
  bool autoIncrement = false;
  bool guidAutoNumber = false;
  std::optional<std::string> defaultValue;
  int precision = 0;
  int scale = 0;
  std::string description;
  std::string format;      // the Format property: how the value is shown ("" for none)
  bool hyperlink = false;  // a memo holding "display#address#subaddress#"
  bool allowZeroLength = false;
  bool compressedUnicode = false;
  std::optional<std::string> expression;  // calculated columns (ACE): what computes the stored value
  // ACE complex columns: what the hidden table behind the column holds.
  enum class Complex { None, MultiValue, Attachment };
  Complex complex = Complex::None;
  const ColumnDef* def = nullptr;  // valid while the TableDef lives
};

struct IndexColumnInfo {
  std::string name;
  bool descending = false;
};

struct IndexInfo {
  std::string name;
  std::vector<IndexColumnInfo> columns;
  bool unique = false, primary = false, ignoreNulls = false, required = false, foreign = false;
};

enum class KeyKind { Primary = 1, Foreign = 2, Unique = 3 };

struct KeyColumnInfo {
  std::string name;
  std::string relatedColumn;
};

struct KeyInfo {
  std::string name;
  KeyKind kind = KeyKind::Primary;
  std::string relatedTable;
  std::vector<KeyColumnInfo> columns;
  bool cascadeUpdates = false, cascadeDeletes = false, enforced = true;
  bool cascadeNull = false;  // deleting the parent empties the key
};

struct TableSchema {
  std::string name;
  std::vector<ColumnInfo> columns;  // column-number order
  std::vector<IndexInfo> indexes;   // stored order; relationship back-references left out
  std::vector<KeyInfo> keys;        // primary, unique, then foreign keys
};

// Throws EngineError when the table does not exist or cannot be read.
TableSchema describeTable(const Database& db, std::string_view table);

}  // namespace kevra
