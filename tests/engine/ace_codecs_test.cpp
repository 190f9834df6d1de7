// The value codecs and key rules ACE files add: Date/Time Extended, Large
// Number, calculated values, attachment data and the Access 2010 "General"
// text order (version 1), on the byte examples of the format notes.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <string>

#include "engine/format/attachment_data.h"
#include "engine/format/calculated_value.h"
#include "engine/format/extended_date_time.h"
#include "engine/format/value_text.h"
#include "engine/index/index_key_encoder.h"
#include "engine/index/text_key_encoder.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

Bytes bytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes hex(std::initializer_list<int> v) {
  Bytes out;
  for (int b : v) out.push_back(uint8_t(b));
  return out;
}

TEST(ExtendedDateTime, StoredFormReadsToTheHundredNanosecondAndBack) {
  Bytes stored = bytesOf("0000000000000737954:0000000819123456789:7");
  stored.push_back(0);
  auto value = decodeExtendedDateTime(ByteSpan(stored));
  ASSERT_TRUE(value);
  EXPECT_EQ(extendedDateTimeToIso(*value), "2021-06-14T22:45:12.3456789");
  auto again = encodeExtendedDateTime(*value);
  EXPECT_EQ(Bytes(again.begin(), again.end()), stored);
  EXPECT_EQ(extendedDateTimeFromIso("2021-06-14T22:45:12.3456789"), value);

  // Day 36323 after 0001-01-01 is in the year 100; the first day reads too.
  Bytes old = bytesOf("0000000000000036323:0000000459001234567:7");
  old.push_back(0);
  EXPECT_EQ(extendedDateTimeToIso(*decodeExtendedDateTime(ByteSpan(old))), "0100-06-14T12:45:00.1234567");
  EXPECT_EQ(extendedDateTimeToIso(ExtendedDateTime{0, 0}), "0001-01-01T00:00:00");
}

TEST(ExtendedDateTime, MalformedTextAndBytesAreRefused) {
  Bytes bad = bytesOf("00000000000007379x4:0000000819123456789:7");
  bad.push_back(0);
  EXPECT_FALSE(decodeExtendedDateTime(ByteSpan(bad)));
  Bytes lateSecond = bytesOf("0000000000000737954:0000086400000000000:7");
  lateSecond.push_back(0);
  EXPECT_FALSE(decodeExtendedDateTime(ByteSpan(lateSecond)));
  for (const char* text : {"2021-02-30", "2021-06-14T25:00:00", "2021-06-14T10:00:00.12345678", "2021-6-14", "x"})
    EXPECT_FALSE(extendedDateTimeFromIso(text)) << text;
  EXPECT_EQ(extendedDateTimeToIso(*extendedDateTimeFromIso("2021-06-14")), "2021-06-14T00:00:00");
  // An ordinary date keeps its milliseconds.
  EXPECT_EQ(extendedDateTimeToIso(extendedFromDateTime(fromCivil({2020, 2, 29, 23, 59, 58, 250}))),
            "2020-02-29T23:59:58.25");
}

TEST(AceIndexKeys, LargeNumberAndExtendedDateKeys) {
  ColumnDef big;
  big.name = "Numeric";
  big.type = ColumnType::BigInt;
  Bytes key;
  appendKeySegment(big, Value(int64_t(42)), true, key);
  EXPECT_EQ(key, hex({0x7f, 0x80, 0, 0, 0, 0, 0, 0, 0x2a}));
  key.clear();
  appendKeySegment(big, Value(int64_t(-1)), true, key);
  EXPECT_EQ(key, hex({0x7f, 0x7f, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}));

  ColumnDef ext;
  ext.name = "DateExt";
  ext.type = ColumnType::ExtendedDateTime;
  Bytes a, b;
  appendKeySegment(ext, Value(*extendedDateTimeFromIso("1265-06-14T12:45:00")), true, a);
  appendKeySegment(ext, Value(*extendedDateTimeFromIso("2021-06-14T12:45:00")), true, b);
  EXPECT_EQ(a.size(), 1u + 6 * 9);  // five full groups of 8, then the last 2 bytes padded, each with its count
  EXPECT_LT(a, b);
  Bytes da, db;
  appendKeySegment(ext, Value(*extendedDateTimeFromIso("1265-06-14T12:45:00")), false, da);
  appendKeySegment(ext, Value(*extendedDateTimeFromIso("2021-06-14T12:45:00")), false, db);
  EXPECT_GT(da, db);
}

TEST(AceIndexKeys, GeneralOrderVersionOneTextKeys) {
  auto key = [](std::string_view text, uint8_t version) {
    Bytes out;
    appendTextKeySegment(utf8ToUtf16(std::string(text)), true, out, version);
    return out;
  };
  EXPECT_EQ(key("a", 0), hex({0x7f, 0x4a, 0x01, 0x00}));
  EXPECT_EQ(key("a", 1), hex({0x7f, 0x0e, 0x02, 0x01, 0x00}));
  EXPECT_EQ(key("abcdefg", 1), hex({0x7f, 0x0e, 0x02, 0x0e, 0x09, 0x0e, 0x0a, 0x0e, 0x1a, 0x0e, 0x21, 0x0e, 0x23, 0x0e,
                                   0x25, 0x01, 0x00}));
  EXPECT_EQ(key("a\xF0\x9F\x98\x80" "a", 1),
            hex({0x7f, 0x0e, 0x02, 0xb0, 0x3f, 0xb6, 0xfc, 0x0e, 0x02, 0x01, 0x02, 0x3f, 0x3f, 0x00}));
  // Letter case lives outside the primary bytes.
  Bytes upper = key("A", 1), lower = key("a", 1);
  EXPECT_EQ(Bytes(upper.begin(), upper.begin() + 3), Bytes(lower.begin(), lower.begin() + 3));

  // The column's version picks the table.
  ColumnDef text;
  text.name = "data";
  text.type = ColumnType::Text;
  text.sortOrder = 0x0409;
  text.sortVersion = 1;
  Bytes viaColumn;
  appendKeySegment(text, Value(std::string("a")), true, viaColumn);
  EXPECT_EQ(viaColumn, key("a", 1));
}

