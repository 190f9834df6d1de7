// Single-byte code pages of older files (Access 97 databases, dBase,
// Paradox): bytes to UTF-8 on read, UTF-8 to bytes on write.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/util/bytes.h"

namespace kevra {

// True for the code pages this file converts (437, 850, 852, 865, 866, 874,
// 1250-1258) with tables of its own.
bool isKnownCodePage(int codePage);

// True for those and for every other code page the C library converts
// (double-byte ones such as 932, 936, 949, 950 included).
bool canDecodeCodePage(int codePage);

// The characters of bytes 0x80-0xFF in `codePage` (Windows-1252's for an
// unknown one), and bytes of that code page appended to `out` as UTF-8.
const char16_t* codePageUpperHalf(int codePage);
void appendCodePageAsUtf8(ByteSpan bytes, const char16_t* upperHalf, std::string& out);

// Appends bytes of `codePage` to `out` as UTF-8: through its table when it
// has one, else through the C library; a code page neither knows is read as
// Windows-1252.
void appendCodePageAsUtf8(ByteSpan bytes, int codePage, std::string& out);

// Decodes bytes of `codePage` into UTF-8, as appendCodePageAsUtf8 does.
std::string decodeCodePage(ByteSpan bytes, int codePage);

// Encodes UTF-8 text into `codePage`; every character the code page cannot
// hold becomes '?' and is counted in `unmappable`. Invalid UTF-8 bytes count
// as unmappable too.
std::string encodeCodePage(std::string_view utf8, int codePage, size_t& unmappable);

// True when `bytes` are well-formed UTF-8 holding at least one non-ASCII
// character: text written as UTF-8 into a file that declares no code page.
bool looksLikeUtf8(ByteSpan bytes);

}  // namespace kevra
