// Lexing SQL text: literals, names, operators and where each token starts.
#include <gtest/gtest.h>

#include "engine/expr/date_literal.h"
#include "engine/format/value_text.h"
#include "engine/expr/lexer.h"
#include "engine/expr/syntax_error.h"

using namespace kevra;
using namespace kevra::expr;

namespace {

Token single(std::string_view sql) {
  auto tokens = tokenize(sql);
  EXPECT_EQ(tokens.size(), 2u) << sql;
  EXPECT_EQ(tokens.back().kind, TokenKind::End);
  return tokens.front();
}

double serialOf(std::string_view sql) { return std::get<DateTime>(single(sql).value).serial; }

}  // namespace

TEST(SqlLexerText, BothQuotesWithDoubledQuoteEscapes) {
  Token t = single("'it''s'");
  EXPECT_EQ(t.kind, TokenKind::String);
  EXPECT_EQ(std::get<std::string>(t.value), "it's");
  t = single("\"say \"\"hi\"\"\"");
  EXPECT_EQ(std::get<std::string>(t.value), "say \"hi\"");
  // The other quote needs no escape.
  EXPECT_EQ(std::get<std::string>(single("\"it's\"").value), "it's");
  EXPECT_EQ(std::get<std::string>(single("''").value), "");
}

TEST(SqlLexerText, UnterminatedTextIsAnErrorAtItsStart) {
  try {
    tokenize("SELECT 'abc");
    FAIL();
  } catch (const SyntaxError& e) {
    EXPECT_EQ(e.position(), 8u);
    EXPECT_NE(std::string(e.what()).find("'abc"), std::string::npos) << e.what();
  }
}

TEST(SqlLexerNames, BracketedNamesKeepBlanksAndPunctuation) {
  Token t = single("[Order Details #2]");
  EXPECT_EQ(t.kind, TokenKind::Name);
  EXPECT_EQ(t.text, "Order Details #2");
  EXPECT_EQ(single("[orders#csv]").text, "orders#csv");
  EXPECT_EQ(single("[a'b\"c]").text, "a'b\"c");
  EXPECT_THROW(tokenize("[no end"), SyntaxError);
  EXPECT_THROW(tokenize("[]"), SyntaxError);
}

TEST(SqlLexerNames, BareWordsAndKeywordsIgnoreCase) {
  auto tokens = tokenize("select Name_1 frOM über");
  ASSERT_EQ(tokens.size(), 5u);
  EXPECT_TRUE(tokens[0].isKeyword("SELECT"));
  EXPECT_EQ(tokens[1].text, "Name_1");
  EXPECT_TRUE(tokens[2].isKeyword("FROM"));
  EXPECT_EQ(tokens[3].text, "über");
  EXPECT_TRUE(isReservedWord("where"));
  EXPECT_FALSE(isReservedWord("Price"));
}

TEST(SqlLexerNumbers, IntegersDecimalsAndExponents) {
  EXPECT_EQ(std::get<int32_t>(single("42").value), 42);
  EXPECT_EQ(single("42").kind, TokenKind::Integer);
  EXPECT_EQ(std::get<int32_t>(single("2147483647").value), 2147483647);
  // Too big for a Long, or with a point: an exact Decimal while 28 digits hold it.
  auto decimalText = [](std::string_view sql) { return decimalToString(std::get<Decimal>(single(sql).value)); };
  EXPECT_EQ(decimalText("2147483648"), "2147483648");
  EXPECT_EQ(decimalText("3.25"), "3.25");
  EXPECT_EQ(std::get<Decimal>(single("3.250").value).scale, 3);
  EXPECT_EQ(single("3.25").kind, TokenKind::Number);
  EXPECT_EQ(decimalText(".5"), "0.5");
  EXPECT_EQ(decimalText("123456789012345678.1234567891"), "123456789012345678.1234567891");
  EXPECT_EQ(decimalText("9999999999999999999999999999"), "9999999999999999999999999999");
  // Past 28 digits, or with an exponent: a Double.
  EXPECT_DOUBLE_EQ(std::get<double>(single("99999999999999999999999999999").value), 1e29);
  EXPECT_DOUBLE_EQ(std::get<double>(single("1.5E3").value), 1500.0);
  EXPECT_DOUBLE_EQ(std::get<double>(single("3.4028235e+38").value), 3.4028235e38);
  EXPECT_THROW(tokenize("12abc"), SyntaxError);
  EXPECT_THROW(tokenize("1E400"), SyntaxError);
}

