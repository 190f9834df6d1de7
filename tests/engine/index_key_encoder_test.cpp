// Index key bytes for single values and whole rows, checked against keys
// Access wrote into real index pages.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/index/general_sort_table.h"
#include "engine/index/index_key_encoder.h"
#include "engine/index/text_key_encoder.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

Bytes hex(const std::string& text) {
  Bytes out;
  unsigned v;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    std::sscanf(text.c_str() + i, "%2x", &v);
    out.push_back(uint8_t(v));
    i += 2;
  }
  return out;
}

ColumnDef column(ColumnType type, const char* name = "c") {
  ColumnDef c;
  c.name = name;
  c.type = type;
  c.sortOrder = 0x0409;
  return c;
}

Bytes segment(ColumnType type, const Value& v, bool ascending = true) {
  Bytes out;
  appendKeySegment(column(type), v, ascending, out);
  return out;
}

Bytes text(std::u16string_view s, bool ascending = true) {
  Bytes out;
  appendTextKeySegment(s, ascending, out);
  return out;
}

TEST(GeneralSortTable, ClassesAndBytesOfKnownUnits) {
  const SortCode& a = generalSortCode(u'a');
  EXPECT_EQ(a.cls, SortClass::Plain);
  ASSERT_EQ(a.primaryLength, 1);
  EXPECT_EQ(a.primary[0], 0x4A);
  EXPECT_EQ(generalSortCode(u'A').primary[0], 0x4A);
  const SortCode& aAcute = generalSortCode(u'\u00C1');
  EXPECT_EQ(aAcute.cls, SortClass::Accent);
  EXPECT_EQ(aAcute.second[0], 0x0E);
  const SortCode& dash = generalSortCode(u'-');
  EXPECT_EQ(dash.cls, SortClass::Hidden);
  EXPECT_EQ(dash.second[0], 0x82);
  EXPECT_EQ(generalSortCode(u'\0').cls, SortClass::Ignored);
  const SortCode& tab = generalSortCode(u'\t');
  ASSERT_EQ(tab.primaryLength, 2);
  EXPECT_EQ(tab.primary[0], 0x08);
  EXPECT_EQ(tab.primary[1], 0x03);
  // Runs whose primaries count up must expand to the right unit.
  const SortCode& z = generalSortCode(u'Z');
  EXPECT_EQ(z.primary[0], 0x78);
  const SortCode& cyrillicEm = generalSortCode(u'\u041C');
  ASSERT_EQ(cyrillicEm.primaryLength, 2);
  EXPECT_EQ(cyrillicEm.primary[0], 0x79);
  EXPECT_EQ(cyrillicEm.primary[1], 0x43);
  EXPECT_EQ(generalSortCode(u'\u3041').cls, SortClass::Flagged2);
  EXPECT_EQ(generalSortCode(u'\u3042').cls, SortClass::Flagged3);
  const SortCode& high = generalSortCode(char16_t(0xD801));
  EXPECT_EQ(high.cls, SortClass::Surrogate);
  EXPECT_EQ(high.primary[0], 0xB0);
  EXPECT_EQ(high.primary[1], 0x03);
  EXPECT_EQ(high.second[0], 0x3F);
  // Four-byte primaries and two-byte accents survive the packing.
  const SortCode& ligature = generalSortCode(char16_t(0x05F0));
  ASSERT_EQ(ligature.primaryLength, 4);
  EXPECT_EQ(ligature.primary[3], 0x99);
  const SortCode& dz = generalSortCode(char16_t(0x01C4));
  ASSERT_EQ(dz.secondLength, 2);
  EXPECT_EQ(dz.second[0], 0x02);
  EXPECT_EQ(dz.second[1], 0x14);
}

