// Currency and Decimal stay exact from the statement text to the stored
// bytes: literals, text converted to them, arithmetic between them, the
// conversion functions and the aggregates, none of them through a double.
#include <gtest/gtest.h>

#include "engine/expr/expression_evaluator.h"
#include "engine/expr/expression_parser.h"
#include "engine/expr/aggregate_functions.h"
#include "engine/expr/value_coercion.h"
#include "engine/format/value_text.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

Value eval(std::string_view text) {
  expr::ExpressionEvaluator evaluator;
  return evaluator.evaluate(*expr::parseExpressionText(text), {});
}

std::string evalText(std::string_view text) { return valueToText(eval(text)); }

ColumnDef decimalColumn(uint8_t precision, uint8_t scale) {
  ColumnDef c;
  c.name = "amount";
  c.type = ColumnType::Decimal;
  c.precision = precision;
  c.scale = scale;
  return c;
}

ColumnDef currencyColumn() {
  ColumnDef c;
  c.name = "price";
  c.type = ColumnType::Currency;
  return c;
}

std::string stored(const Value& v, const ColumnDef& column) { return valueToText(expr::coerceToColumn(v, column)); }

}  // namespace

TEST(SqlExactNumbers, LiteralsWithAPointAreDecimalsAndAddUpExactly) {
  EXPECT_EQ(evalText("9999999999999 + 0.9999"), "9999999999999.9999");
  EXPECT_EQ(evalText("0.1 + 0.2"), "0.3");
  EXPECT_EQ(evalText("-0.1 - 0.2"), "-0.3");
  EXPECT_TRUE(std::holds_alternative<Decimal>(eval("1.25")));
  // Past a Long a whole number is a Decimal too; an exponent makes a Double.
  EXPECT_EQ(evalText("2147483647 + 1"), "2147483648");
  EXPECT_EQ(evalText("12345678901234567890123 + 1"), "12345678901234567890124");
  EXPECT_TRUE(std::holds_alternative<double>(eval("1.5E3")));
  EXPECT_TRUE(std::holds_alternative<double>(eval("0.1 + 1E0")));  // a Double involved gives a Double
  // Past 28 digits a literal is a Double rather than refused.
  EXPECT_TRUE(std::holds_alternative<double>(eval("123456789012345678901234567890.5")));
  // Comparisons keep every digit.
  EXPECT_EQ(std::get<bool>(eval("9999999999999.9999 < 9999999999999.99991")), true);
  EXPECT_EQ(std::get<bool>(eval("0.1 + 0.2 = 0.3")), true);
}

TEST(SqlExactNumbers, MixedTypesFollowJetsRules) {
  // Currency with Currency stays Currency; a Decimal makes it a Decimal.
  EXPECT_EQ(evalText("CCur('900000000000000.1234') + CCur('0.0001')"), "900000000000000.1235");
  EXPECT_TRUE(std::holds_alternative<Currency>(eval("CCur(1) * CCur(3)")));
  EXPECT_TRUE(std::holds_alternative<Decimal>(eval("CCur(1) * 2.5")));
  EXPECT_EQ(evalText("CCur('922337203685477.5807') - 0.5807"), "922337203685477");
  // Division with a Decimal is a Decimal of 28 digits, rounded.
  EXPECT_EQ(evalText("1.0 / 3"), "0.3333333333333333333333333333");
  EXPECT_EQ(evalText("2 / 3.0"), "0.6666666666666666666666666667");
  EXPECT_EQ(evalText("123456789012345678.1234567891 / 1.0"), "123456789012345678.1234567891");
  EXPECT_EQ(evalText("-7.5 / 2.5"), "-3");
  EXPECT_THROW(eval("1.5 / 0"), EngineError);
  // Without a Decimal, / stays a Double.
  EXPECT_TRUE(std::holds_alternative<double>(eval("7 / 2")));
  EXPECT_TRUE(std::holds_alternative<double>(eval("CCur(7) / CCur(2)")));
  // Text that reads as a fraction still counts as a Double in arithmetic.
  EXPECT_TRUE(std::holds_alternative<double>(eval("'1.5' + 1")));
  EXPECT_EQ(evalText("'1.5' + 1"), "2.5");
  EXPECT_THROW(eval("9999999999999999999999999999 + 1"), EngineError);  // past 28 digits: overflow
}

TEST(SqlExactNumbers, TextAndLiteralsConvertExactly) {
  const ColumnDef wide = decimalColumn(28, 10), price = currencyColumn();
  EXPECT_EQ(stored(std::string("123456789012345678.1234567891"), wide), "123456789012345678.1234567891");
  EXPECT_EQ(stored(eval("123456789012345678.1234567891"), wide), "123456789012345678.1234567891");
  EXPECT_EQ(stored(std::string("900000000000000.1234"), price), "900000000000000.1234");
  EXPECT_EQ(stored(eval("900000000000000.1234"), price), "900000000000000.1234");
  // The ends of the Currency range, and one past them.
  EXPECT_EQ(stored(std::string("922337203685477.5807"), price), "922337203685477.5807");
  EXPECT_EQ(stored(std::string(" -922337203685477.5808 "), price), "-922337203685477.5808");
  EXPECT_THROW(stored(std::string("922337203685477.5808"), price), EngineError);
  EXPECT_THROW(stored(std::string("-922337203685477.5809"), price), EngineError);
  // More fraction digits than the field keeps are rounded half away from zero.
  EXPECT_EQ(stored(std::string("1.23456"), price), "1.2346");
  EXPECT_EQ(stored(std::string("-1.23455"), price), "-1.2346");
  EXPECT_EQ(stored(std::string("0.00000000005"), wide), "0.0000000001");
  EXPECT_THROW(stored(std::string("1e18"), wide), EngineError);  // 19 whole digits in (28, 10)
  EXPECT_EQ(stored(std::string("1.5e3"), wide), "1500");
  // Currency and Decimal into each other.
  EXPECT_EQ(stored(eval("CCur('-922337203685477.5808')"), wide), "-922337203685477.5808");
  EXPECT_EQ(stored(eval("CDec('12345.67895')"), price), "12345.679");
}

