// StagedFile: temporary file, fsync, then link() under the target name, which
// fails with EEXIST instead of replacing a file.
#include "engine/isam/staged_file.h"

#include <cerrno>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr size_t kBufferSize = 1 << 16;

std::string existsMessage(const std::string& path) {
  return "The file '" + path + "' already exists; choose another name or remove it first.";
}

}  // namespace

void refuseExisting(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) throw EngineError(existsMessage(path));
}

StagedFile::StagedFile(std::string targetPath) : target_(std::move(targetPath)) {
  refuseExisting(target_);
  const auto slash = target_.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  // open() rather than mkstemp(): the file gets the permissions the umask
  // allows, like any other new file, instead of owner-only.
  static std::atomic<unsigned> counter{0};
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    const std::string candidate = folder + "." + base + ".partial-" + std::to_string(::getpid()) + "-" +
                                  std::to_string(++counter);
    fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) temp_ = candidate;
    else if (errno != EEXIST) break;
  }
  if (fd < 0) throw EngineError("Cannot write '" + target_ + "': " + std::strerror(errno) + ".");
  file_ = fdopen(fd, "w+b");
  if (!file_) {
    const int error = errno;
    ::close(fd);
    ::unlink(temp_.c_str());
    throw EngineError("Cannot write '" + target_ + "': " + std::strerror(error) + ".");
  }
  buffer_.reserve(kBufferSize);
}

StagedFile::~StagedFile() {
  if (file_) std::fclose(file_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void StagedFile::fail(const std::string& action) {
  throw EngineError("Cannot " + action + " '" + target_ + "': " + std::strerror(errno) + ".");
}

void StagedFile::flushBuffer() {
  if (buffer_.empty()) return;
  if (fseeko(file_, 0, SEEK_END) != 0 || std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
    fail("write");
  buffer_.clear();
}

void StagedFile::append(const uint8_t* data, size_t count) {
  if (committed_) throw EngineError("The file '" + target_ + "' is already complete.");
  if (!file_) throw EngineError("The file '" + target_ + "' could not be completed earlier; nothing was written.");
  if (buffer_.size() + count > kBufferSize) flushBuffer();
  if (count >= kBufferSize) {
    if (fseeko(file_, 0, SEEK_END) != 0 || std::fwrite(data, 1, count, file_) != count) fail("write");
  } else {
    buffer_.insert(buffer_.end(), data, data + count);
  }
  size_ += count;
}

void StagedFile::overwrite(uint64_t offset, const uint8_t* data, size_t count) {
  if (offset + count > size_ || !file_) throw EngineError("Cannot write '" + target_ + "': patch past the end.");
  flushBuffer();
  if (fseeko(file_, off_t(offset), SEEK_SET) != 0 || std::fwrite(data, 1, count, file_) != count) fail("write");
}

void StagedFile::commit() {
  if (committed_) return;
  if (!file_) throw EngineError("The file '" + target_ + "' could not be completed earlier; nothing was written.");
  try {
    flushBuffer();
    if (std::fflush(file_) != 0 || fsync(fileno(file_)) != 0) fail("write");
    if (::link(temp_.c_str(), target_.c_str()) != 0) {
      if (errno == EEXIST) throw EngineError(existsMessage(target_));
      fail("create");
    }
  } catch (...) {
    // Nothing is left behind: not the target, not the temporary file.
    std::fclose(file_);
    file_ = nullptr;
    ::unlink(temp_.c_str());
    temp_.clear();
    throw;
  }
  ::unlink(temp_.c_str());
  std::fclose(file_);
  file_ = nullptr;
  committed_ = true;
}

void StagedFile::withdraw() {
  if (committed_) ::unlink(target_.c_str());
}

void commitAll(const std::vector<StagedFile*>& files) {
  size_t done = 0;
  try {
    for (; done < files.size(); ++done) files[done]->commit();
  } catch (...) {
    for (size_t i = 0; i < done; ++i) files[i]->withdraw();
    throw;
  }
}

}  // namespace kevra
