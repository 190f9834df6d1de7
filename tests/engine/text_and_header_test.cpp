// Stored text decoding and the header page: compression toggles, RC4 mask,
// password, format detection.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/format/text_codec.h"
#include "engine/storage/header.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

using namespace kevra;

namespace {
std::string decode(std::initializer_list<uint8_t> bytes) {
  std::vector<uint8_t> v(bytes);
  return decodeTextValue(ByteSpan(v));
}
}  // namespace

TEST(TextCodec, PlainCompressedAndToggled) {
  EXPECT_EQ(decode({0x61, 0x00, 0x62, 0x00}), "ab");
  EXPECT_EQ(decode({0xff, 0xfe, 0x61, 0x62, 0x63}), "abc");
  EXPECT_EQ(decode({0xff, 0xfe, 0xe4, 0xe4}), "ää");
  // 00 switches to two bytes per character and back.
  EXPECT_EQ(decode({0xff, 0xfe, 0x61, 0x00, 0x1c, 0x04, 0x00, 0x62}), "aМb");
  EXPECT_EQ(decode({0xff, 0xfe}), "");
  EXPECT_EQ(decode({}), "");
  // An odd trailing byte in two-byte mode is dropped, not read past.
  EXPECT_EQ(decode({0xff, 0xfe, 0x61, 0x00, 0x1c}), "a");
}

TEST(TextCodec, Utf16SurrogatesAndLoneHalves) {
  EXPECT_EQ(decode({0x3d, 0xd8, 0x00, 0xde}), "\xF0\x9F\x98\x80");  // U+1F600
  EXPECT_EQ(decode({0x3d, 0xd8}), "\xEF\xBF\xBD");
  EXPECT_EQ(utf16ToUtf8(utf8ToUtf16("Łódź Мир 漢字 \xF0\x9F\x98\x80")), "Łódź Мир 漢字 \xF0\x9F\x98\x80");
}

TEST(NameComparison, CaseInsensitiveBeyondAscii) {
  EXPECT_TRUE(namesEqualCaseInsensitive("MSysObjects", "msysobjects"));
  EXPECT_TRUE(namesEqualCaseInsensitive("ÄÖ", "äö"));
  EXPECT_TRUE(namesEqualCaseInsensitive("МИР", "мир"));
  EXPECT_LT(compareNamesCaseInsensitive("apple", "Banana"), 0);
  EXPECT_GT(compareNamesCaseInsensitive("table10", "Table1"), 0);
}

TEST(Header, Rc4KeyStreamMatchesKnownBytes) {
  uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
  uint8_t data[8] = {};
  rc4Xor(key, 4, data, 8);
  const uint8_t expected[8] = {0xb5, 0x6f, 0x03, 0x62, 0x61, 0x08, 0xc2, 0x55};
  EXPECT_EQ(std::memcmp(data, expected, 8), 0);
}

namespace {
std::vector<uint8_t> headerPage(uint8_t version, const char16_t* password, double created) {
  std::vector<uint8_t> page(4096, 0);
  page[1] = 1;
  std::memcpy(page.data() + 4, "Standard Jet DB", 16);
  page[0x14] = version;
  uint8_t masked[128] = {};
  masked[0x3C - 0x18] = 0xE4;
  masked[0x3D - 0x18] = 0x04;
  masked[0x6E - 0x18] = 0x09;
  masked[0x6F - 0x18] = 0x04;
  std::memcpy(masked + 0x72 - 0x18, &created, 8);
  uint32_t dateMask = uint32_t(int32_t(created));
  for (int i = 0; i < 20; ++i) {
    char16_t ch = password && password[i] ? password[i] : 0;
    if (password && ch == 0) password = nullptr;
    uint8_t b[2] = {uint8_t(ch), uint8_t(ch >> 8)};
    for (int k = 0; k < 2; ++k) masked[0x42 - 0x18 + 2 * i + k] = b[k] ^ uint8_t(dateMask >> (8 * ((2 * i + k) % 4)));
  }
  uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
  rc4Xor(key, 4, masked, 128);
  std::memcpy(page.data() + 0x18, masked, 128);
  return page;
}
}  // namespace

TEST(Header, DecodesFieldsAndPassword) {
  auto page = headerPage(1, u"s3cret", 44568.677);
  DatabaseHeader h = decodeHeader(ByteSpan(page));
  EXPECT_EQ(h.format, FileFormat::Jet4);
  EXPECT_EQ(h.codePage, 1252);
  EXPECT_EQ(h.sortOrder, 0x0409);
  EXPECT_DOUBLE_EQ(h.createdSerial, 44568.677);
  EXPECT_EQ(h.password, "s3cret");

  auto open = headerPage(1, nullptr, 42329.9448);
  EXPECT_FALSE(decodeHeader(ByteSpan(open)).hasPassword());
}

TEST(Header, RecognisesOtherFormatsAndRejectsForeignFiles) {
  EXPECT_EQ(decodeHeader(ByteSpan(headerPage(0, nullptr, 1))).format, FileFormat::Jet3);
  EXPECT_EQ(decodeHeader(ByteSpan(headerPage(3, nullptr, 1))).format, FileFormat::Ace14);
  std::vector<uint8_t> junk(4096, 'x');
  EXPECT_THROW(decodeHeader(ByteSpan(junk)), CorruptFileError);
  std::vector<uint8_t> ace = headerPage(2, nullptr, 1);
  std::memcpy(ace.data() + 4, "Standard ACE DB", 16);
  EXPECT_EQ(decodeHeader(ByteSpan(ace)).format, FileFormat::Ace12);
  EXPECT_EQ(decodeHeader(ByteSpan(headerPage(4, nullptr, 1))).format, FileFormat::Ace14);  // Access 2013
  EXPECT_EQ(decodeHeader(ByteSpan(headerPage(9, nullptr, 1))).format, FileFormat::Unknown);
}
