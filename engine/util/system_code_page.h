// Code pages without a table of their own here (the double-byte Asian ones
// such as 932, 936, 949 and 950, and any other the C library converts):
// bytes to UTF-8 through iconv.
#pragma once
#include <string>

#include "engine/util/bytes.h"

namespace kevra {

// True when the C library can convert text of Windows code page `codePage`.
bool systemCanDecodeCodePage(int codePage);

// Appends `bytes` of `codePage` to `out` as UTF-8. A byte sequence the code
// page does not define becomes U+FFFD and decoding goes on after its first
// byte. Throws EngineError when the code page cannot be converted at all.
void appendSystemCodePageAsUtf8(ByteSpan bytes, int codePage, std::string& out);

}  // namespace kevra
