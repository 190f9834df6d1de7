// The real file system: POSIX calls, retried on EINTR, with errors that name
// the path. The only file of the engine that calls the system for files.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "engine/storage/file_system.h"

namespace kevra {
namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int err) {
  const std::string reason = std::strerror(err);
  throw FileError(FileError::Kind::Other, "Could not " + what + " '" + path + "': " + reason + ".", reason);
}

constexpr off_t kReadersLockOffset = off_t(1) << 62;
constexpr off_t kPendingLockOffset = kReadersLockOffset + 1;

class PosixFile final : public File {
 public:
  // A stream (a device or a pipe) is written in order, with write() instead
  // of pwrite(), and has nothing to read back, truncate or flush.
  PosixFile(std::string path, int fd, bool stream = false) : path_(std::move(path)), fd_(fd), stream_(stream) {}
  ~PosixFile() override { ::close(fd_); }  // closing also releases the lock

  const std::string& path() const override { return path_; }

  void read(void* data, size_t length, uint64_t offset) override {
    if (stream_) fail("read", path_, EBADF);
    char* p = static_cast<char*>(data);
    size_t done = 0;
    while (done < length) {
      ssize_t n = ::pread(fd_, p + done, length - done, off_t(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) fail("read", path_, errno);
      if (n == 0)
        throw FileError(FileError::Kind::EndOfFile, "Could not read '" + path_ + "': unexpected end of file.",
                        "unexpected end of file");
      done += size_t(n);
    }
  }

  void write(const void* data, size_t length, uint64_t offset) override {
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < length) {
      ssize_t n = stream_ ? ::write(fd_, p + done, length - done)
                          : ::pwrite(fd_, p + done, length - done, off_t(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) fail("write to", path_, n < 0 ? errno : EIO);
      done += size_t(n);
    }
  }

  void sync() override {
    if (::fsync(fd_) == 0) return;
    // Devices and pipes have nothing to flush, and some say so.
    if (stream_ && (errno == EINVAL || errno == EROFS || errno == ENOTSUP)) return;
    fail("flush", path_, errno);
  }

  void startWriteback() override {
#ifdef __linux__
    // A hint: when it fails, sync() still writes everything.
    (void)::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
  }

  void truncate(uint64_t length) override {
    if (stream_) fail("truncate", path_, EINVAL);
    if (::ftruncate(fd_, off_t(length)) != 0) fail("truncate", path_, errno);
  }

  uint64_t size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) fail("read the size of", path_, errno);
    return uint64_t(st.st_size);
  }

  bool tryLockExclusive() override {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EWOULDBLOCK) return false;
    fail("lock", path_, errno);
  }

  // The readers' lock is an open-file-description lock on one byte far past
  // any real data: other programs reading the file never meet it, and it is
  // released when the file is closed, whatever happens to the process.
  //
  // A second byte beside it makes the lock prefer writers. A writer takes
  // that "pending" byte exclusive before it waits for the readers' byte and
  // keeps it until it lets the readers back in; a reader passes through the
  // pending byte (shared, released at once) before it takes the readers'
  // byte. So readers that arrive while a writer waits queue behind it, and
  // the writer waits only for the reads already under way.
  bool lockReaders(bool exclusive, int timeoutMs) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!waitForLock(exclusive ? F_WRLCK : F_RDLCK, kPendingLockOffset, deadline)) return false;
    if (!waitForLock(exclusive ? F_WRLCK : F_RDLCK, kReadersLockOffset, deadline)) {
      setLock(F_UNLCK, kPendingLockOffset);
      return false;
    }
    if (!exclusive) setLock(F_UNLCK, kPendingLockOffset);
    return true;
  }

  void unlockReaders() override {
    setLock(F_UNLCK, kReadersLockOffset);
    setLock(F_UNLCK, kPendingLockOffset);
  }

  LockHolder readersLockHolder() override {
    for (const off_t offset : {kPendingLockOffset, kReadersLockOffset}) {
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      lock.l_start = offset;
      lock.l_len = 1;
      if (::fcntl(fd_, F_OFD_GETLK, &lock) != 0 || lock.l_type == F_UNLCK) continue;
      // Our own locks cover exactly one of the two bytes; anything wider was
      // put there by some other program.
      if (lock.l_len != 1 || (lock.l_start != kPendingLockOffset && lock.l_start != kReadersLockOffset))
        return LockHolder::OtherProgram;
      if (lock.l_type == F_WRLCK) return LockHolder::Writer;
      if (offset == kReadersLockOffset) return LockHolder::Readers;
    }
    return LockHolder::None;
  }

  uint64_t changeStamp() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return 0;
    return (uint64_t(st.st_mtim.tv_sec) * 1000000000u + uint64_t(st.st_mtim.tv_nsec)) ^
           (uint64_t(st.st_size) << 1) ^ 1;
  }

 private:
  // One attempt; false when another open file holds a conflicting lock.
  bool setLock(short type, off_t offset) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    if (::fcntl(fd_, F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) fail("lock", path_, errno);
    return false;
  }

  bool waitForLock(short type, off_t offset, std::chrono::steady_clock::time_point deadline) {
    for (int pause = 1;; pause = std::min(pause * 2, 20)) {
      if (setLock(type, offset)) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
  }

  std::string path_;
  int fd_;
  bool stream_;
};

