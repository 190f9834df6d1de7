// InputFile over stdio with 64-bit offsets.
#include "engine/isam/foreign_file.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "engine/util/error.h"

namespace kevra {

void throwCorrupt(const std::string& path, const std::string& problem) {
  throw CorruptFileError("The file '" + path + "' is damaged: " + problem);
}

InputFile::InputFile(std::string path) : path_(std::move(path)) {
  file_ = std::fopen(path_.c_str(), "rb");
  if (!file_) throw EngineError("Cannot open '" + path_ + "': " + std::strerror(errno) + ".");
  struct stat st {};
  if (fstat(fileno(file_), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(file_);
    file_ = nullptr;
    throw EngineError("Cannot open '" + path_ + "': it is not a regular file.");
  }
  size_ = uint64_t(st.st_size);
}

InputFile::~InputFile() {
  if (file_) std::fclose(file_);
}

void InputFile::readInto(uint64_t offset, uint8_t* out, size_t count, const std::string& what) {
  if (offset > size_ || count > size_ - offset)
    throw CorruptFileError("The file '" + path_ + "' is truncated: " + what + " ends past its end.");
  if (count == 0) return;
  if (fseeko(file_, off_t(offset), SEEK_SET) != 0 || std::fread(out, 1, count, file_) != count)
    throw EngineError("Cannot read '" + path_ + "': " + std::strerror(errno) + ".");
}

Bytes InputFile::read(uint64_t offset, size_t count, const std::string& what) {
  if (offset > size_ || count > size_ - offset)
    throw CorruptFileError("The file '" + path_ + "' is truncated: " + what + " ends past its end.");
  Bytes out(count);
  readInto(offset, out.data(), count, what);
  return out;
}

Bytes InputFile::readAll(uint64_t limit) {
  if (size_ > limit)
    throw EngineError("The file '" + path_ + "' is too large to read (" + std::to_string(size_) + " bytes).");
  return read(0, size_t(size_), "the file");
}

}  // namespace kevra
