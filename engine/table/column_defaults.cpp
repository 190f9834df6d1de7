// Default values of new rows, evaluated from the DefaultValue properties.
#include "engine/table/column_defaults.h"

#include <cctype>
#include <ctime>

#include "engine/catalog/property_blob.h"
#include "engine/expr/expression_evaluator.h"
#include "engine/expr/expression_parser.h"
#include "engine/expr/value_coercion.h"
#include "engine/format/value_text.h"
#include "engine/table/database.h"
#include "engine/table/table_writer.h"

namespace kevra {
namespace {

DateTime nowAsDateTime(bool dateOnly) {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  CivilDateTime c{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, dateOnly ? 0 : local.tm_hour,
                  dateOnly ? 0 : local.tm_min, dateOnly ? 0 : local.tm_sec, 0};
  return fromCivil(c);
}

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::vector<std::optional<std::string>> columnDefaultTexts(const Database& db, const TableDef& table) {
  std::vector<std::optional<std::string>> texts;
  const PropertyBlob& props = db.tableProperties(table.name);
  for (const ColumnDef& c : table.columns) {
    std::optional<std::string> text;
    if (const PropertySet* cp = props.column(c.name))
      if (const PropertyRecord* r = cp->find("DefaultValue"))
        if (auto* s = std::get_if<std::string>(&r->value)) text = *s;
    texts.push_back(std::move(text));
  }
  return texts;
}

Value evaluateColumnDefault(const std::string& text, const ColumnDef& column) {
  std::string t = text;
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.erase(t.begin());
  if (!t.empty() && t.front() == '=') t.erase(t.begin());
  const std::string l = lower(t);
  try {
    if (l == "now()") return expr::coerceToColumn(nowAsDateTime(false), column);
    if (l == "date()") return expr::coerceToColumn(nowAsDateTime(true), column);
    if (l == "genguid()") return randomGuid();
    auto parsed = expr::parseExpressionText(t);
    expr::ExpressionEvaluator evaluator;
    return expr::coerceToColumn(evaluator.evaluate(*parsed, {}), column);
  } catch (const std::exception&) {
    return std::monostate{};  // not a constant: left empty
  }
}

}  // namespace kevra
