// The data type words DDL statements take ("text", "long", "counter",
// "DATETIME", ...) and the column each one makes, with Jet's synonyms.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/format/value.h"
#include "engine/sql/ast.h"

namespace kevra::sql {

struct SqlColumnType {
  ColumnType type = ColumnType::Text;
  uint16_t length = 0;     // bytes as stored in the definition (Text: 2 x characters)
  bool autoNumber = false;  // counter / autoincrement
  uint8_t precision = 0;   // Decimal
  uint8_t scale = 0;       // Decimal
};

// The column `clause` defines. Throws EngineError naming the field for an
// unknown type word, a size where none applies, or a size out of range.
SqlColumnType resolveColumnType(const ColumnClause& clause);

}  // namespace kevra::sql
