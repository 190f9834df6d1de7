// General 97 text keys from the per-byte code table.
#include "engine/index/general97_key_encoder.h"

#include <cstdint>
#include <vector>

namespace kevra {
namespace {

#include "engine/index/general97_sort_table.inc"

enum : uint32_t { kIgnored = 0, kPlain = 1, kCounted = 2, kAccent = 3 };
constexpr size_t kMaxKeyCharacters = 255;

uint32_t classOf(uint32_t code) { return code & 3; }
uint32_t nibbleOf(uint32_t code) { return (code >> 4) & 0xF; }

// Only the first 255 characters take part, and trailing spaces never do.
ByteSpan keyedPart(ByteSpan text) {
  if (text.size() > kMaxKeyCharacters) text = text.first(kMaxKeyCharacters);
  while (!text.empty() && text.back() == ' ') text = text.first(text.size() - 1);
  return text;
}

void appendPrimary(ByteSpan text, Bytes& out) {
  for (uint8_t b : text) {
    const uint32_t code = kGeneral97Codes[b];
    const uint32_t length = (code >> 8) & 3;
    if (length >= 1) out.push_back(uint8_t(code >> 24));
    if (length >= 2) out.push_back(uint8_t(code >> 16));
  }
}

void invertFrom(size_t start, Bytes& out) {
  for (size_t i = start; i < out.size(); ++i) out[i] = uint8_t(0xFF - out[i]);
}

}  // namespace

void appendGeneral97KeySegment(ByteSpan text, bool ascending, Bytes& out) {
  text = keyedPart(text);
  out.push_back(ascending ? 0x7F : 0x80);
  const size_t body = out.size();
  appendPrimary(text, out);

  // Accent part: nibble 0, then for each accented letter as many 2s as
  // counted letters came since the previous one, then its own nibble; a
  // closing 0; packed two to a byte, high nibble first.
  std::vector<uint8_t> nibbles{0};
  size_t counted = 0;
  bool accented = false;
  for (uint8_t b : text) {
    const uint32_t code = kGeneral97Codes[b];
    if (classOf(code) == kCounted) {
      ++counted;
    } else if (classOf(code) == kAccent) {
      nibbles.insert(nibbles.end(), counted, 2);
      nibbles.push_back(uint8_t(nibbleOf(code)));
      counted = 0;
      accented = true;
    }
  }
  if (!accented) {
    out.push_back(0x00);
  } else {
    nibbles.push_back(0);
    for (size_t i = 0; i < nibbles.size(); i += 2)
      out.push_back(uint8_t(nibbles[i] << 4 | (i + 1 < nibbles.size() ? nibbles[i + 1] : 0)));
  }
  if (!ascending) invertFrom(body, out);
}

void appendGeneral97KeyPrimary(ByteSpan text, bool ascending, Bytes& out) {
  out.push_back(ascending ? 0x7F : 0x80);
  const size_t body = out.size();
  appendPrimary(keyedPart(text), out);
  if (!ascending) invertFrom(body, out);
}

}  // namespace kevra