TEST(TextKey, WorkedExamplesFromAccessIndexPages) {
  EXPECT_EQ(text(u"a"), hex("7f 4a 01 00"));
  EXPECT_EQ(text(u"abcdefg"), hex("7f 4a 4c 4d 4f 51 53 55 01 00"));
  EXPECT_EQ(text(u"AA AA"), hex("7f 4a 4a 07 4a 4a 01 00"));
  EXPECT_EQ(text(u"AA-"), hex("7f 4a 4a 01 01 01 01 80 0f 06 82 00"));
  EXPECT_EQ(text(u"AA\u00C1AA"), hex("7f 4a 4a 4a 4a 4a 01 02 02 0e 00"));
  EXPECT_EQ(text(u"AA\u00C6AA"), hex("7f 4a 4a 4a 51 4a 4a 01 00"));
  EXPECT_EQ(text(std::u16string(u"AA\0AA", 5)), hex("7f 4a 4a 4a 4a 01 00"));
  EXPECT_EQ(text(u"-\u00C1A-\u00C1"), hex("7f 4a 4a 4a 01 0e 02 0e 01 01 01 80 07 06 82 80 0f 06 82 00"));
  EXPECT_EQ(text(u"\u041C\u0438\u0440"), hex("7f 79 43 79 3b 79 48 01 00"));
  EXPECT_EQ(text(u"\u6F22\u5B57\u4EEE\u540D\u4EA4\u3058\u308A\u6587"),
            hex("7f c0 b6 ac ac a0 0d a5 47 9f be 7f 13 7f 43 b6 f6 01 02 02 02 02 02 03 01 01 ff 02 80 ff 80 00"));
}

TEST(TextKey, DescendingInvertsTheBodyAndEndsWithZero) {
  EXPECT_EQ(text(u"AAZAA", false), hex("80 b5 b5 87 b5 b5 fe ff 00"));
  Bytes asc = text(u"-\u00C1A-\u00C1");
  Bytes desc = text(u"-\u00C1A-\u00C1", false);
  ASSERT_EQ(desc.size(), asc.size() + 1);
  EXPECT_EQ(desc[0], 0x80);
  for (size_t i = 1; i < asc.size(); ++i) EXPECT_EQ(desc[i], 0xFF - asc[i]) << i;
  EXPECT_EQ(desc.back(), 0x00);
}

TEST(TextKey, TrailingSpacesCaseAndLengthLimit) {
  EXPECT_EQ(text(u"abc   "), text(u"abc"));
  EXPECT_EQ(text(u"ABC"), text(u"abc"));
  EXPECT_NE(text(u"AAAAA"), text(u"AA\u00C1AA"));
  EXPECT_EQ(text(u""), hex("7f 01 00"));
  std::u16string longer(300, u'b');
  std::u16string limit(255, u'b');
  EXPECT_EQ(text(longer), text(limit));
  EXPECT_NE(text(limit), text(std::u16string(254, u'b')));
}

TEST(TextKey, ModifiersAddToTheAccentOfTheirCharacter) {
  // U+02B9 is a modifier with value 0x0C.
  EXPECT_EQ(text(u"\u00C1\u02B9"), hex("7f 4a 01 1a 00"));  // 0x0E + 0x0C on the accent of Á
  EXPECT_EQ(text(u"a\u02B9"), hex("7f 4a 01 0e 00"));       // pad byte 0x02 + 0x0C
  // A leading modifier starts the accent section with a byte that stands for
  // no character, so a later hidden record counts one position less.
  EXPECT_EQ(text(u"\u02B9a"), hex("7f 4a 01 0c 00"));
  EXPECT_EQ(text(u"\u02B9-"), hex("7f 01 0c 01 01 01 80 07 06 82 00"));
}

TEST(TextKey, FlagsPackThreePerByteAfterTrimmingTrailingThrees) {
  // U+3041 has flag 2, U+3042 flag 3: flags 2,3,2,2 pack as 0x80|2<<4|3<<2|2, then 0x80|2<<4.
  Bytes key = text(u"\u3041\u3042\u3041\u3041");
  Bytes tail = hex("01 01 ae a0 ff 02 80 ff 80 00");
  ASSERT_GE(key.size(), tail.size());
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), key.end() - ptrdiff_t(tail.size())));
}

