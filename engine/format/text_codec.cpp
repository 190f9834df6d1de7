// Decoding of stored text, compressed or not.
#include "engine/format/text_codec.h"

#include <cstring>

#include "engine/util/utf.h"

namespace kevra {

void decodeTextValue(ByteSpan bytes, std::string& out) {
  out.clear();
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    // A 00 byte where a character would start switches between one byte per
    // character (the initial mode) and two bytes per character.
    bool compressed = true;
    size_t i = 2;
    while (i < bytes.size()) {
      size_t runEnd = i;
      if (compressed) {
        const void* zero = std::memchr(bytes.data() + i, 0, bytes.size() - i);
        runEnd = zero ? size_t(static_cast<const uint8_t*>(zero) - bytes.data()) : bytes.size();
        appendLatin1AsUtf8(bytes.subspan(i, runEnd - i), out);
      } else {
        while (runEnd + 1 < bytes.size() && bytes[runEnd] != 0) runEnd += 2;
        appendUtf16leAsUtf8(bytes.subspan(i, runEnd - i), out);
        if (runEnd + 1 == bytes.size() && bytes[runEnd] != 0) break;  // odd trailing byte
      }
      i = runEnd;
      if (i < bytes.size()) {
        compressed = !compressed;
        ++i;
      }
    }
    return;
  }
  appendUtf16leAsUtf8(bytes, out);
}

std::string decodeTextValue(ByteSpan bytes) {
  std::string s;
  decodeTextValue(bytes, s);
  return s;
}

}  // namespace kevra
