// Reading foreign files by position, with every read checked against the
// file's size so a truncated or corrupt file gives an error naming it, never
// a short read or an allocation the file cannot back.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/util/bytes.h"

namespace kevra {

class InputFile {
 public:
  // Throws EngineError naming `path` when it cannot be opened.
  explicit InputFile(std::string path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& path() const { return path_; }
  uint64_t size() const { return size_; }
  // `count` bytes at `offset`; CorruptFileError ("... is truncated") when the
  // file ends first. `what` names the part being read, for the message.
  Bytes read(uint64_t offset, size_t count, const std::string& what);
  void readInto(uint64_t offset, uint8_t* out, size_t count, const std::string& what);
  // The whole file, refused when it is larger than `limit` bytes.
  Bytes readAll(uint64_t limit);

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  uint64_t size_ = 0;
};

// The message of a CorruptFileError about `path`.
[[noreturn]] void throwCorrupt(const std::string& path, const std::string& problem);

}  // namespace kevra
