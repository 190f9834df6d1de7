// The FileData of an attachment (ACE complex columns): u32 kind (0 raw,
// 1 deflated with zlib), u32 length of the payload once inflated, then the
// payload — u32 header length, u32 1, u32 characters of the file extension
// with its NUL, the extension in UTF-16LE, then the file's bytes.
#pragma once
#include <string>

#include "engine/format/value.h"
#include "engine/util/bytes.h"

namespace kevra {

struct AttachmentContent {
  std::string extension;  // UTF-8, without the dot
  Binary bytes;           // the file as it was attached
};

// Throws CorruptFileError naming `owner` when the data cannot be read.
AttachmentContent decodeAttachmentData(ByteSpan fileData, const std::string& owner);

}  // namespace kevra
