// Type words and their synonyms. Text without a size is 255 characters, as in
// Jet DDL; DECIMAL defaults to precision 18, scale 0.
#include "engine/sql/sql_type_words.h"

#include <array>
#include <string>

#include "engine/expr/text_collation.h"
#include "engine/util/error.h"

namespace kevra::sql {
namespace {

struct Word {
  const char* word;
  ColumnType type;
  bool autoNumber;
};

constexpr std::array<Word, 46> kWords = {{
    {"TEXT", ColumnType::Text, false},          {"VARCHAR", ColumnType::Text, false},
    {"CHAR", ColumnType::Text, false},          {"CHARACTER", ColumnType::Text, false},
    {"STRING", ColumnType::Text, false},        {"ALPHANUMERIC", ColumnType::Text, false},
    {"NVARCHAR", ColumnType::Text, false},      {"NCHAR", ColumnType::Text, false},
    {"MEMO", ColumnType::Memo, false},          {"LONGTEXT", ColumnType::Memo, false},
    {"LONGCHAR", ColumnType::Memo, false},      {"NOTE", ColumnType::Memo, false},
    {"NTEXT", ColumnType::Memo, false},         {"BYTE", ColumnType::Byte, false},
    {"TINYINT", ColumnType::Byte, false},       {"INTEGER1", ColumnType::Byte, false},
    {"SHORT", ColumnType::Integer, false},      {"SMALLINT", ColumnType::Integer, false},
    {"INTEGER2", ColumnType::Integer, false},   {"LONG", ColumnType::Long, false},
    {"INT", ColumnType::Long, false},           {"INTEGER", ColumnType::Long, false},
    {"INTEGER4", ColumnType::Long, false},      {"COUNTER", ColumnType::Long, true},
    {"AUTOINCREMENT", ColumnType::Long, true},  {"IDENTITY", ColumnType::Long, true},
    {"SINGLE", ColumnType::Single, false},      {"REAL", ColumnType::Single, false},
    {"FLOAT4", ColumnType::Single, false},      {"DOUBLE", ColumnType::Double, false},
    {"FLOAT", ColumnType::Double, false},       {"FLOAT8", ColumnType::Double, false},
    {"NUMBER", ColumnType::Double, false},      {"CURRENCY", ColumnType::Currency, false},
    {"MONEY", ColumnType::Currency, false},     {"DATETIME", ColumnType::DateTime, false},
    {"DATE", ColumnType::DateTime, false},      {"TIME", ColumnType::DateTime, false},
    {"BIT", ColumnType::Boolean, false},        {"YESNO", ColumnType::Boolean, false},
    {"LOGICAL", ColumnType::Boolean, false},    {"GUID", ColumnType::Guid, false},
    {"LONGBINARY", ColumnType::OLE, false},     {"OLEOBJECT", ColumnType::OLE, false},
    {"BINARY", ColumnType::Binary, false},      {"VARBINARY", ColumnType::Binary, false},
}};

[[noreturn]] void refuse(const ColumnClause& clause, const std::string& problem) {
  throw EngineError("Field '" + clause.name + "': " + problem);
}

}  // namespace

SqlColumnType resolveColumnType(const ColumnClause& clause) {
  SqlColumnType r;
  const auto is = [&](const char* w) { return compareTextIgnoringCase(clause.typeWord, w) == 0; };
  if (is("DECIMAL") || is("NUMERIC") || is("DEC")) {
    r.type = ColumnType::Decimal;
    r.length = 17;
    r.precision = uint8_t(clause.size.value_or(18));
    r.scale = clause.scale.value_or(0);
    if (clause.size && (*clause.size < 1 || *clause.size > 28)) refuse(clause, "a DECIMAL precision must be 1 to 28.");
    if (r.scale > r.precision) refuse(clause, "a DECIMAL scale cannot exceed its precision.");
    return r;
  }
  const Word* found = nullptr;
  for (const Word& w : kWords)
    if (is(w.word)) found = &w;
  if (!found) refuse(clause, "'" + clause.typeWord + "' is not a data type.");
  r.type = found->type;
  r.autoNumber = found->autoNumber;
  if (clause.scale) refuse(clause, "only DECIMAL takes a scale.");
  switch (r.type) {
    case ColumnType::Text:
      if (clause.size && (*clause.size < 1 || *clause.size > 255)) refuse(clause, "a text size must be 1 to 255.");
      r.length = uint16_t(2 * clause.size.value_or(255));
      return r;
    case ColumnType::Binary:
      if (clause.size && (*clause.size < 1 || *clause.size > 255)) refuse(clause, "a binary size must be 1 to 255.");
      r.length = uint16_t(clause.size.value_or(255));
      return r;
    default:
      break;
  }
  if (clause.size) refuse(clause, "the type '" + clause.typeWord + "' takes no size.");
  switch (r.type) {
    case ColumnType::Boolean: r.length = 1; break;
    case ColumnType::Byte: r.length = 1; break;
    case ColumnType::Integer: r.length = 2; break;
    case ColumnType::Long:
    case ColumnType::Single: r.length = 4; break;
    case ColumnType::Double:
    case ColumnType::Currency:
    case ColumnType::DateTime: r.length = 8; break;
    case ColumnType::Guid: r.length = 16; break;
    default: r.length = 0; break;
  }
  return r;
}

}  // namespace kevra::sql