TEST(KeySegment, IntegersCurrencyAndBytes) {
  EXPECT_EQ(segment(ColumnType::Long, int32_t(-23)), hex("7f 7f ff ff e9"));
  EXPECT_EQ(segment(ColumnType::Long, int32_t(3245)), hex("7f 80 00 0c ad"));
  EXPECT_EQ(segment(ColumnType::Long, int32_t(3245), false), hex("80 7f ff f3 52"));
  EXPECT_EQ(segment(ColumnType::Integer, int16_t(-32400)), hex("7f 01 70"));
  EXPECT_EQ(segment(ColumnType::Byte, uint8_t(199)), hex("7f c7"));
  EXPECT_EQ(segment(ColumnType::Byte, uint8_t(199), false), hex("80 38"));
  EXPECT_EQ(segment(ColumnType::Currency, Currency{11000}), hex("7f 80 00 00 00 00 00 2a f8"));
}

TEST(KeySegment, BooleansAreNeverNull) {
  EXPECT_EQ(segment(ColumnType::Boolean, true), hex("7f 00"));
  EXPECT_EQ(segment(ColumnType::Boolean, false), hex("7f ff"));
  EXPECT_EQ(segment(ColumnType::Boolean, true, false), hex("80 ff"));
  EXPECT_EQ(segment(ColumnType::Boolean, false, false), hex("80 00"));
}

TEST(KeySegment, FloatingPointAndDates) {
  EXPECT_EQ(segment(ColumnType::Double, -1.1), hex("7f 40 0e 66 66 66 66 66 65"));
  EXPECT_EQ(segment(ColumnType::Double, 1.1), hex("7f bf f1 99 99 99 99 99 9a"));
  EXPECT_EQ(segment(ColumnType::Double, 0.0), hex("7f 80 00 00 00 00 00 00 00"));
  EXPECT_EQ(segment(ColumnType::DateTime, DateTime{1.1}), segment(ColumnType::Double, 1.1));
  EXPECT_EQ(segment(ColumnType::Double, 1.1, false), hex("80 40 0e 66 66 66 66 66 65"));
  EXPECT_EQ(segment(ColumnType::Single, 1.0f), hex("7f bf 80 00 00"));
  EXPECT_EQ(segment(ColumnType::Single, -1.0f), hex("7f 40 7f ff ff"));
  // Byte order follows numeric order across signs.
  EXPECT_LT(segment(ColumnType::Double, -2.0), segment(ColumnType::Double, -1.0));
  EXPECT_LT(segment(ColumnType::Double, -1.0), segment(ColumnType::Double, 0.5));
}

TEST(KeySegment, DecimalSignAndDirection) {
  Decimal positive{false, 0x54538, 20, 10};
  Decimal negative{true, 0x54538, 20, 10};
  EXPECT_EQ(segment(ColumnType::Decimal, positive), hex("7f ff 00 00 00 00 00 00 00 00 00 00 00 00 00 05 45 38"));
  EXPECT_EQ(segment(ColumnType::Decimal, negative), hex("7f 00 ff ff ff ff ff ff ff ff ff ff ff ff ff fa ba c7"));
  EXPECT_EQ(segment(ColumnType::Decimal, positive, false),
            hex("80 ff ff ff ff ff ff ff ff ff ff ff ff ff ff fa ba c7"));
  EXPECT_EQ(segment(ColumnType::Decimal, negative, false),
            hex("80 00 00 00 00 00 00 00 00 00 00 00 00 00 00 05 45 38"));
}

TEST(KeySegment, GuidAndBinaryAreSegmented) {
  Guid g;
  Bytes stored = hex("8f a2 5f 07 a5 71 32 40 b2 73 54 19 f4 b0 7e 59");
  std::copy(stored.begin(), stored.end(), g.bytes.begin());
  EXPECT_EQ(segment(ColumnType::Guid, g), hex("7f 07 5f a2 8f 71 a5 40 32 09 b2 73 54 19 f4 b0 7e 59 08"));
  EXPECT_EQ(segment(ColumnType::Guid, g, false), hex("80 f8 a0 5d 70 8e 5a bf cd 09 4d 8c ab e6 0b 4f 81 a6 f7"));
  EXPECT_EQ(segment(ColumnType::Binary, Binary{0x61}), hex("7f 61 00 00 00 00 00 00 00 01"));
  EXPECT_EQ(segment(ColumnType::Binary, Binary{}), hex("7f"));
  EXPECT_EQ(segment(ColumnType::Binary, Binary(8, 0x11)), hex("7f 11 11 11 11 11 11 11 11 08"));
  EXPECT_EQ(segment(ColumnType::Binary, Binary(9, 0x11)), hex("7f 11 11 11 11 11 11 11 11 09 11 00 00 00 00 00 00 00 01"));
}

