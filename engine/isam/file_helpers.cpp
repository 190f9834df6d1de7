// Small file helpers of the text drivers: whole-file replacement through a
// temporary file and a rename, existence, base names.
#include "engine/isam/file_helpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/util/error.h"

namespace kevra {
namespace {

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
