// General97KeyEncoder: the key segment of one Text or Memo value of an
// Access 97 file, in its "General" sort order: one or two primary bytes per
// character (case folded, accents removed), then either 00 or, when the text
// has accented letters, packed accent nibbles that record which letters
// carried which accent. The codes are by stored byte of code page 1252.
#pragma once
#include "engine/util/bytes.h"

namespace kevra {

// Appends the segment for a present value stored as `text` (code page 1252
// bytes), starting with its column marker (0x7F ascending, 0x80 descending).
void appendGeneral97KeySegment(ByteSpan text, bool ascending, Bytes& out);

// Appends the start every key segment of a text that begins with `text`
// shares: the marker and the primary bytes, which case and accents do not
// change. Primary bytes are 0x10 or more and what follows them is below, so
// this also bounds the texts equal to `text` but for case and accents.
void appendGeneral97KeyPrimary(ByteSpan text, bool ascending, Bytes& out);

}  // namespace kevra
