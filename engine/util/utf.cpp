// UTF-16 <-> UTF-8 conversion and name comparison.
#include "engine/util/utf.h"

#include <cstring>

namespace kevra {

void appendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

namespace {

// Next code point of a UTF-8 string; invalid bytes become U+FFFD.
uint32_t nextCodePoint(std::string_view s, size_t& i) {
  uint8_t c = uint8_t(s[i++]);
  if (c < 0x80) return c;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
  if (extra < 0) return 0xFFFD;
  uint32_t cp = c & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size() || (uint8_t(s[i]) & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (uint8_t(s[i++]) & 0x3F);
  }
  return cp;
}

uint32_t foldCase(uint32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 32;
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 32;
  if (cp >= 0x3B1 && cp <= 0x3C9 && cp != 0x3C2) return cp - 32;  // Greek
  if (cp >= 0x430 && cp <= 0x44F) return cp - 32;                  // Cyrillic
  if (cp >= 0x450 && cp <= 0x45F) return cp - 80;
  return cp;
}

}  // namespace

namespace {

// Writes `cp` as UTF-8 at `p` and returns the end.
char* putUtf8(char32_t cp, char* p) {
  if (cp < 0x80) {
    *p++ = char(cp);
  } else if (cp < 0x800) {
    *p++ = char(0xC0 | (cp >> 6));
    *p++ = char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *p++ = char(0xE0 | (cp >> 12));
    *p++ = char(0x80 | ((cp >> 6) & 0x3F));
    *p++ = char(0x80 | (cp & 0x3F));
  } else {
    *p++ = char(0xF0 | (cp >> 18));
    *p++ = char(0x80 | ((cp >> 12) & 0x3F));
    *p++ = char(0x80 | ((cp >> 6) & 0x3F));
    *p++ = char(0x80 | (cp & 0x3F));
  }
  return p;
}

}  // namespace

void appendUtf16leAsUtf8(ByteSpan bytes, std::string& out) {
  const size_t n = bytes.size() / 2;
  // At most three bytes per code unit (a surrogate pair's two give four),
  // and three for a stray odd byte.
  const size_t at = out.size();
  out.resize(at + 3 * n + 3);
  char* p = out.data() + at;
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = bytes[2 * i] | (uint32_t(bytes[2 * i + 1]) << 8);
    if (u < 0x80) {
      *p++ = char(u);
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
      uint32_t lo = bytes[2 * i + 2] | (uint32_t(bytes[2 * i + 3]) << 8);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        p = putUtf8(0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00), p);
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    p = putUtf8(u, p);
  }
  if (bytes.size() % 2) p = putUtf8(0xFFFD, p);
  out.resize(size_t(p - out.data()));
}

std::string utf16leToUtf8(ByteSpan bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  appendUtf16leAsUtf8(bytes, out);
  return out;
}

void appendLatin1AsUtf8(ByteSpan bytes, std::string& out) {
  const size_t at = out.size();
  out.resize(at + 2 * bytes.size());
  char* p = out.data() + at;
  const uint8_t* in = bytes.data();
  const uint8_t* const end = in + bytes.size();
  // Eight ASCII bytes at a time: most text is plain ASCII.
  while (end - in >= 8) {
    uint64_t word;
    std::memcpy(&word, in, 8);
    if (word & 0x8080808080808080ull) break;
    std::memcpy(p, in, 8);
    p += 8;
    in += 8;
  }
  for (; in < end; ++in) {
    const uint8_t b = *in;
    if (b < 0x80) {
      *p++ = char(b);
    } else {
      *p++ = char(0xC0 | (b >> 6));
      *p++ = char(0x80 | (b & 0x3F));
    }
  }
  out.resize(size_t(p - out.data()));
}

std::u16string utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp = nextCodePoint(text, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      appendUtf8(0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00), out);
      ++i;
      continue;
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    appendUtf8(u, out);
  }
  return out;
}

int compareNamesCaseInsensitive(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    uint32_t x = foldCase(nextCodePoint(a, i));
    uint32_t y = foldCase(nextCodePoint(b, j));
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool namesEqualCaseInsensitive(std::string_view a, std::string_view b) {
  return compareNamesCaseInsensitive(a, b) == 0;
}

}  // namespace kevra
