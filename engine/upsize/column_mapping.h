// How one Jet column becomes a column of a server database: its type, NOT
// NULL, identity, default, and the one text form of its values that both the
// copy and the later verification use.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "engine/format/value.h"
#include "engine/table/schema_view.h"

namespace kevra {

enum class TargetDialect { PostgreSQL, SQLite };

// What a value is, for its text form and for comparing it after the copy.
enum class ValueKind { Boolean, Integer, Single, Double, Exact, Timestamp, Text, Bytes, Uuid };

struct MappedColumn {
  std::string name;
  ValueKind kind = ValueKind::Text;
  std::string typeSql;           // type with CHECK, NOT NULL, identity and DEFAULT
  bool identity = false;         // counting autonumber carried as an identity column
  bool caseInsensitiveText = false;  // Text and Memo: Jet compares them without case
  int integerBytes = 0;          // Integer: 2, 4 or 8, the width of the target's integer type
  int scale = 0;                 // Exact: digits after the point
  std::string comment;           // description, empty when none
  std::vector<std::string> notes;  // defaults left out and other things the report names
};

// Throws EngineError naming table and column when the type has no
// counterpart in the target.
MappedColumn mapColumn(const ColumnInfo& column, const std::string& table, TargetDialect dialect,
                       bool soleIntegerPrimaryKey);

// A Jet default expression in the target's SQL, or nullopt when it is not a
// constant (or one of Now(), Date(), GenGUID()) that the target can express.
std::optional<std::string> translateDefault(const std::string& jetDefault, ValueKind kind, TargetDialect dialect);

// The canonical text of a value: what is sent to the target (before any
// escaping) and what verification hashes. Throws EngineError for values the
// target cannot hold (a date outside the years 100 to 9999, a NUL in text).
std::string canonicalText(const Value& value, ValueKind kind);

// Throws EngineError, as canonicalText does, for a value the target cannot
// hold; builds no text.
void checkValue(const Value& value);

// The target's own text of a value brought to the canonical form.
std::string normalizeTargetText(const std::string& text, ValueKind kind);

std::string quoteIdentifier(const std::string& name);
std::string quoteLiteral(const std::string& text);

}  // namespace kevra
