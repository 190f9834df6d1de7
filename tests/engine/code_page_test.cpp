// Code page conversions: the single-byte tables and the double-byte code
// pages the C library converts, with undefined bytes marked, not dropped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/util/code_page.h"

using namespace kevra;

namespace {
std::string decode(std::vector<uint8_t> bytes, int codePage) { return decodeCodePage(ByteSpan(bytes), codePage); }
}  // namespace

TEST(CodePage, DoubleByteCodePagesDecodeThroughTheSystem) {
  for (int codePage : {932, 936, 949, 950}) EXPECT_TRUE(canDecodeCodePage(codePage)) << codePage;
  EXPECT_EQ(decode({0xCA, 0xFD, 0xBE, 0xDD}, 936), "\u6570\u636E");                    // GBK
  EXPECT_EQ(decode({0xB8, 0xEA, 0xAE, 0xC6}, 950), "\u8CC7\u6599");                    // Big5
  EXPECT_EQ(decode({0x83, 0x66, 0x81, 0x5B, 0x83, 0x5E}, 932), "\u30C7\u30FC\u30BF");  // Shift-JIS
  EXPECT_EQ(decode({0xC0, 0xDA, 0xB7, 0xE1}, 949), "\uC790\uB8CC");                    // Korean
  // ASCII passes through between double-byte characters; a lead byte
  // without its trail becomes U+FFFD and the next byte is read afresh.
  EXPECT_EQ(decode({'a', 0xCA, 0xFD, 'b', 0xCA}, 936), "a\u6570b\uFFFD");
  EXPECT_EQ(decode({0xCA, ' ', 'b'}, 936), "\uFFFD b");
}

TEST(CodePage, SingleByteTablesStayAndUnknownNumbersAreNotDecodable) {
  EXPECT_EQ(decode({0xA3, 0xC0}, 1251), "\u0408\u0410");
  EXPECT_EQ(decode({0x80}, 1252), "\u20AC");
  for (int codePage : {0, -1, 4242, 70000}) EXPECT_FALSE(canDecodeCodePage(codePage)) << codePage;
  EXPECT_EQ(decode({0x80}, 4242), "\u20AC") << "an unknown code page reads as 1252";
}
