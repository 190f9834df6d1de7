// The comparison rules themselves: an oracle that accepts everything would
// make every interop test pass, so each rule is shown rejecting a real fault.
#include <gtest/gtest.h>

#include "json_lite.h"
#include "mdb_oracle.h"
#include "normalise.h"

namespace kevra::interop {
namespace {

std::string compare(int type, const char* mdb, const char* ours) {
  Json m = parseJson(mdb), o = parseJson(ours);
  return compareWithMdbJson(type, &m, o);
}

TEST(MdbJsonComparison, NumbersAreComparedAtTheOraclePrecision) {
  EXPECT_EQ(compare(ado::Double, "444.555", "444.555"), "");
  EXPECT_EQ(compare(ado::Double, "-205661.4866705278", "-205661.4866705278"), "");
  EXPECT_NE(compare(ado::Double, "444.555", "444.556"), "");
  EXPECT_NE(compare(ado::Double, "0.1", "0.10000000000000001"), "") << "not the shortest text";
  EXPECT_EQ(compare(ado::Single, "339.48163", "339.48163"), "");
  EXPECT_NE(compare(ado::Single, "339.48163", "339.4816"), "");
  EXPECT_EQ(compare(ado::Double, "nan", "\"NaN\""), "");
  EXPECT_NE(compare(ado::Double, "nan", "0"), "");
  EXPECT_NE(compare(ado::Integer, "2", "1"), "");
  EXPECT_NE(compare(ado::Integer, "2", "2.0"), "") << "integers carry no fraction";
}

TEST(MdbJsonComparison, ExactDecimalsIgnoreOnlyTrailingZeros) {
  EXPECT_EQ(compare(ado::Currency, "3.5000", "\"3.5\""), "");
  EXPECT_EQ(compare(ado::Currency, "0.0000", "\"0\""), "");
  EXPECT_NE(compare(ado::Currency, "3.5000", "\"3.05\""), "");
  EXPECT_NE(compare(ado::Currency, "3.5000", "3.5"), "") << "Currency is a JSON string";
  EXPECT_EQ(compare(ado::Numeric, "-12699.2875", "\"-12699.2875\""), "");
  EXPECT_NE(compare(ado::Numeric, "-12699.2875", "\"12699.2875\""), "");
  EXPECT_EQ(canonicalDecimal("-0.000"), "0");
  EXPECT_EQ(canonicalDecimal("007.10"), "7.1");
  EXPECT_EQ(canonicalDecimal("1e5"), std::nullopt);
}

TEST(MdbJsonComparison, DatesAllowOnlyTheOraclesRoundingToSeconds) {
  EXPECT_EQ(compare(ado::Date, "\"1974-09-21T00:00:00\"", "\"1974-09-21T00:00:00\""), "");
  EXPECT_EQ(compare(ado::Date, "\"2006-02-03T22:11:01\"", "\"2006-02-03T22:11:00.500\""), "");
  EXPECT_NE(compare(ado::Date, "\"2006-02-03T22:11:01\"", "\"2006-02-03T22:11:00\""), "");
  EXPECT_NE(compare(ado::Date, "\"1974-09-21T00:00:00\"", "\"1974-09-22T00:00:00\""), "");
  EXPECT_NE(compare(ado::Date, "\"1974-09-21T00:00:00\"", "\"09/21/74 00:00:00\""), "") << "ISO form only";
  // mdbtools' text for any negative serial: ours must be before 1899-12-30.
  EXPECT_EQ(compare(ado::Date, "\"1900-01-00T00:00:00\"", "\"1601-05-11T00:00:00\""), "");
  EXPECT_NE(compare(ado::Date, "\"1900-01-00T00:00:00\"", "\"1900-01-01T00:00:00\""), "");
}

TEST(MdbJsonComparison, TextBinaryAndGuid) {
  EXPECT_EQ(compare(ado::VarWChar, "\"\\u0009a\\\"b\"", "\"\\ta\\\"b\""), "");
  EXPECT_NE(compare(ado::VarWChar, "\"abc\"", "\"abd\""), "");
  EXPECT_EQ(compare(ado::LongVarBinary, "{\"$binary\": \"AAEC\", \"$type\": \"00\"}", "\"AAEC\""), "");
  EXPECT_NE(compare(ado::LongVarBinary, "{\"$binary\": \"AAEC\", \"$type\": \"00\"}", "\"AAED\""), "");
  // base64 of "{8E4858B5-61B1-0361-5FB1940EB8CBF1AE}", mdbtools' GUID text.
  const char* guid = "{\"$binary\": \"ezhFNDg1OEI1LTYxQjEtMDM2MS01RkIxOTQwRUI4Q0JGMUFFfQ==\", \"$type\": \"00\"}";
  EXPECT_EQ(compare(ado::Guid, guid, "\"{8E4858B5-61B1-0361-5FB1-940EB8CBF1AE}\""), "");
  EXPECT_NE(compare(ado::Guid, guid, "\"{8e4858b5-61b1-0361-5fb1-940eb8cbf1ae}\""), "") << "upper case";
  EXPECT_NE(compare(ado::Guid, guid, "\"{B558488E-B161-6103-5FB1-940EB8CBF1AE}\""), "") << "byte order";
}

TEST(MdbJsonComparison, AbsentMembersStandForNullOrEmpty) {
  Json null = parseJson("null"), empty = parseJson("\"\""), zero = parseJson("0"), text = parseJson("\"x\"");
  EXPECT_EQ(compareWithMdbJson(ado::VarWChar, nullptr, null), "");
  EXPECT_EQ(compareWithMdbJson(ado::VarWChar, nullptr, empty), "");
  EXPECT_NE(compareWithMdbJson(ado::VarWChar, nullptr, text), "");
  EXPECT_NE(compareWithMdbJson(ado::Integer, nullptr, zero), "");
  Json one = parseJson("1");
  EXPECT_NE(compareWithMdbJson(ado::Integer, &one, null), "");
}

TEST(CsvReader, QuotedFieldsKeepCommasQuotesAndLineBreaks) {
  auto records = parseCsv("a,b\r\n\"x,1\",\"say \"\"hi\"\"\nthere\"\n,\n");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1], (std::vector<std::string>{"x,1", "say \"hi\"\nthere"}));
  EXPECT_EQ(records[2], (std::vector<std::string>{"", ""}));
}

}  // namespace
}  // namespace kevra::interop
