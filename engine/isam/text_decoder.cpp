// Character set conversion through iconv, with a fast path for UTF-8.
#include "engine/isam/text_decoder.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

// Windows-1252 0x80..0x9F; 0 where the code page has no character.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t cp1252(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) {
    char16_t c = kCp1252High[b - 0x80];
    return c ? c : b;
  }
  return b;
}

// Length of the valid UTF-8 sequence at `p` (of `n` bytes available), 0 when
// invalid, -1 when it may be completed by more bytes.
int utf8Sequence(const unsigned char* p, size_t n) {
  unsigned char c = p[0];
  int len;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) len = 2;
  else if (c >= 0xE0 && c <= 0xEF) len = 3;
  else if (c >= 0xF0 && c <= 0xF4) len = 4;
  else return 0;
  for (int i = 1; i < len; ++i) {
    if (size_t(i) >= n) return -1;
    if ((p[i] & 0xC0) != 0x80) return 0;
    if (i == 1) {
      if (c == 0xE0 && p[1] < 0xA0) return 0;
      if (c == 0xED && p[1] > 0x9F) return 0;
      if (c == 0xF0 && p[1] < 0x90) return 0;
      if (c == 0xF4 && p[1] > 0x8F) return 0;
    }
  }
  return len;
}

bool isUtf8Name(const std::string& s) {
  std::string u;
  for (char c : s)
    if (c != '-' && c != '_') u.push_back(char(std::toupper(static_cast<unsigned char>(c))));
  return u == "UTF8";
}

}  // namespace

TextDecoder::TextDecoder(const std::string& charset) : charset_(charset) {
  if (charset_.empty() || isUtf8Name(charset_)) {
    charset_.clear();
    return;
  }
  iconv_t cd = ::iconv_open("UTF-8", charset_.c_str());
  if (cd == iconv_t(-1)) throw EngineError("The character set '" + charset + "' is not known.");
  iconv_ = cd;
}

TextDecoder::~TextDecoder() {
  if (iconv_) ::iconv_close(iconv_t(iconv_));
}

void TextDecoder::decodeAuto(std::string_view bytes, bool last, std::string& out) {
  std::string_view in = bytes;
  if (!pending_.empty()) {
    pending_.append(bytes);
    in = pending_;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  size_t n = in.size(), i = 0;
  out.reserve(out.size() + n);
  size_t runStart = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    int len = utf8Sequence(p + i, n - i);
    if (len > 0) {
      i += size_t(len);
      continue;
    }
    out.append(in.data() + runStart, i - runStart);
    if (len < 0 && !last) {
      std::string rest(in.substr(i));
      pending_ = std::move(rest);
      return;
    }
    appendUtf8(cp1252(p[i]), out);
    runStart = ++i;
  }
  out.append(in.data() + runStart, n - runStart);
  pending_.clear();
}

void TextDecoder::decode(std::string_view bytes, bool last, std::string& out) {
  if (!iconv_) return decodeAuto(bytes, last, out);
  pending_.append(bytes);
  char* in = pending_.data();
  size_t inLeft = pending_.size();
  char buf[16384];
  while (inLeft > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    size_t r = ::iconv(iconv_t(iconv_), &in, &inLeft, &o, &oLeft);
    out.append(buf, size_t(o - buf));
    if (r == size_t(-1)) {
      if (errno == E2BIG) continue;
      if (errno == EINVAL && !last) break;  // incomplete sequence: wait for more
      // An invalid or truncated sequence: U+FFFD for one byte, then go on.
      appendUtf8(0xFFFD, out);
      ++in;
      --inLeft;
    }
  }
  pending_.erase(0, pending_.size() - inLeft);
}

ByteOrderMark detectByteOrderMark(std::string_view s) {
  auto at = [&](size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0x100; };
  if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) return {"UTF-8", 3};
  if (at(0) == 0xFF && at(1) == 0xFE) return {"UTF-16LE", 2};
  if (at(0) == 0xFE && at(1) == 0xFF) return {"UTF-16BE", 2};
  return {};
}

std::string charsetForCodePage(const std::string& value) {
  std::string v;
  for (char c : value)
    if (c != ' ') v.push_back(char(std::toupper(static_cast<unsigned char>(c))));
  if (v.empty()) return "";
  if (v == "ANSI") return "WINDOWS-1252";
  if (v == "OEM") return "CP850";
  if (v == "UNICODE" || v == "1200") return "UTF-16LE";
  if (v == "1201") return "UTF-16BE";
  if (v == "65001" || isUtf8Name(v)) return "UTF-8";
  if (v == "28591") return "ISO-8859-1";
  if (v == "10000") return "MACINTOSH";
  if (std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    if (v.size() == 4 && v[0] == '1' && v[1] == '2') return "WINDOWS-" + v;
    return "CP" + v;
  }
  return v;
}

}  // namespace kevra