std::optional<FileKind> kindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::Regular;
  if (S_ISDIR(mode)) return FileKind::Folder;
  if (S_ISCHR(mode) || S_ISFIFO(mode) || S_ISSOCK(mode)) return FileKind::Stream;
  if (S_ISLNK(mode)) return FileKind::Link;
  return FileKind::Other;
}

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> open(const std::string& path, OpenMode mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::Read: flags |= O_RDONLY; break;
      case OpenMode::ReadWrite: flags |= O_RDWR; break;
      case OpenMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
      // O_EXCL alone already refuses a symbolic link; O_NOFOLLOW says so.
      case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
      case OpenMode::Stream: flags |= O_WRONLY | O_NOCTTY; break;
    }
    // New files get what the umask allows, as other programs' files do.
    int fd = ::open(path.c_str(), flags, mode == OpenMode::Create ? 0644 : 0666);
    if (fd < 0) {
      const int err = errno;
      const std::string reason = std::strerror(err);
      if (err == ENOENT) throw FileError(FileError::Kind::NotFound, "Could not find file '" + path + "'.", reason);
      if (err == EACCES || err == EPERM || err == EROFS)
        throw FileError(FileError::Kind::NoPermission,
                        "No permission to open '" + path + "'" + (mode == OpenMode::Read ? "" : " for writing") + ".",
                        reason);
      if (err == EISDIR)
        throw FileError(FileError::Kind::NotRegularFile, "'" + path + "' is a folder, not a file.", reason);
      if (err == EEXIST && mode == OpenMode::CreateNew)
        throw FileError(FileError::Kind::AlreadyExists, "Could not create '" + path + "': something of that name exists.",
                        reason);
      fail("open", path, err);
    }
    struct stat st {};
    const bool stream = mode == OpenMode::Stream;
    if (::fstat(fd, &st) != 0 || kindOfMode(st.st_mode) != (stream ? FileKind::Stream : FileKind::Regular)) {
      ::close(fd);
      if (stream)
        throw FileError(FileError::Kind::NotRegularFile, "'" + path + "' is not a device or a pipe.",
                        "not a device or a pipe");
      throw FileError(FileError::Kind::NotRegularFile, "'" + path + "' is not a regular file.", "not a regular file");
    }
    return std::make_unique<PosixFile>(path, fd, stream);
  }

  bool exists(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
  }

  bool isWritable(const std::string& path) override { return ::access(path.c_str(), W_OK) == 0; }

  std::string realPath(const std::string& path) override {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string result(resolved);
    std::free(resolved);
    return result;
  }

  std::optional<FileKind> kindOf(const std::string& path, bool followLinks) override {
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
      if (errno == ENOENT || errno == ENOTDIR || (followLinks && errno == ELOOP)) return std::nullopt;
      fail("look at", path, errno);
    }
    return kindOfMode(st.st_mode);
  }

  std::optional<FileIdentity> identity(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
  }

  void remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail("remove", path, errno);
  }

  void rename(const std::string& from, const std::string& to) override {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno == EEXIST)
      throw FileError(FileError::Kind::Other, "Could not name '" + from + "' '" + to + "': a file with that name exists.",
                      "File exists");
    if (errno != EINVAL && errno != ENOSYS) fail("rename", from, errno);
    // File systems without an atomic no-replace rename: a hard link fails
    // when the name is taken; then the old name goes.
    if (::link(from.c_str(), to.c_str()) != 0) {
      if (errno == EEXIST)
        throw FileError(FileError::Kind::Other,
                        "Could not name '" + from + "' '" + to + "': a file with that name exists.", "File exists");
      fail("rename", from, errno);
    }
    if (::unlink(from.c_str()) != 0) fail("remove", from, errno);
  }

  void replace(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) fail("replace", to, errno);
  }

  void createFolder(const std::string& path) override {
    if (::mkdir(path.c_str(), 0777) == 0) return;
    const int err = errno;
    if (err == EEXIST && kindOf(path, false) == FileKind::Folder) return;
    if (err == EEXIST)
      throw FileError(FileError::Kind::AlreadyExists,
                      "Could not make the folder '" + path + "': something else of that name exists.", "File exists");
    fail("make the folder", path, err);
  }

  std::unique_ptr<File> createScratch(const std::string& beside) override {
    std::string dir = std::filesystem::path(beside).parent_path().string();
    if (dir.empty()) dir = ".";
    int fd = scratchIn(dir);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
      // A folder this program may not write in: the system's temporary one.
      std::error_code ignored;
      const std::string temp = std::filesystem::temp_directory_path(ignored).string();
      if (!temp.empty() && (fd = scratchIn(temp)) >= 0) dir = temp;
    }
    if (fd < 0) fail("make a temporary file in", dir, errno);
    return std::make_unique<PosixFile>(dir + "/(temporary file)", fd);
  }

  // An unnamed file in `dir`; -1 (and errno) when there can be none.
  static int scratchIn(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
      // No unnamed files on this file system: a named one, unlinked at once.
      std::string name = dir + "/.kevra-scratch-XXXXXX";
      fd = ::mkostemp(name.data(), O_CLOEXEC);
      if (fd >= 0) ::unlink(name.c_str());
    }
    return fd;
  }

  std::vector<std::string> filesIn(const std::string& folder) override {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) fail("read the folder", folder, errno);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      struct stat st {};
      if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
        names.push_back(name);
    }
    ::closedir(dir);
    return names;
  }

  void syncFolderOf(const std::string& path) override {
    std::string dir = std::filesystem::path(path).parent_path().string();
    if (dir.empty()) dir = ".";
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // some file systems do not let a folder be opened
    ::fsync(fd);
    ::close(fd);
  }
};

}  // namespace

FileSystem& realFileSystem() {
  static PosixFileSystem system;
  return system;
}

}  // namespace kevra
