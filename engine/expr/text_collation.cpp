// Case folding and case-insensitive comparison over UTF-8 text.
#include "engine/expr/text_collation.h"

#include "engine/util/utf.h"

namespace kevra::expr {

char32_t foldCase(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x137 && c != 0x130) return c | 1;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

std::u32string foldedCodePoints(std::string_view s) {
  std::u32string out;
  foldCodePointsInto(s, out);
  return out;
}

namespace {

// The code point at s[i], moving i past it; malformed bytes give U+FFFD.
char32_t decodeOne(std::string_view s, size_t& i) {
  const unsigned char b = s[i];
  size_t len = 1;
  if (b < 0x80) {
    ++i;
    return b;
  } else if ((b & 0xE0) == 0xC0) {
    len = 2;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4;
  }
  if (len == 1 || i + len > s.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t c = b & (0x7F >> len);
  for (size_t k = 1; k < len; ++k) {
    const unsigned char cont = s[i + k];
    if ((cont & 0xC0) != 0x80) {
      i += k;
      return 0xFFFD;
    }
    c = (c << 6) | (cont & 0x3F);
  }
  i += len;
  return c;
}

void decodeInto(std::string_view s, std::u32string& out, bool fold) {
  out.clear();
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const char32_t c = decodeOne(s, i);
    out.push_back(fold ? foldCase(c) : c);
  }
}

}  // namespace

void foldCodePointsInto(std::string_view s, std::u32string& out) { decodeInto(s, out, true); }

std::u32string codePoints(std::string_view utf8) {
  std::u32string out;
  decodeInto(utf8, out, false);
  return out;
}

std::string utf8Of(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) appendUtf8(c, out);
  return out;
}

std::string foldedUtf8(std::string_view s) { return utf8Of(foldedCodePoints(s)); }

int compareTextIgnoringCase(std::string_view a, std::string_view b) {
  // Fast path while both texts are ASCII: fold byte by byte, no allocation.
  size_t i = 0;
  for (; i < a.size() && i < b.size(); ++i) {
    const unsigned char ca = a[i], cb = b[i];
    if ((ca | cb) & 0x80) break;
    const char32_t fa = foldCase(ca), fb = foldCase(cb);
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  // One text ended: it is a prefix of the other (folding keeps one character
  // per character), so the shorter is smaller.
  if (i == a.size() || i == b.size()) return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  // Everything before i is ASCII, so i is a character boundary in both. The
  // rest is decoded a character at a time, up to the first difference only.
  size_t j = i;
  while (i < a.size() && j < b.size()) {
    const char32_t fa = foldCase(decodeOne(a, i)), fb = foldCase(decodeOne(b, j));
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  return j < b.size() ? -1 : 0;
}

}  // namespace kevra::expr
