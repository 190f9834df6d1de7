// Single-byte code pages of older desktop database files (dBase, Paradox):
// bytes to UTF-8 on read, UTF-8 to bytes on write.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/util/bytes.h"

namespace kevra {

// True for the code pages this file converts (437, 850, 852, 865, 866,
// 1250-1254). Others are read as Windows-1252.
bool isKnownCodePage(int codePage);

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
