// PageFile: positioned reads of whole pages with an LRU cache.
#include "engine/storage/page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/util/error.h"

namespace kevra {

PageFile::PageFile(const std::string& path, bool readOnly) : path_(path) {
  fd_ = ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (fd_ < 0) {
    int err = errno;
    if (err == ENOENT) throw EngineError("Could not find file '" + path + "'.");
    if (err == EACCES || err == EPERM)
      throw EngineError("No permission to open '" + path + "'" + (readOnly ? "" : " for writing") + ".");
    throw EngineError("Could not open '" + path + "': " + std::strerror(err) + ".");
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    throw EngineError("'" + path + "' is not a database file.");
  }
  if (st.st_size < off_t(kPageSize)) {
    ::close(fd_);
    throw CorruptFileError("'" + path + "' is too short to be a database file (" + std::to_string(st.st_size) +
                           " bytes).");
  }
  uint64_t pages = uint64_t(st.st_size) / kPageSize;
  if (pages > 0xFFFFFF) pages = 0xFFFFFF;  // row pointers address 24-bit page numbers
  pageCount_ = uint32_t(pages);
}

PageFile::~PageFile() {
  if (fd_ >= 0) ::close(fd_);
}

PageRef PageFile::read(uint32_t page) const {
  if (page >= pageCount_)
    throw CorruptFileError("Corrupt file: page " + std::to_string(page) + " is referenced but the file has only " +
                           std::to_string(pageCount_) + " pages.");
  auto it = index_.find(page);
  if (it != index_.end()) {
    lru_.splice(lru_.begin(), lru_, it->second);
    return it->second->second;
  }
  auto buffer = std::make_shared<std::array<uint8_t, kPageSize>>();
  size_t done = 0;
  while (done < kPageSize) {
    ssize_t n = ::pread(fd_, buffer->data() + done, kPageSize - done, off_t(page) * kPageSize + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw EngineError("Could not read page " + std::to_string(page) + " of '" + path_ + "'" +
                        (n < 0 ? std::string(": ") + std::strerror(errno) : std::string(": unexpected end of file")) +
                        ".");
    done += size_t(n);
  }
  PageRef ref = buffer;
  lru_.emplace_front(page, ref);
  index_[page] = lru_.begin();
  if (lru_.size() > cacheLimit_) {
    index_.erase(lru_.back().first);
    lru_.pop_back();
  }
  return ref;
}

}  // namespace kevra
