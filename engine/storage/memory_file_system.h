// MemoryFileSystem: files held in memory, for tests that want many fresh
// databases fast or a file system they can inspect byte by byte. Behaves as
// the real one does where the engine can tell: an open file outlives the
// removal of its name, one exclusive lock per file, reads past the end fail.
// Flushing is a no-op: everything written is "durable" at once. Folders are
// names made by createFolder(); a file needs none to be created. There are
// no symbolic links, devices or pipes.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/file_system.h"

namespace kevra {

class MemoryFileSystem final : public FileSystem {
 public:
  // Puts a file with `bytes` at `path`, replacing any file there.
  void put(const std::string& path, std::vector<uint8_t> bytes);
  // The bytes of the file at `path`; throws FileError when there is none.
  std::vector<uint8_t> bytes(const std::string& path) const;
  // The paths of every file, sorted.
  std::vector<std::string> paths() const;

  std::unique_ptr<File> open(const std::string& path, OpenMode mode) override;
  bool exists(const std::string& path) override;
  bool isWritable(const std::string& path) override { return exists(path); }
  std::optional<FileKind> kindOf(const std::string& path, bool followLinks = false) override;
  std::optional<FileIdentity> identity(const std::string& path) override;
  void remove(const std::string& path) override;
  void rename(const std::string& from, const std::string& to) override;
  void replace(const std::string& from, const std::string& to) override;
  void createFolder(const std::string& path) override;
  void syncFolderOf(const std::string&) override {}
  std::unique_ptr<File> createScratch(const std::string& beside) override;
  std::vector<std::string> filesIn(const std::string& folder) override;

  struct Node {
    std::vector<uint8_t> bytes;
    uint64_t inode = 0;
    const void* lockHolder = nullptr;  // the File holding the exclusive lock
  };

 private:
  std::shared_ptr<Node> find(const std::string& path) const;

  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Node>> files_;
  std::set<std::string> folders_;
  uint64_t nextInode_ = 1;
};

}  // namespace kevra
