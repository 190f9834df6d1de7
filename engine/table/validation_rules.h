// ValidationRules: the ValidationRule properties of one table, checked on
// every row it writes. A field's rule is written with the field left out in
// front (">0", "Between 1 And 9", "Like 'A*'", "\"M\" Or \"F\"") or as a whole
// expression; it is checked when a new row is stored and when an update
// changes the field. The table's rule names its fields and is checked on
// every insert and update. A rule that comes out false refuses the write
// with the rule's ValidationText, or a message naming the rule when it has
// none; NULL passes, as in Access. A rule the expression engine cannot
// parse or evaluate (a function it does not know, a name that is no field)
// refuses the write with the reason: a rule is never skipped.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/format/value.h"

namespace kevra {

struct PropertyBlob;

class ValidationRules {
 public:
  // The rules of `table` as `properties` (its property blob) store them.
  ValidationRules(const TableDef& table, const PropertyBlob& properties);
  ~ValidationRules();
  ValidationRules(const ValidationRules&) = delete;
  ValidationRules& operator=(const ValidationRules&) = delete;

  bool empty() const { return rules_.empty(); }
  // Throws EngineError when `row` (one value per column, converted to the
  // column types) breaks a rule. `oldRow` is the row an update replaces
  // (field rules are checked only for fields it changes); null for an insert.
  void check(const std::vector<Value>& row, const std::vector<Value>* oldRow) const;

 private:
  struct Rule;
  std::string tableName_;
  std::vector<std::string> fieldNames_;
  std::vector<std::unique_ptr<Rule>> rules_;
};

}  // namespace kevra
