// What a structure change asks for: columns, indexes and relationships as
// the caller describes them, before the engine lays them out in a TDEF.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/value.h"

namespace kevra {

struct ColumnSpec {
  std::string name;
  ColumnType type = ColumnType::Text;
  uint16_t length = 0;      // bytes as stored: Text 2 x characters, Binary bytes, fixed types their width
  bool autoNumber = false;  // Long: incrementing; Guid: a new GUID per row
  uint8_t precision = 0;    // Decimal
  uint8_t scale = 0;        // Decimal
  bool required = false;    // NOT NULL
  bool compressedText = true;  // Text and Memo: stored with Unicode compression
  // Kept as another file stored them (copies of tables): the type code,
  // which may be one the engine only knows as bytes, and the column flags.
  // 0 means: as the type implies.
  uint8_t storedType = 0;
  uint8_t storedFlags = 0;
  // Likewise the extra flags (Unicode compression of text) and the text sort
  // order with its version; unset: what a new column gets.
  std::optional<uint8_t> storedExtFlags;
  std::optional<uint16_t> storedSortOrder;
  uint8_t storedSortVersion = 0;
};

struct IndexColumnSpec {
  std::string name;
  bool descending = false;
};

struct IndexSpec {
  std::string name;
  std::vector<IndexColumnSpec> columns;
  bool primaryKey = false;
  bool unique = false;
  bool required = false;     // no NULL in any key field (DISALLOW NULL)
  bool ignoreNulls = false;  // rows whose key fields are all NULL get no entry
};

struct RelationshipSpec {
  std::string name;                   // empty: referenced table + table, made unique
  std::string table;                  // holds the foreign key
  std::vector<std::string> columns;
  std::string referencedTable;
  std::vector<std::string> referencedColumns;  // empty: the referenced table's primary key
  bool enforced = true;
  bool cascadeUpdates = false;
  bool cascadeDeletes = false;
  bool cascadeNull = false;  // deleting a parent row empties the children's foreign key
};

}  // namespace kevra