TEST(SqlExactNumbers, ConversionFunctionsKeepEveryDigit) {
  EXPECT_EQ(evalText("CCur('922337203685477.5807')"), "922337203685477.5807");
  EXPECT_EQ(evalText("CDec('123456789012345678.1234567891')"), "123456789012345678.1234567891");
  EXPECT_TRUE(std::holds_alternative<Decimal>(eval("CDec(1)")));
  EXPECT_EQ(evalText("CDec(CDbl(0.1))"), "0.1");  // a Double by its shortest text
  EXPECT_EQ(evalText("CDec(CCur('-1.0001'))"), "-1.0001");
  EXPECT_THROW(eval("CDec(1E30)"), EngineError);
  EXPECT_THROW(eval("CDec('abc')"), EngineError);
  // Int, Fix and Round of exact values stay exact and keep their type.
  EXPECT_EQ(evalText("Int(-123456789012345678.5)"), "-123456789012345679");
  EXPECT_EQ(evalText("Fix(-123456789012345678.5)"), "-123456789012345678");
  EXPECT_TRUE(std::holds_alternative<Decimal>(eval("Int(2.5)")));
  EXPECT_EQ(evalText("Round(123456789012345678.125, 2)"), "123456789012345678.12");  // half to even
  EXPECT_EQ(evalText("Round(123456789012345678.135, 2)"), "123456789012345678.14");
  EXPECT_EQ(evalText("Round(CCur('922337203685477.5804'), 3)"), "922337203685477.58");
  EXPECT_THROW(eval("Round(CCur('922337203685477.5807'), 3)"), EngineError);  // past the largest Currency
  EXPECT_TRUE(std::holds_alternative<Currency>(eval("Round(CCur(2.5))")));
  EXPECT_EQ(evalText("Round(CCur(2.5))"), "2");
}

TEST(SqlExactNumbers, SumAndAvgOfExactTypesStayExact) {
  expr::Accumulator sum("Sum"), avg("Avg"), decimals("Avg");
  for (const char* text : {"900000000000000.1234", "0.0001", "-0.0002"}) {
    const Value v = expr::coerceToColumn(std::string(text), currencyColumn());
    sum.add(v);
    avg.add(v);
    decimals.add(expr::coerceToColumn(std::string(text), decimalColumn(28, 10)));
  }
  EXPECT_EQ(valueToText(sum.result()), "900000000000000.1233");
  ASSERT_TRUE(std::holds_alternative<Currency>(avg.result()));
  EXPECT_EQ(valueToText(avg.result()), "300000000000000.0411");
  ASSERT_TRUE(std::holds_alternative<Decimal>(decimals.result()));
  EXPECT_EQ(valueToText(decimals.result()), "300000000000000.0411");
}

// The same through statements into a file and back out of it.
TEST(SqlExactNumbers, InsertUpdateAndSelectKeepEveryDigit) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE Money (id LONG, price CURRENCY, amount DECIMAL(28, 10))");
  runSql(db, "INSERT INTO Money VALUES (1, '900000000000000.1234', '123456789012345678.1234567891')");
  runSql(db, "INSERT INTO Money VALUES (2, 922337203685477.5807, 123456789012345678.1234567891)");
  runSql(db, "INSERT INTO Money VALUES (3, '-922337203685477.5808', -0.0000000001)");
  runSql(db, "UPDATE Money SET amount = amount + 0.0000000001 WHERE id = 3");
  runSql(db, "UPDATE Money SET price = price - 0.0001, amount = amount * 2 WHERE id = 1");
  std::vector<std::string> texts;
  for (const auto& row : allRows(db, "Money")) texts.push_back(valueToText(row[1]) + " " + valueToText(row[2]));
  EXPECT_EQ(texts, (std::vector<std::string>{"900000000000000.1233 246913578024691356.2469135782",
                                             "922337203685477.5807 123456789012345678.1234567891",
                                             "-922337203685477.5808 0"}));
  LocalServices local(db);
  auto result = runStatement(db, "SELECT SUM(price) AS s, AVG(amount) AS a FROM Money WHERE id <> 2", local.services());
  std::vector<std::vector<Value>> rows;
  ASSERT_EQ(result.rows->fetch(0, 10, rows), 1u);
  EXPECT_EQ(valueToText(rows[0][0]), "-22337203685477.4575");
  EXPECT_EQ(valueToText(rows[0][1]), "123456789012345678.1234567891");
  EXPECT_EQ(checkFile(copy.path()), "clean");
}
