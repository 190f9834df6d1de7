// Paradox blob files (.mb): 4 KB chunks; a blob lives alone in a run of
// chunks (type 2: 9-byte header, then the data) or shares a sub-allocated
// chunk with others (type 3: 12-byte header, 64 five-byte slots, data in
// 16-byte units). A record's blob field ends with a 10-byte pointer: offset
// (chunk position, slot in the low byte, 0xFF for a lone blob), length and
// modification number; the bytes before it hold the blob's leading part.
#pragma once
#include <cstdint>
#include <string>

#include "engine/isam/foreign_file.h"
#include "engine/isam/staged_file.h"

namespace kevra {

class ParadoxBlobReader {
 public:
  explicit ParadoxBlobReader(const std::string& path);
  // The `length` bytes of the blob at `offset`; CorruptFileError naming the
  // file when the pointer or the chunk headers contradict the file.
  std::string read(uint32_t offset, uint32_t length);

 private:
  InputFile file_;
};

class ParadoxBlobWriter {
 public:
  explicit ParadoxBlobWriter(const std::string& path, FileSystem& fs = realFileSystem());
  // Stores a blob in chunks of its own; returns the offset for the pointer.
  uint32_t append(const std::string& bytes);
  StagedFile& file() { return file_; }

 private:
  StagedFile file_;
};

}  // namespace kevra