TEST(SqlLexerDates, IsoUsAndTimeForms) {
  // 2024-01-31 is day 45322 after 1899-12-30.
  EXPECT_DOUBLE_EQ(serialOf("#2024-01-31#"), 45322.0);
  EXPECT_DOUBLE_EQ(serialOf("#1/31/2024#"), 45322.0);
  EXPECT_DOUBLE_EQ(serialOf("#2024-01-31 13:45:00#"), 45322.0 + (13 * 3600 + 45 * 60) / 86400.0);
  EXPECT_DOUBLE_EQ(serialOf("#1/31/2024 1:45 PM#"), 45322.0 + (13 * 3600 + 45 * 60) / 86400.0);
  EXPECT_DOUBLE_EQ(serialOf("#12:00:00 AM#"), 0.0);
  EXPECT_DOUBLE_EQ(serialOf("#1899-12-30#"), 0.0);
  EXPECT_DOUBLE_EQ(serialOf("#1900-01-01#"), 2.0);
  // Two-digit years: 00-29 are 2000s, 30-99 are 1900s.
  EXPECT_DOUBLE_EQ(serialOf("#9/21/74#"), serialOf("#1974-09-21#"));
  EXPECT_DOUBLE_EQ(serialOf("#1/1/05#"), serialOf("#2005-01-01#"));
}

TEST(SqlLexerDates, MonthNamesAndIsoT) {
  const double jan31 = 45322.0;
  EXPECT_DOUBLE_EQ(serialOf("#31-Jan-2024#"), jan31);
  EXPECT_DOUBLE_EQ(serialOf("#Jan 31, 2024#"), jan31);
  EXPECT_DOUBLE_EQ(serialOf("#January 31 2024#"), jan31);
  EXPECT_DOUBLE_EQ(serialOf("#31 JANUARY 2024 6:00 AM#"), jan31 + 0.25);
  EXPECT_DOUBLE_EQ(serialOf("#2024-01-31T18:00:00#"), jan31 + 0.75);
  EXPECT_FALSE(parseDateLiteral("31-Foo-2024"));
  EXPECT_FALSE(parseDateLiteral("Feb 30, 2024"));
  EXPECT_FALSE(parseDateLiteral("Ja 3, 2024"));
}

TEST(SqlLexerDates, DatesBeforeTheEpochCountTimeForward) {
  // Noon on 1899-12-29 is stored as -1.5 (day -1, half a day after midnight).
  EXPECT_DOUBLE_EQ(serialOf("#1899-12-29 12:00#"), -1.5);
}

TEST(SqlLexerDates, ImpossibleDatesAreRejected) {
  EXPECT_FALSE(parseDateLiteral("2023-02-29"));
  EXPECT_TRUE(parseDateLiteral("2024-02-29"));
  EXPECT_FALSE(parseDateLiteral("13/01/2024"));
  EXPECT_FALSE(parseDateLiteral("2024-01-31 24:00"));
  EXPECT_FALSE(parseDateLiteral("yesterday"));
  EXPECT_FALSE(parseDateLiteral(""));
  try {
    tokenize("x = #2024-13-01#");
    FAIL();
  } catch (const SyntaxError& e) {
    EXPECT_EQ(e.position(), 5u);
    EXPECT_NE(std::string(e.what()).find("not a valid date"), std::string::npos) << e.what();
  }
}

TEST(SqlLexerSymbols, TwoCharacterOperatorsAndPositions) {
  auto tokens = tokenize("a<=b <> c>=d");
  ASSERT_EQ(tokens.size(), 8u);
  EXPECT_TRUE(tokens[1].isSymbol("<="));
  EXPECT_TRUE(tokens[3].isSymbol("<>"));
  EXPECT_TRUE(tokens[5].isSymbol(">="));
  EXPECT_EQ(tokens[0].position, 1u);
  EXPECT_EQ(tokens[3].position, 6u);
  EXPECT_EQ(tokens[4].position, 9u);
  EXPECT_EQ(tokens[7].position, 13u);  // End: just past the text
}

TEST(SqlLexerSymbols, PositionsCountCharactersNotBytes) {
  // The stray '?' is the 7th character (the text has 9 bytes before it).
  EXPECT_THROW(tokenize("'äöü' ?"), SyntaxError);
  try {
    tokenize("'äöü' ?");
  } catch (const SyntaxError& e) {
    EXPECT_EQ(e.position(), 7u);
  }
}
