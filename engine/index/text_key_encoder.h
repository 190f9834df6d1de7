// TextKeyEncoder: the key segment of one Text or Memo value in the "General"
// sort order (version 0, Jet 4's; version 1, Access 2010's — same algorithm,
// other codes): primary (main) bytes, accent bytes by position,
// hidden-character records and flags, each part in its own section.
#pragma once
#include <string_view>

#include "engine/util/bytes.h"

namespace kevra {

// Only the first 255 code units of a value take part in its key.
constexpr size_t kMaxTextKeyUnits = 255;

// Appends the segment for a present value, starting with its column marker
// (0x7F ascending, 0x80 descending).
void appendTextKeySegment(std::u16string_view text, bool ascending, Bytes& out, uint8_t sortVersion = 0);

// Appends the start every key segment of a text that begins with `text`
// shares: the marker and the primary (letter) bytes, which letter case,
// accents and hidden characters do not change. With `whole`, also the end of
// the primary section, so only texts that differ from `text` in those
// respects share it.
void appendTextKeyPrimary(std::u16string_view text, bool ascending, bool whole, Bytes& out,
                          uint8_t sortVersion = 0);

}  // namespace kevra
