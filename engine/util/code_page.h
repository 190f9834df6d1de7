// Single-byte code pages of older files (Access 97 databases, dBase,
// Paradox): bytes to UTF-8 on read, UTF-8 to bytes on write.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/util/bytes.h"

namespace kevra {

// True for the code pages this file converts (437, 850, 852, 865, 866, 874,
// 1250-1258). Others are read as Windows-1252.
bool isKnownCodePage(int codePage);

// The characters of bytes 0x80-0xFF in `codePage` (Windows-1252's for an
// unknown one), and bytes of that code page appended to `out` as UTF-8.
const char16_t* codePageUpperHalf(int codePage);
void appendCodePageAsUtf8(ByteSpan bytes, const char16_t* upperHalf, std::string& out);

// Decodes bytes of `codePage` into UTF-8. Bytes below 0x80 are ASCII.
std::string decodeCodePage(ByteSpan bytes, int codePage);

// Encodes UTF-8 text into `codePage`; every character the code page cannot
// hold becomes '?' and is counted in `unmappable`. Invalid UTF-8 bytes count
// as unmappable too.
std::string encodeCodePage(std::string_view utf8, int codePage, size_t& unmappable);

// True when `bytes` are well-formed UTF-8 holding at least one non-ASCII
// character: text written as UTF-8 into a file that declares no code page.
bool looksLikeUtf8(ByteSpan bytes);

}  // namespace kevra
