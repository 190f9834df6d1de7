// Unwrapping (and inflating) attachment FileData.
#include "engine/format/attachment_data.h"

#include <zlib.h>

#include <limits>

#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

[[noreturn]] void broken(const std::string& owner, const std::string& why) {
  throw CorruptFileError("Corrupt file: the attachment data of " + owner + " cannot be read (" + why + ").");
}

Bytes inflated(ByteSpan stream, size_t expected, const std::string& owner) {
  Bytes out(expected);
  z_stream z{};
  if (inflateInit(&z) != Z_OK) broken(owner, "zlib could not start");
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = uInt(stream.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  int rc = inflate(&z, Z_FINISH);
  size_t produced = out.size() - z.avail_out;
  inflateEnd(&z);
  if (rc != Z_STREAM_END || produced != expected) broken(owner, "the deflated stream is damaged");
  return out;
}

}  // namespace

AttachmentContent decodeAttachmentData(ByteSpan data, const std::string& owner) {
  if (data.size() < 8) broken(owner, "too short");
  uint32_t kind = u32At(data, 0);
  size_t length = u32At(data, 4);
  Bytes holder;
  ByteSpan payload;
  if (kind == 1) {
    if (length > std::numeric_limits<uInt>::max() || data.size() - 8 > std::numeric_limits<uInt>::max())
      broken(owner, "too long");
    holder = inflated(data.subspan(8), length, owner);
    payload = ByteSpan(holder);
  } else if (kind == 0) {
    if (length > data.size() - 8) broken(owner, "its length runs past its end");
    payload = data.subspan(8, length);
  } else {
    broken(owner, "unknown kind " + std::to_string(kind));
  }
  if (payload.size() < 12) broken(owner, "no header");
  size_t header = u32At(payload, 0);
  size_t characters = u32At(payload, 8);
  if (header < 12 || header > payload.size() || 12 + 2 * characters > header) broken(owner, "a bad header");
  std::u16string extension;
  for (size_t i = 0; i < characters; ++i) {
    char16_t c = char16_t(u16At(payload, 12 + 2 * i));
    if (c == 0) break;
    extension.push_back(c);
  }
  AttachmentContent content;
  content.extension = utf16ToUtf8(extension);
  content.bytes.assign(payload.begin() + ptrdiff_t(header), payload.end());
  return content;
}

}  // namespace kevra
