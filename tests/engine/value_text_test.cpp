// Canonical value texts: exact decimals, dates on both sides of 1899-12-30,
// GUID byte order, shortest floats, base64.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "engine/format/value_text.h"
#include "engine/util/utf.h"

using namespace kevra;

TEST(ValueText, DatesAroundTheEpochAndTimeOfDay) {
  EXPECT_EQ(dateTimeToIso(DateTime{0}), "1899-12-30T00:00:00");
  EXPECT_EQ(dateTimeToIso(DateTime{27293.0}), "1974-09-21T00:00:00");
  // Before the epoch the fraction still counts forward from midnight.
  EXPECT_EQ(dateTimeToIso(DateTime{-1.25}), "1899-12-29T06:00:00");
  EXPECT_EQ(dateTimeToIso(DateTime{-109075}), "1601-05-11T00:00:00");
  // Beyond the years 100..9999 (other programs store such values): the
  // serial number, never a wrong date.
  EXPECT_EQ(dateTimeToIso(DateTime{3000000}), "3000000");
  EXPECT_EQ(dateTimeToIso(DateTime{-700000.5}), "-700000.5");
  EXPECT_EQ(dateTimeToIso(DateTime{1.5}), "1899-12-31T12:00:00");
  EXPECT_EQ(dateTimeToIso(DateTime{36526.0 + 0.5 / 86400.0}), "2000-01-01T00:00:00.500");
  // A time that rounds to the next midnight moves to the next day.
  EXPECT_EQ(dateTimeToIso(DateTime{36526.0 + 0.99999999999}), "2000-01-02T00:00:00");
  EXPECT_EQ(dateTimeToIso(DateTime{60.0}), "1900-02-28T00:00:00");
  EXPECT_EQ(dateTimeToIso(DateTime{61.0}), "1900-03-01T00:00:00");  // no 1900-02-29
}

TEST(ValueText, CivilRoundTrip) {
  for (double serial : {-109075.0, -1.25, 0.0, 0.75, 27293.0, 44568.5, 2958465.0}) {
    CivilDateTime c = toCivil(DateTime{serial});
    EXPECT_DOUBLE_EQ(fromCivil(c).serial, serial) << serial;
  }
}

// The day and milliseconds a date splits into are those its calendar
// parts show, rounding and all (the upsize's timestamps come from them).
TEST(ValueText, SplitSerialAgreesWithTheCalendarParts) {
  for (double serial : {-109075.0, -1.25, -0.5, 0.0, 0.75, 36526.0 + 0.5 / 86400.0, 36526.0 + 0.99999999999,
                        44568.123456789, 2958465.99999999}) {
    const SerialDayTime split = splitSerial(DateTime{serial});
    const CivilDateTime c = toCivil(DateTime{serial});
    EXPECT_EQ(split.daysSince1970, daysFromCivil(c.year, unsigned(c.month), unsigned(c.day))) << serial;
    EXPECT_EQ(split.millisecond, ((int64_t(c.hour) * 60 + c.minute) * 60 + c.second) * 1000 + c.millisecond) << serial;
  }
  EXPECT_EQ(splitSerial(DateTime{36526.0 + 0.99999999999}).daysSince1970, 10958);  // 2000-01-02
  EXPECT_EQ(splitSerial(DateTime{-0.5}).millisecond, 43200000);  // before the epoch, time still counts forward
}

TEST(ValueText, CurrencyAndDecimalAreExact) {
  EXPECT_EQ(currencyToString(Currency{35000}), "3.5");
  EXPECT_EQ(currencyToString(Currency{0}), "0");
  EXPECT_EQ(currencyToString(Currency{-1}), "-0.0001");
  EXPECT_EQ(currencyToString(Currency{120000}), "12");
  EXPECT_EQ(currencyToString(Currency{std::numeric_limits<int64_t>::min()}), "-922337203685477.5808");
  Decimal d;
  d.magnitude = 12345;
  d.scale = 4;
  EXPECT_EQ(decimalToString(d), "1.2345");
  d.negative = true;
  d.scale = 0;
  EXPECT_EQ(decimalToString(d), "-12345");
  d.magnitude = 5;
  d.scale = 3;
  EXPECT_EQ(decimalToString(d), "-0.005");
  d.magnitude = 0;
  EXPECT_EQ(decimalToString(d), "0");
  d.negative = false;
  d.magnitude = (unsigned __int128)1 << 100;
  d.scale = 0;
  EXPECT_EQ(decimalToString(d), "1267650600228229401496703205376");
}

TEST(ValueText, GuidUsesTextualFieldOrder) {
  Guid g{{0x8f, 0xa2, 0x5f, 0x07, 0xa5, 0x71, 0x32, 0x40, 0xb2, 0x73, 0x54, 0x19, 0xf4, 0xb0, 0x7e, 0x59}};
  EXPECT_EQ(guidToString(g), "{075FA28F-71A5-4032-B273-5419F4B07E59}");
}

TEST(ValueText, FloatsAreShortestRoundTrip) {
  EXPECT_EQ(doubleToShortest(444.555), "444.555");
  EXPECT_EQ(doubleToShortest(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(floatToShortest(339.48163f), "339.48163");
  EXPECT_EQ(floatToShortest(0.1f), "0.1");
  EXPECT_EQ(doubleToShortest(std::numeric_limits<double>::quiet_NaN()), "NaN");
}

TEST(ValueText, Base64) {
  EXPECT_EQ(base64Encode({}), "");
  EXPECT_EQ(base64Encode({'a'}), "YQ==");
  EXPECT_EQ(base64Encode({'a', 'b'}), "YWI=");
  EXPECT_EQ(base64Encode({'a', 'b', 'c'}), "YWJj");
  EXPECT_EQ(base64Encode({0xff, 0x00, 0xfe, 0x01}), "/wD+AQ==");
}

TEST(ValueText, AppendingGivesTheSameTextAfterWhatIsThere) {
  Decimal big;
  big.magnitude = ((unsigned __int128)1 << 70) + 5;
  big.scale = 3;
  const std::vector<Value> values{Value{}, Value{true}, Value{uint8_t(7)}, Value{int16_t(-3)}, Value{int32_t(-2147483647)},
                                  Value{Currency{-1}}, Value{Currency{120000}}, Value{1.5f}, Value{0.1 + 0.2},
                                  Value{DateTime{44568.5}}, Value{DateTime{1e300}}, Value{std::string("a,b")},
                                  Value{Binary{'a', 'b'}}, Value{big}};
  for (const auto& v : values) {
    std::string out = "x";
    appendValueText(out, v);
    EXPECT_EQ(out, "x" + valueToText(v));
  }
}

TEST(ValueText, Latin1AndUtf16AroundTheAsciiFastPath) {
  // High bytes before, inside and after an eight-byte ASCII run.
  const std::vector<uint8_t> latin1{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xE9, 'i', 'j', 'k', 'l', 'm', 'n', 'o',
                                    'p', 'q', 0xA3};
  std::string out = "=";
  appendLatin1AsUtf8(ByteSpan(latin1.data(), latin1.size()), out);
  EXPECT_EQ(out, "=abcdefgh\xC3\xA9ijklmnopq\xC2\xA3");
  // "a", U+00E9, U+20AC, U+1F600 (a surrogate pair), a lone high surrogate, an odd byte.
  const std::vector<uint8_t> utf16{'a', 0, 0xE9, 0, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0x3D, 0xD8, 'b'};
  EXPECT_EQ(utf16leToUtf8(ByteSpan(utf16.data(), utf16.size())),
            "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD");
}
