// Field display formats: the named formats, custom number sections and date
// patterns, and hyperlink texts.
#include <gtest/gtest.h>

#include "engine/expr/format_text.h"
#include "engine/expr/hyperlink_text.h"
#include "engine/format/value_text.h"

using kevra::expr::formatValue;

namespace {
kevra::Value money(int64_t scaled) { return kevra::Currency{scaled}; }
kevra::Value date(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return kevra::fromCivil(kevra::CivilDateTime{y, m, d, h, n, s, 0});
}
std::string shown(const kevra::Value& value, std::string_view format) {
  return formatValue(value, format).value_or("<none>");
}
}  // namespace

TEST(FormatText, CustomNumberSections) {
  // Currency as Access stores the field's format.
  EXPECT_EQ(shown(money(12345000), "$#,##0.00"), "$1,234.50");
  EXPECT_EQ(shown(money(-12345000), "$#,##0.00"), "-$1,234.50");
  EXPECT_EQ(shown(money(-12345000), "$#,##0.00;($#,##0.00)"), "($1,234.50)");
  EXPECT_EQ(shown(money(1234567891234), "$#,##0.00"), "$123,456,789.12");
  // Rounding half away from zero on exact values, with a carry.
  EXPECT_EQ(shown(money(99995), "0.00"), "10.00");
  EXPECT_EQ(shown(money(-5), "0.000"), "-0.001");
  // A negative that rounds to zero shows no sign.
  EXPECT_EQ(shown(money(-4), "0.00"), "0.00");
  // Zero and NULL sections, literal text quoted or escaped.
  EXPECT_EQ(shown(int32_t(0), "0;(0);\"Zero\";\"Null\""), "Zero");
  EXPECT_EQ(shown(kevra::Value{}, "0;(0);\"Zero\";\"Null\""), "Null");
  EXPECT_EQ(formatValue(kevra::Value{}, "0.00"), std::nullopt);
  EXPECT_EQ(shown(int32_t(7), "0 \"items\""), "7 items");
  EXPECT_EQ(shown(int32_t(7), "\\#0"), "#7");
  // '#' shows no leading or trailing zeros, '0' always shows.
  EXPECT_EQ(shown(2.5, "#.##"), "2.5");
  EXPECT_EQ(shown(0.25, "#.00"), ".25");
  EXPECT_EQ(shown(int32_t(5), "000"), "005");
  EXPECT_EQ(shown(int32_t(1234567), "#,##0"), "1,234,567");
  // Digits fill places split by literals from the right.
  EXPECT_EQ(shown(int64_t(5551234567), "(###) ###-####"), "(555) 123-4567");
  // Percent scales by a hundred; an exponent keeps the mantissa's places.
  EXPECT_EQ(shown(0.125, "0.0%"), "12.5%");
  EXPECT_EQ(shown(kevra::Decimal{false, 1255, 18, 3}, "0%"), "126%");
  EXPECT_EQ(shown(123456.0, "0.00E+00"), "1.23E+05");
  EXPECT_EQ(shown(0.000123, "0.00E-00"), "1.23E-04");
  EXPECT_EQ(shown(9.999, "0.00E+00"), "1.00E+01");
  // Text is not a number: no format of ours applies.
  EXPECT_EQ(formatValue(std::string("abc"), "0.00"), std::nullopt);
  EXPECT_EQ(formatValue(int32_t(5), "@"), std::nullopt);
  EXPECT_EQ(formatValue(int32_t(5), ">"), std::nullopt);
}

