// Reading either kind of chunk; writing lone-blob chunks only.
#include "engine/isam/paradox_memo.h"

#include <algorithm>

#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr uint32_t kChunk = 4096;

}  // namespace

ParadoxBlobReader::ParadoxBlobReader(const std::string& path) : file_(path) {}

std::string ParadoxBlobReader::read(uint32_t offset, uint32_t length) {
  const uint32_t slot = offset & 0xFF;
  const uint64_t chunk = offset & ~uint32_t(0xFF);
  const std::string where = "the blob at " + std::to_string(offset);
  if (chunk == 0 || chunk % kChunk != 0) throwCorrupt(file_.path(), where + " does not start a chunk.");
  const Bytes head = file_.read(chunk, 12, where);
  const uint64_t chunkBytes = uint64_t(u16At(head, 1)) * kChunk;
  uint64_t start = 0;
  if (slot == 0xFF) {
    if (head[0] != 2) throwCorrupt(file_.path(), where + " is not a blob chunk.");
    if (u32At(head, 3) != length) throwCorrupt(file_.path(), where + " has another length than its record says.");
    start = chunk + 9;
    if (9 + uint64_t(length) > chunkBytes) throwCorrupt(file_.path(), where + " is longer than its chunks.");
  } else {
    if (head[0] != 3 || slot >= 64) throwCorrupt(file_.path(), where + " is not a shared blob chunk.");
    const Bytes entry = file_.read(chunk + 12 + 5 * slot, 5, where);
    start = chunk + 16u * entry[0];
    if (entry[0] == 0 || 16u * entry[0] + uint64_t(length) > std::max<uint64_t>(chunkBytes, kChunk))
      throwCorrupt(file_.path(), where + " lies outside its chunk.");
  }
  const Bytes data = file_.read(start, length, where);
  return std::string(data.begin(), data.end());
}

ParadoxBlobWriter::ParadoxBlobWriter(const std::string& path, FileSystem& fs) : file_(path, fs) {
  Bytes header(kChunk, 0);
  header[0] = 0;  // the header chunk
  putU16(header.data() + 1, 1);
  putU16(header.data() + 3, 1);
  file_.append(header);
}

uint32_t ParadoxBlobWriter::append(const std::string& bytes) {
  const uint64_t chunks = (9 + uint64_t(bytes.size()) + kChunk - 1) / kChunk;
  const uint64_t offset = file_.size();
  if (chunks > 0xFFFF || offset + chunks * kChunk > 0xFFFFFF00u)
    throw EngineError("The blob file '" + file_.targetPath() + "' cannot hold more data (Paradox limit).");
  Bytes head(9, 0);
  head[0] = 2;
  putU16(head.data() + 1, uint16_t(chunks));
  putU32(head.data() + 3, uint32_t(bytes.size()));
  putU16(head.data() + 7, 1);
  file_.append(head);
  file_.append(bytes);
  Bytes pad(chunks * kChunk - 9 - bytes.size(), 0);
  file_.append(pad);
  return uint32_t(offset) | 0xFF;
}

}  // namespace kevra
