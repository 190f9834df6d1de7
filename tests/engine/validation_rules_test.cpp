// Validation rules: field rules written with the field left out in front and
// table rules over several fields, checked on every row the writer stores.
// A broken rule refuses with the rule's ValidationText or a message naming
// the rule; a rule the engine cannot evaluate refuses and names why; the
// file is left as it was.
#include <gtest/gtest.h>

#include "engine/catalog/property_blob.h"
#include "engine/table/validation_rules.h"
#include "write_test_support.h"

using namespace kevra;

namespace {

// testv2000.mdb Table1: A, B text; C Byte; D Integer; E Long; F Double; G date; H Currency; I Yes/No.
std::shared_ptr<const TableDef> typesTable() {
  static auto db = Database::open(test::sample("testv2000.mdb"));
  return db->table("Table1");
}

std::vector<Value> rowWith(size_t column, Value value) {
  std::vector<Value> row(typesTable()->columns.size());
  row[column] = std::move(value);
  return row;
}

// The message check() refuses `row` with; empty when it accepts it.
std::string refusal(const ValidationRules& rules, const std::vector<Value>& row,
                    const std::vector<Value>* old = nullptr) {
  try {
    rules.check(row, old);
    return {};
  } catch (const EngineError& e) {
    return e.what();
  }
}

ValidationRules fieldRule(const char* field, const char* rule, const char* text = nullptr) {
  PropertyBlob blob;
  PropertySet& set = blob.columnForChange(field);
  set.set("ValidationRule", ColumnType::Memo, std::string(rule));
  if (text) set.set("ValidationText", ColumnType::Memo, std::string(text));
  return ValidationRules(*typesTable(), blob);
}

}  // namespace

TEST(ValidationRules, FieldRulesTakeTheFieldInFront) {
  const size_t E = 4, A = 0;
  {
    auto rules = fieldRule("E", ">0 And <100");
    EXPECT_EQ(refusal(rules, rowWith(E, int32_t(5))), "");
    EXPECT_NE(refusal(rules, rowWith(E, int32_t(100))).find("breaks its validation rule: >0 And <100"),
              std::string::npos);
    EXPECT_EQ(refusal(rules, rowWith(E, Value{})), "");  // NULL passes
  }
  {
    auto rules = fieldRule("E", "Between 1 And 9 Or Is Null");
    EXPECT_EQ(refusal(rules, rowWith(E, int32_t(9))), "");
    EXPECT_NE(refusal(rules, rowWith(E, int32_t(10))), "");
  }
  {
    auto rules = fieldRule("A", "\"M\" Or \"F\"", "Enter M or F.");
    EXPECT_EQ(refusal(rules, rowWith(A, std::string("F"))), "");
    EXPECT_EQ(refusal(rules, rowWith(A, std::string("X"))), "Enter M or F.");  // the file's own text
  }
  {
    auto rules = fieldRule("A", "Not Like 'x*' And Is Not Null");
    EXPECT_EQ(refusal(rules, rowWith(A, std::string("abc"))), "");
    EXPECT_NE(refusal(rules, rowWith(A, std::string("xyz"))), "");
    EXPECT_NE(refusal(rules, rowWith(A, Value{})), "");
  }
  {
    auto rules = fieldRule("E", "In (1, 2, 3)");
    EXPECT_EQ(refusal(rules, rowWith(E, int32_t(2))), "");
    EXPECT_NE(refusal(rules, rowWith(E, int32_t(4))), "");
  }
  {
    auto rules = fieldRule("A", "Len([A]) >= 2");  // a whole expression
    EXPECT_EQ(refusal(rules, rowWith(A, std::string("ab"))), "");
    EXPECT_NE(refusal(rules, rowWith(A, std::string("a"))), "");
  }
}

TEST(ValidationRules, UpdatesCheckOnlyTheFieldsTheyChange) {
  const size_t E = 4, D = 3;
  auto rules = fieldRule("E", ">0");
  std::vector<Value> old = rowWith(E, int32_t(-5));  // stored before the rule
  std::vector<Value> changedElsewhere = old;
  changedElsewhere[D] = int16_t(7);
  EXPECT_EQ(refusal(rules, changedElsewhere, &old), "");
  std::vector<Value> changedHere = old;
  changedHere[E] = int32_t(-6);
  EXPECT_NE(refusal(rules, changedHere, &old), "");
}

TEST(ValidationRules, TableRuleWeighsSeveralFields) {
  PropertyBlob blob;
  blob.table.set("ValidationRule", ColumnType::Memo, std::string("[D] < [E]"));
  ValidationRules rules(*typesTable(), blob);
  std::vector<Value> row = rowWith(3, int16_t(1));
  row[4] = int32_t(2);
  EXPECT_EQ(refusal(rules, row), "");
  row[4] = int32_t(1);
  EXPECT_EQ(refusal(rules, row), "The row breaks the validation rule of table 'Table1': [D] < [E].");
}

TEST(ValidationRules, RulesTheEngineCannotEvaluateRefuseTheWrite) {
  const std::string unknown = refusal(fieldRule("E", "DLookUp(\"x\", \"T\") > 0"), rowWith(4, int32_t(1)));
  EXPECT_NE(unknown.find("cannot be checked"), std::string::npos) << unknown;
  EXPECT_NE(unknown.find("DLookUp"), std::string::npos) << unknown;
  const std::string noField = refusal(fieldRule("E", "[Nowhere] > 0"), rowWith(4, int32_t(1)));
  EXPECT_NE(noField.find("'Nowhere'"), std::string::npos) << noField;
  const std::string syntax = refusal(fieldRule("E", "> > 0"), rowWith(4, int32_t(1)));
  EXPECT_NE(syntax.find("cannot be checked"), std::string::npos) << syntax;
}

TEST(ValidationRules, InsertAndUpdateStatementsHonourTheFileRules) {
  // accesslike.mdb t_like1.a1 has the rule CLng("a1")>2, which no row meets.
  test::ScratchCopy copy("accesslike.mdb");
  auto db = test::openForWriting(copy.path());
  const std::vector<char> before = copy.bytes();
  test::expectRefusedUnchanged(db, copy, before, "INSERT INTO t_like1 (a1, a2) VALUES ('x', 'y')",
                               "validation rule of field 'a1' of table 't_like1'");
  test::expectRefusedUnchanged(db, copy, before, "INSERT INTO t_like1 (a2) VALUES ('y')", "CLng");
  // Another table of the file, without rules, takes rows as before.
  test::runSql(db, "INSERT INTO t_like2 (Campo2) VALUES ('no rule here')");
  EXPECT_NE(copy.bytes(), before);
}
