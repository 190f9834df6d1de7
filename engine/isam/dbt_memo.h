// Memo files beside a .dbf: reading dBase III and IV/5 `.dbt` and FoxPro
// `.fpt` blocks, and writing the dBase III `.dbt` layout (512-byte blocks,
// block 0 holding the next free block, each memo ended by 0x1A 0x1A), which
// every reader understands.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/isam/foreign_file.h"
#include "engine/isam/staged_file.h"

namespace kevra {

class MemoFileReader {
 public:
  // `foxPro` selects the .fpt layout (big-endian block headers).
  MemoFileReader(const std::string& path, bool foxPro, bool dbase4);
  // The raw bytes of the memo starting at `block`; CorruptFileError naming
  // the file when the block lies outside it or its length does not fit.
  std::string read(uint32_t block);
  const std::string& path() const { return file_.path(); }

 private:
  std::string readDbase3(uint64_t offset);
  InputFile file_;
  bool foxPro_;
  bool dbase4_;
  uint32_t blockSize_ = 512;
};

class MemoFileWriter {
 public:
  explicit MemoFileWriter(const std::string& path, FileSystem& fs = realFileSystem());
  // Appends a memo and returns its first block number.
  uint32_t append(const std::string& bytes);
  // Writes the next-free-block number into block 0.
  void complete();
  StagedFile& file() { return file_; }

 private:
  StagedFile file_;
  uint32_t nextBlock_ = 1;
};

}  // namespace kevra
