// Conversions between the UTF-16LE the file stores and the UTF-8 the engine uses.
#pragma once
#include <string>
#include <string_view>

#include "engine/util/bytes.h"

namespace kevra {

// Decodes UTF-16LE bytes; an odd trailing byte and lone surrogates become U+FFFD.
// One code point appended to `out` as UTF-8.
void appendUtf8(char32_t cp, std::string& out);
std::string utf16leToUtf8(ByteSpan bytes);
void appendUtf16leAsUtf8(ByteSpan bytes, std::string& out);
// Each byte is one code unit U+0000..U+00FF (the compressed text form).
void appendLatin1AsUtf8(ByteSpan bytes, std::string& out);
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);
// Case-insensitive comparison for names: ASCII folding plus Latin-1 letters.
int compareNamesCaseInsensitive(std::string_view a, std::string_view b);
bool namesEqualCaseInsensitive(std::string_view a, std::string_view b);

}  // namespace kevra
