// Memo blocks: dBase III memos run to 0x1A 0x1A; dBase IV blocks start with
// FF FF 08 00 and a length including those 8 bytes; FoxPro blocks start with
// a big-endian type and length, the block size sits in the file header.
#include "engine/isam/dbt_memo.h"

#include <algorithm>
#include <cstring>

#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr uint32_t kBlock = 512;

uint32_t u32be(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

}  // namespace

MemoFileReader::MemoFileReader(const std::string& path, bool foxPro, bool dbase4)
    : file_(path), foxPro_(foxPro), dbase4_(dbase4) {
  const Bytes head = file_.read(0, 32, "the memo header");
  if (foxPro_) {
    blockSize_ = uint32_t(head[6]) << 8 | head[7];
    if (blockSize_ == 0) blockSize_ = 64;  // FoxPro default when unset
  } else if (dbase4_) {
    blockSize_ = u16At(head, 20);
    if (blockSize_ == 0 || blockSize_ % 64 != 0) blockSize_ = kBlock;
  }
}

std::string MemoFileReader::readDbase3(uint64_t offset) {
  std::string out;
  while (offset < file_.size()) {
    const size_t chunk = size_t(std::min<uint64_t>(kBlock, file_.size() - offset));
    const Bytes bytes = file_.read(offset, chunk, "a memo");
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == 0x1A) {  // one 0x1A ends the text; a second usually follows
        out.append(reinterpret_cast<const char*>(bytes.data()), i);
        return out;
      }
    }
    out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    offset += chunk;
  }
  return out;  // last memo of the file without a terminator
}

std::string MemoFileReader::read(uint32_t block) {
  const uint64_t offset = uint64_t(block) * blockSize_;
  if (block == 0 || offset >= file_.size())
    throwCorrupt(file_.path(), "memo block " + std::to_string(block) + " lies outside the file.");
  if (foxPro_) {
    const Bytes head = file_.read(offset, 8, "memo block " + std::to_string(block));
    const uint32_t length = u32be(head.data() + 4);
    const Bytes body = file_.read(offset + 8, length, "memo block " + std::to_string(block));
    return std::string(body.begin(), body.end());
  }
  const Bytes head = file_.read(offset, std::min<uint64_t>(8, file_.size() - offset), "memo block " + std::to_string(block));
  if (head.size() == 8 && head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
    const uint32_t length = u32At(head, 4);
    if (length < 8) throwCorrupt(file_.path(), "memo block " + std::to_string(block) + " has a bad length.");
    const Bytes body = file_.read(offset + 8, length - 8, "memo block " + std::to_string(block));
    return std::string(body.begin(), body.end());
  }
  return readDbase3(offset);
}

MemoFileWriter::MemoFileWriter(const std::string& path, FileSystem& fs) : file_(path, fs) {
  Bytes header(kBlock, 0);
  putU32(header.data(), 1);
  header[16] = 0x03;  // dBase III memo version
  file_.append(header);
}

uint32_t MemoFileWriter::append(const std::string& bytes) {
  const uint32_t first = nextBlock_;
  const uint64_t total = bytes.size() + 2;
  const uint64_t blocks = (total + kBlock - 1) / kBlock;
  if (uint64_t(nextBlock_) + blocks > 999999999u)
    throw EngineError("The memo file '" + file_.targetPath() + "' would exceed the size dBase can address.");
  file_.append(bytes);
  Bytes tail(blocks * kBlock - bytes.size(), 0);
  tail[0] = 0x1A;
  tail[1] = 0x1A;
  file_.append(tail);
  nextBlock_ += uint32_t(blocks);
  return first;
}

void MemoFileWriter::complete() {
  uint8_t next[4];
  putU32(next, nextBlock_);
  file_.overwrite(0, next, 4);
}

}  // namespace kevra