TEST(CalculatedValues, WrapperUnwrapsByResultType) {
  auto wrap = [](const Bytes& data) {
    Bytes out(16, 0);
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(data.size() >> (8 * i)));
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), 3, 0);
    return out;
  };
  ColumnDef c;
  c.name = "x";
  c.extFlags = 0xC0;
  c.type = ColumnType::Boolean;
  EXPECT_EQ(decodeCalculatedValue(c, ByteSpan(wrap(hex({0xff}))), "x"), Value(true));
  EXPECT_EQ(decodeCalculatedValue(c, ByteSpan(wrap(hex({0x00}))), "x"), Value(false));
  c.type = ColumnType::Long;
  EXPECT_EQ(decodeCalculatedValue(c, ByteSpan(wrap(hex({0x0c, 0, 0, 0}))), "x"), Value(int32_t(12)));
  c.type = ColumnType::Text;
  EXPECT_EQ(decodeCalculatedValue(c, ByteSpan(wrap(hex({0xff, 0xfe, 'g'}))), "x"), Value(std::string("g")));
  c.type = ColumnType::Decimal;
  Value weekly = decodeCalculatedValue(
      c, ByteSpan(wrap(hex({0x0e, 0, 0x0a, 0, 0, 0, 0, 0, 0xec, 0x04, 0xb0, 0x1f, 0xe7, 0xae, 0, 0}))), "x");
  EXPECT_EQ(valueToText(weekly), "19230.7692307692");
  Value negative = decodeCalculatedValue(c, ByteSpan(wrap(hex({0, 0, 2, 0x80, 5, 0, 0, 0}))), "x");
  EXPECT_EQ(valueToText(negative), "-0.05");

  // A length past the end of the wrapper is a corrupt file, not a read past it.
  Bytes broken = wrap(hex({1, 2, 3, 4}));
  broken[16] = 200;
  c.type = ColumnType::Long;
  EXPECT_THROW(decodeCalculatedValue(c, ByteSpan(broken), "column 'x'"), CorruptFileError);
}

Bytes attachmentPayload(const std::string& extension, const std::string& content) {
  Bytes p;
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) p.push_back(uint8_t(v >> (8 * i)));
  };
  uint32_t chars = uint32_t(extension.size() + 1);
  u32(12 + 2 * chars);
  u32(1);
  u32(chars);
  for (char ch : extension) {
    p.push_back(uint8_t(ch));
    p.push_back(0);
  }
  p.push_back(0);
  p.push_back(0);
  p.insert(p.end(), content.begin(), content.end());
  return p;
}

Bytes fileData(uint32_t kind, const Bytes& payload, const Bytes& body) {
  Bytes d;
  for (uint32_t v : {kind, uint32_t(payload.size())})
    for (int i = 0; i < 4; ++i) d.push_back(uint8_t(v >> (8 * i)));
  d.insert(d.end(), body.begin(), body.end());
  return d;
}

TEST(AttachmentData, RawAndDeflatedFilesUnwrap) {
  Bytes payload = attachmentPayload("txt", "Attachment 1");
  AttachmentContent raw = decodeAttachmentData(ByteSpan(fileData(0, payload, payload)), "x");
  EXPECT_EQ(raw.extension, "txt");
  EXPECT_EQ(std::string(raw.bytes.begin(), raw.bytes.end()), "Attachment 1");

  uLongf size = compressBound(uLong(payload.size()));
  Bytes deflated(size);
  ASSERT_EQ(compress(deflated.data(), &size, payload.data(), uLong(payload.size())), Z_OK);
  deflated.resize(size);
  AttachmentContent packed = decodeAttachmentData(ByteSpan(fileData(1, payload, deflated)), "x");
  EXPECT_EQ(packed.bytes, raw.bytes);

  Bytes damaged = fileData(1, payload, deflated);
  damaged[damaged.size() / 2] ^= 0x55;
  damaged.resize(damaged.size() - 3);
  EXPECT_THROW(decodeAttachmentData(ByteSpan(damaged), "column 'a'"), CorruptFileError);
  EXPECT_THROW(decodeAttachmentData(ByteSpan(fileData(7, payload, payload)), "column 'a'"), CorruptFileError);
  Bytes shortHeader = payload;
  shortHeader[0] = 200;  // header longer than the payload
  EXPECT_THROW(decodeAttachmentData(ByteSpan(fileData(0, shortHeader, shortHeader)), "column 'a'"), CorruptFileError);
}

}  // namespace
}  // namespace kevra