TEST(FormatText, NamedNumberAndTruthFormats) {
  EXPECT_EQ(shown(money(12345000), "Currency"), "$1,234.50");
  EXPECT_EQ(shown(money(-12345000), "currency"), "($1,234.50)");
  EXPECT_EQ(shown(money(12345000), "Euro"), "\xE2\x82\xAC" "1,234.50");
  EXPECT_EQ(shown(1234.5678, "Fixed"), "1234.57");
  EXPECT_EQ(shown(1234.5678, "Standard"), "1,234.57");
  EXPECT_EQ(shown(0.5, "Percent"), "50.00%");
  EXPECT_EQ(shown(1234.5, "Scientific"), "1.23E+03");
  EXPECT_EQ(shown(money(35000), "General Number"), "3.5");
  EXPECT_EQ(shown(-444.555, "General Number"), "-444.555");
  EXPECT_EQ(shown(true, "Yes/No"), "Yes");
  EXPECT_EQ(shown(uint8_t(0), "True/False"), "False");
  EXPECT_EQ(shown(int16_t(-1), "On/Off"), "On");
  // Yes/No fields in a number format show Access's -1 for true.
  EXPECT_EQ(shown(true, "0"), "-1");
  // The symbols a caller's locale uses.
  kevra::expr::FormatSymbols german;
  german.decimalPoint = ",";
  german.groupSeparator = ".";
  german.currencySymbol = "EUR ";
  EXPECT_EQ(formatValue(money(12345000), "Currency", german), "EUR 1.234,50");
  EXPECT_EQ(formatValue(2.75, "General Number", german), "2,75");
}

TEST(FormatText, NamedAndCustomDateFormats) {
  const kevra::Value day = date(2015, 6, 29);
  EXPECT_EQ(shown(day, "Long Date"), "Monday, June 29, 2015");
  EXPECT_EQ(shown(day, "Medium Date"), "29-Jun-15");
  EXPECT_EQ(shown(day, "Short Date"), "6/29/2015");
  EXPECT_EQ(shown(day, "General Date"), "6/29/2015");
  const kevra::Value evening = date(1974, 9, 21, 19, 5, 9);
  EXPECT_EQ(shown(evening, "General Date"), "9/21/1974 7:05:09 PM");
  EXPECT_EQ(shown(evening, "Long Time"), "7:05:09 PM");
  EXPECT_EQ(shown(evening, "Medium Time"), "7:05 PM");
  EXPECT_EQ(shown(evening, "Short Time"), "19:05");
  // A time alone (day 0) shows no date.
  EXPECT_EQ(shown(kevra::DateTime{0.5}, "General Date"), "12:00:00 PM");
  // Custom codes; m after an hour is minutes, quoted text stays as written.
  EXPECT_EQ(shown(evening, "yyyy-mm-dd hh:mm:ss"), "1974-09-21 19:05:09");
  EXPECT_EQ(shown(evening, "ddd d mmm yy"), "Sat 21 Sep 74");
  EXPECT_EQ(shown(evening, "dddd\", the \"d\"th of \"mmmm"), "Saturday, the 21th of September");
  EXPECT_EQ(shown(evening, "h:nn am/pm"), "7:05 pm");
  EXPECT_EQ(shown(date(2024, 1, 1, 0, 30), "h:nn a/p"), "12:30 a");
  EXPECT_EQ(shown(date(2024, 12, 31), "y q w"), "366 4 3");
  // Before 1899-12-30 the calendar still holds.
  EXPECT_EQ(shown(date(1601, 5, 11), "Long Date"), "Friday, May 11, 1601");
  // A serial number no calendar date stands for is left to the caller.
  EXPECT_EQ(formatValue(kevra::DateTime{3000000}, "Long Date"), std::nullopt);
}

TEST(FormatText, HyperlinkParts) {
  const auto link = kevra::expr::splitHyperlink("Example site#http://example.com/#top#tip");
  EXPECT_EQ(link.display, "Example site");
  EXPECT_EQ(link.address, "http://example.com/");
  EXPECT_EQ(link.subAddress, "top");
  EXPECT_EQ(link.shown(), "Example site");
  EXPECT_EQ(kevra::expr::splitHyperlink("#http://example.com/#").shown(), "http://example.com/");
  // Text without '#' is an address alone.
  EXPECT_EQ(kevra::expr::splitHyperlink("http://example.com/").address, "http://example.com/");
  EXPECT_EQ(kevra::expr::splitHyperlink("##Sheet1!A1#").shown(), "Sheet1!A1");
}
