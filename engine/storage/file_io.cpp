// POSIX file operations with the fault-injection hook.
#include "engine/storage/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "engine/util/error.h"

namespace kevra {
namespace {

IoFaultHook& hook() {
  static IoFaultHook h;
  return h;
}

size_t allowed(IoOperation op, const std::string& path, size_t length) {
  if (hook()) return hook()(op, path, length);
  return op == IoOperation::Write ? length : 1;
}

[[noreturn]] void fail(const std::string& what, const std::string& path, int err) {
  throw EngineError("Could not " + what + " '" + path + "': " + std::strerror(err) + ".");
}

}  // namespace

void setIoFaultHook(IoFaultHook h) { hook() = std::move(h); }

void writeFully(int fd, const std::string& path, const void* data, size_t length, off_t offset) {
  size_t permitted = allowed(IoOperation::Write, path, length);
  size_t target = std::min(permitted, length);
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < target) {
    ssize_t n = ::pwrite(fd, p + done, target - done, offset + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("write to", path, n < 0 ? errno : EIO);
    done += size_t(n);
  }
  if (target < length) fail("write to", path, EIO);
}

void readFully(int fd, const std::string& path, void* data, size_t length, off_t offset) {
  char* p = static_cast<char*>(data);
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(fd, p + done, length - done, offset + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail("read", path, errno);
    if (n == 0) throw EngineError("Could not read '" + path + "': unexpected end of file.");
    done += size_t(n);
  }
}

void syncFile(int fd, const std::string& path) {
  if (allowed(IoOperation::Sync, path, 0) == 0) fail("flush", path, EIO);
  if (::fsync(fd) != 0) fail("flush", path, errno);
}

void truncateFile(int fd, const std::string& path, off_t length) {
  if (allowed(IoOperation::Truncate, path, 0) == 0) fail("truncate", path, EIO);
  if (::ftruncate(fd, length) != 0) fail("truncate", path, errno);
}

void removeFile(const std::string& path) {
  if (allowed(IoOperation::Remove, path, 0) == 0) fail("remove", path, EIO);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail("remove", path, errno);
}

void syncDirectoryOf(const std::string& path) {
  std::string dir = std::filesystem::path(path).parent_path().string();
  if (dir.empty()) dir = ".";
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // best effort: some file systems do not allow it
  ::fsync(fd);
  ::close(fd);
}

}  // namespace kevra
