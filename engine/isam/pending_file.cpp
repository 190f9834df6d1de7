// Temporary files made visible with link(2), which never replaces a file.
#include "engine/isam/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr size_t kFlushAt = 1 << 20;

std::string systemReason() { return std::strerror(errno); }

std::string folderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::FILE* openTemporary(const std::string& finalPath, std::string& tempPath) {
  std::string pattern = folderOf(finalPath) + "/." + baseName(finalPath) + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0)
    throw EngineError("Cannot write '" + finalPath + "': " + systemReason() + ".");
  ::fchmod(fd, 0644);
  tempPath.assign(name.data());
  std::FILE* f = ::fdopen(fd, "wb");
  if (!f) {
    ::close(fd);
    ::unlink(tempPath.c_str());
    throw EngineError("Cannot write '" + finalPath + "': " + systemReason() + ".");
  }
  return f;
}

}  // namespace

bool fileExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string baseName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

PendingFile::PendingFile(std::string finalPath) : finalPath_(std::move(finalPath)) {
  if (fileExists(finalPath_))
    throw EngineError("The file '" + finalPath_ + "' already exists; it is not overwritten.");
  file_ = openTemporary(finalPath_, tempPath_);
  buffer_.reserve(kFlushAt + 65536);
}

PendingFile::~PendingFile() {
  if (!committed_) discard();
}

void PendingFile::discard() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  tempPath_.clear();
}

void PendingFile::write(std::string_view bytes) {
  buffer_.append(bytes);
  if (buffer_.size() < kFlushAt) return;
  if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
    throw EngineError("Cannot write '" + finalPath_ + "': " + systemReason() + ".");
  buffer_.clear();
}

void PendingFile::commit() {
  if (committed_) return;
  try {
    publish();
  } catch (...) {
    discard();
    throw;
  }
  committed_ = true;
}

void PendingFile::publish() {
  if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
    throw EngineError("Cannot write '" + finalPath_ + "': " + systemReason() + ".");
  buffer_.clear();
  if (std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0)
    throw EngineError("Cannot write '" + finalPath_ + "': " + systemReason() + ".");
  std::fclose(file_);
  file_ = nullptr;
  if (::link(tempPath_.c_str(), finalPath_.c_str()) != 0) {
    // File systems without hard links: fall back to a rename after a last check.
    if (errno == EEXIST || fileExists(finalPath_))
      throw EngineError("The file '" + finalPath_ + "' already exists; it is not overwritten.");
    if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0)
      throw EngineError("Cannot write '" + finalPath_ + "': " + systemReason() + ".");
    tempPath_.clear();
  } else {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

void replaceFileContents(const std::string& path, std::string_view bytes) {
  std::string tempPath;
  std::FILE* f = openTemporary(path, tempPath);
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0 &&
            ::fsync(::fileno(f)) == 0;
  std::fclose(f);
  if (!ok || ::rename(tempPath.c_str(), path.c_str()) != 0) {
    std::string reason = systemReason();
    ::unlink(tempPath.c_str());
    throw EngineError("Cannot write '" + path + "': " + reason + ".");
  }
}

}  // namespace kevra
