// Validation rules read from the property blobs, bound to the table's
// columns and evaluated with the expression engine.
#include "engine/table/validation_rules.h"

#include <algorithm>
#include <cctype>

#include "engine/catalog/property_blob.h"
#include "engine/expr/expression_evaluator.h"
#include "engine/expr/expression_parser.h"
#include "engine/expr/lexer.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {

struct ValidationRules::Rule {
  std::optional<size_t> field;  // the field of a field rule; none for the table's rule
  std::string text;             // as stored
  std::string validationText;   // empty when the file gives none
  expr::ExprPtr expression;     // null when it could not be read
  std::string problem;          // why it could not be read
};

namespace {

std::string textProperty(const PropertySet& set, const char* name) {
  if (const PropertyRecord* r = set.find(name))
    if (const auto* s = std::get_if<std::string>(&r->value)) return *s;
  return {};
}

std::string trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool isComparisonSymbol(const expr::Token& t) {
  for (const char* op : {"=", "<>", "<", ">", "<=", ">="})
    if (t.isSymbol(op)) return true;
  return false;
}

// A field rule with the field left out in front of its comparisons
// (">0 And <100", "Not Like 'x*'") gets it back: "[f] >0 And [f] <100".
std::string withFieldInFront(const std::string& rule, const std::string& field) {
  const std::vector<expr::Token> tokens = expr::tokenize(rule);
  const std::string name = "[" + field + "]";
  std::string out;
  bool operandStart = true;  // at the start of an operand of AND / OR / NOT, or of a parenthesis
  bool inBetween = false;    // the next AND belongs to BETWEEN
  for (size_t i = 0; i < tokens.size() && tokens[i].kind != expr::TokenKind::End; ++i) {
    const expr::Token& t = tokens[i];
    bool negatedWord = false;
    if (operandStart) {
      negatedWord = t.isKeyword("NOT") && i + 1 < tokens.size() &&
                               (tokens[i + 1].isKeyword("LIKE") || tokens[i + 1].isKeyword("IN") ||
                                tokens[i + 1].isKeyword("BETWEEN"));
      if (isComparisonSymbol(t) || t.isKeyword("LIKE") || t.isKeyword("IN") || t.isKeyword("BETWEEN") ||
          t.isKeyword("IS") || negatedWord)
        out += name + " ";
    }
    out += t.source + " ";
    if (t.isKeyword("BETWEEN")) inBetween = true;
    if (t.isKeyword("AND") && inBetween) {
      inBetween = false;
      operandStart = false;
      continue;
    }
    operandStart = t.isKeyword("AND") || t.isKeyword("OR") || (t.isKeyword("NOT") && !negatedWord) || t.isSymbol("(");
  }
  return out;
}

// A bare value among a field rule's alternatives ("M" Or "F") stands for
// the field being equal to it.
void compareBareValues(expr::ExprPtr& e, size_t field, const std::string& fieldName) {
  const bool logical = (e->kind == expr::ExprKind::Binary && (e->op == "AND" || e->op == "OR")) ||
                       (e->kind == expr::ExprKind::Unary && e->op == "NOT");
  if (logical) {
    for (auto& operand : e->operands) compareBareValues(operand, field, fieldName);
    return;
  }
  if (e->kind != expr::ExprKind::Literal) return;
  auto column = std::make_unique<expr::Expr>();
  column->kind = expr::ExprKind::Column;
  column->name = fieldName;
  column->columnIndex = int(field);
  auto equal = std::make_unique<expr::Expr>();
  equal->kind = expr::ExprKind::Binary;
  equal->op = "=";
  equal->position = e->position;
  equal->operands.push_back(std::move(column));
  equal->operands.push_back(std::move(e));
  e = std::move(equal);
}

// Every name in the rule is a field of the table (the table's own name may
// stand in front of it).
void bindToTable(expr::Expr& e, const TableDef& table) {
  if (e.kind == expr::ExprKind::Column && e.columnIndex < 0) {
    if (!e.qualifier.empty() && !namesEqualCaseInsensitive(e.qualifier, table.name))
      throw EngineError("it names table '" + e.qualifier + "', and a rule can only use fields of its own table");
    for (size_t i = 0; i < table.columns.size(); ++i)
      if (namesEqualCaseInsensitive(table.columns[i].name, e.name)) e.columnIndex = int(i);
    if (e.columnIndex < 0) throw EngineError("it names '" + e.name + "', which is not a field of the table");
  }
  if (e.kind == expr::ExprKind::Subquery) throw EngineError("it holds a subquery");
  for (auto& operand : e.operands) bindToTable(*operand, table);
}

}  // namespace

ValidationRules::ValidationRules(const TableDef& table, const PropertyBlob& properties) : tableName_(table.name) {
  const auto add = [&](const PropertySet& set, std::optional<size_t> field) {
    const std::string text = trimmed(textProperty(set, "ValidationRule"));
    if (text.empty()) return;
    auto rule = std::make_unique<Rule>();
    rule->field = field;
    rule->text = text;
    rule->validationText = textProperty(set, "ValidationText");
    try {
      const std::string source = field ? withFieldInFront(text, table.columns[*field].name) : text;
      rule->expression = expr::parseExpressionText(source);
      if (field) compareBareValues(rule->expression, *field, table.columns[*field].name);
      bindToTable(*rule->expression, table);
    } catch (const std::exception& error) {
      rule->expression.reset();
      rule->problem = error.what();
    }
    rules_.push_back(std::move(rule));
  };
  add(properties.table, std::nullopt);
  for (size_t i = 0; i < table.columns.size(); ++i)
    if (const PropertySet* set = properties.column(table.columns[i].name)) add(*set, i);
  // Field rules first, as a user fixes a field before the row.
  std::stable_partition(rules_.begin(), rules_.end(), [](const auto& r) { return r->field.has_value(); });
  for (const ColumnDef& c : table.columns) fieldNames_.push_back(c.name);
}

ValidationRules::~ValidationRules() = default;

void ValidationRules::check(const std::vector<Value>& row, const std::vector<Value>* oldRow) const {
  for (const auto& rule : rules_) {
    if (rule->field && oldRow && *rule->field < oldRow->size() && *rule->field < row.size()) {
      if (row[*rule->field] == (*oldRow)[*rule->field]) continue;  // the update leaves this field as it was
    }
    const std::string owner = rule->field ? "field '" + fieldNames_[*rule->field] + "' of table '" +
                                                tableName_ + "'"
                                          : "table '" + tableName_ + "'";
    const std::string cannot = "The validation rule of " + owner + " (" + rule->text +
                               ") cannot be checked, so the change was not stored: ";
    if (!rule->expression) throw EngineError(cannot + rule->problem);
    std::optional<bool> holds;
    try {
      expr::ExpressionEvaluator evaluator;
      holds = expr::truthOf(evaluator.evaluate(*rule->expression, row));
    } catch (const std::exception& error) {
      throw EngineError(cannot + error.what());
    }
    if (holds.value_or(true)) continue;  // NULL passes
    if (!rule->validationText.empty()) throw EngineError(rule->validationText);
    throw EngineError(rule->field ? "The value of " + owner + " breaks its validation rule: " + rule->text + "."
                                  : "The row breaks the validation rule of " + owner + ": " + rule->text + ".");
  }
}

}  // namespace kevra