TEST(KeySegment, NullMarkersAndTypeErrors) {
  EXPECT_EQ(segment(ColumnType::Long, std::monostate{}), hex("00"));
  EXPECT_EQ(segment(ColumnType::Text, std::monostate{}, false), hex("ff"));
  EXPECT_THROW(segment(ColumnType::Long, std::string("x")), EngineError);
  EXPECT_THROW(segment(ColumnType::OLE, Binary{1}), EngineError);
  ColumnDef other = column(ColumnType::Text);
  other.sortOrder = 0x0407;
  Bytes out;
  EXPECT_THROW(appendKeySegment(other, std::string("x"), true, out), UnsupportedError);
  EXPECT_EQ(unsupportedTextKeys(other), "sort order 1031");
  // General in a version after the 2010 one: its table is not known either.
  ColumnDef later = column(ColumnType::Text);
  later.sortVersion = 2;
  EXPECT_EQ(unsupportedTextKeys(later), "sort order 1033 version 2");
  EXPECT_THROW(appendKeySegment(later, std::string("x"), true, out), UnsupportedError);
  later.sortVersion = 1;
  EXPECT_EQ(unsupportedTextKeys(later), "");
  EXPECT_EQ(unsupportedTextKeys(column(ColumnType::Long)), "");
}

TableDef queriesLikeTable() {
  TableDef t;
  t.name = "MSysQueries";
  ColumnDef attribute = column(ColumnType::Byte, "Attribute");
  attribute.number = 0;
  ColumnDef name = column(ColumnType::Text, "Name1");
  name.number = 1;
  ColumnDef objectId = column(ColumnType::Long, "ObjectId");
  objectId.number = 2;
  ColumnDef order = column(ColumnType::Binary, "Order");
  order.number = 3;
  t.columns = {attribute, name, objectId, order};
  return t;
}

TEST(IndexKeyEncoder, MultiColumnKeyInIndexOrder) {
  TableDef t = queriesLikeTable();
  RealIndexDef index;
  index.columns = {{2, true}, {0, true}, {3, true}};
  IndexKeyEncoder encoder(t, index);
  std::vector<Value> row = {uint8_t(0), std::string("x"), int32_t(-2147483640), Binary{0, 0, 0, 1}};
  EXPECT_EQ(encoder.encode(row), hex("7f 00 00 00 08 7f 00 7f 00 00 00 01 00 00 00 00 04"));
  Bytes entry = encoder.encode(row);
  appendRowPointer(0x1b, 1, entry);
  EXPECT_EQ(Bytes(entry.end() - 4, entry.end()), hex("00 00 1b 01"));
}

TEST(IndexKeyEncoder, IgnoreNullsSkipsOnlyAllNullRows) {
  TableDef t = queriesLikeTable();
  RealIndexDef index;
  index.columns = {{1, true}, {2, false}};
  index.flags = 0x82;
  IndexKeyEncoder encoder(t, index);
  std::vector<Value> allNull = {uint8_t(1), std::monostate{}, std::monostate{}, std::monostate{}};
  std::vector<Value> someNull = {uint8_t(1), std::string("a"), std::monostate{}, std::monostate{}};
  EXPECT_FALSE(encoder.indexes(allNull));
  EXPECT_TRUE(encoder.indexes(someNull));
  EXPECT_EQ(encoder.encode(someNull), hex("7f 4a 01 00 ff"));
  index.flags = 0x80;
  EXPECT_TRUE(IndexKeyEncoder(t, index).indexes(allNull));
}

TEST(IndexKeyEncoder, RejectsUnknownColumnsAndShortRows) {
  TableDef t = queriesLikeTable();
  RealIndexDef bad;
  bad.columns = {{9, true}};
  EXPECT_THROW(IndexKeyEncoder(t, bad), CorruptFileError);
  RealIndexDef good;
  good.columns = {{0, true}};
  EXPECT_THROW(IndexKeyEncoder(t, good).encode(std::vector<Value>{uint8_t(1)}), EngineError);
}

}  // namespace
}  // namespace kevra
