// In-memory files: byte vectors shared between a name and the open files.
#include "engine/storage/memory_file_system.h"

#include <algorithm>
#include <cstring>

namespace kevra {
namespace {

constexpr uint64_t kMemoryDevice = 0x6d656d;  // one device for every memory file

class MemoryFile final : public File {
 public:
  MemoryFile(std::string path, std::shared_ptr<MemoryFileSystem::Node> node, std::mutex& mutex, bool writable)
      : path_(std::move(path)), node_(std::move(node)), mutex_(mutex), writable_(writable) {}
  ~MemoryFile() override {
    std::lock_guard lock(mutex_);
    if (node_->lockHolder == this) node_->lockHolder = nullptr;
  }

  const std::string& path() const override { return path_; }

  void read(void* data, size_t length, uint64_t offset) override {
    std::lock_guard lock(mutex_);
    if (offset > node_->bytes.size() || length > node_->bytes.size() - offset)
      throw FileError(FileError::Kind::EndOfFile, "Could not read '" + path_ + "': unexpected end of file.",
                      "unexpected end of file");
    std::memcpy(data, node_->bytes.data() + offset, length);
  }

  void write(const void* data, size_t length, uint64_t offset) override {
    std::lock_guard lock(mutex_);
    requireWritable("write to");
    if (node_->bytes.size() < offset + length) node_->bytes.resize(offset + length, 0);
    std::memcpy(node_->bytes.data() + offset, data, length);
  }

  void sync() override {}

  void truncate(uint64_t length) override {
    std::lock_guard lock(mutex_);
    requireWritable("truncate");
    node_->bytes.resize(length, 0);
  }

  uint64_t size() override {
    std::lock_guard lock(mutex_);
    return node_->bytes.size();
  }

  bool tryLockExclusive() override {
    std::lock_guard lock(mutex_);
    if (node_->lockHolder && node_->lockHolder != this) return false;
    node_->lockHolder = this;
    return true;
  }

 private:
  void requireWritable(const std::string& what) const {
    if (!writable_)
      throw FileError(FileError::Kind::NoPermission,
                      "Could not " + what + " '" + path_ + "': the file is open for reading only.",
                      "Bad file descriptor");
  }

  std::string path_;
  std::shared_ptr<MemoryFileSystem::Node> node_;
  std::mutex& mutex_;
  bool writable_;
};

}  // namespace

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::find(const std::string& path) const {
  auto it = files_.find(path);
  return it == files_.end() ? nullptr : it->second;
}

void MemoryFileSystem::put(const std::string& path, std::vector<uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  auto node = std::make_shared<Node>();
  node->bytes = std::move(bytes);
  node->inode = nextInode_++;
  files_[path] = std::move(node);
}

std::vector<uint8_t> MemoryFileSystem::bytes(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto node = find(path);
  if (!node) throw FileError(FileError::Kind::NotFound, "Could not find file '" + path + "'.", "No such file");
  return node->bytes;
}

std::vector<std::string> MemoryFileSystem::paths() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& [path, node] : files_) out.push_back(path);
  return out;
}

std::unique_ptr<File> MemoryFileSystem::open(const std::string& path, OpenMode mode) {
  std::lock_guard lock(mutex_);
  if (folders_.count(path))
    throw FileError(FileError::Kind::NotRegularFile, "'" + path + "' is a folder, not a file.", "Is a directory");
  if (mode == OpenMode::Stream)
    throw FileError(FileError::Kind::NotRegularFile, "'" + path + "' is not a device or a pipe.",
                    "not a device or a pipe");
  auto node = find(path);
  if (node && mode == OpenMode::CreateNew)
    throw FileError(FileError::Kind::AlreadyExists, "Could not create '" + path + "': something of that name exists.",
                    "File exists");
  if (!node) {
    if (mode != OpenMode::Create && mode != OpenMode::CreateNew)
      throw FileError(FileError::Kind::NotFound, "Could not find file '" + path + "'.", "No such file");
    node = std::make_shared<Node>();
    node->inode = nextInode_++;
    files_[path] = node;
  } else if (mode == OpenMode::Create) {
    node->bytes.clear();
  }
  return std::make_unique<MemoryFile>(path, node, mutex_, mode != OpenMode::Read);
}

std::unique_ptr<File> MemoryFileSystem::createScratch(const std::string& beside) {
  std::lock_guard lock(mutex_);
  auto node = std::make_shared<Node>();  // in no folder: gone with its last File
  node->inode = nextInode_++;
  return std::make_unique<MemoryFile>(beside + " (temporary file)", node, mutex_, true);
}

std::vector<std::string> MemoryFileSystem::filesIn(const std::string& folder) {
  std::lock_guard lock(mutex_);
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  std::vector<std::string> names;
  for (const auto& [path, node] : files_)
    if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
        path.find('/', prefix.size()) == std::string::npos)
      names.push_back(path.substr(prefix.size()));
  return names;
}

bool MemoryFileSystem::exists(const std::string& path) {
  std::lock_guard lock(mutex_);
  return find(path) != nullptr || folders_.count(path) != 0;
}

std::optional<FileKind> MemoryFileSystem::kindOf(const std::string& path, bool) {
  std::lock_guard lock(mutex_);
  if (find(path)) return FileKind::Regular;
  if (folders_.count(path)) return FileKind::Folder;
  return std::nullopt;
}

void MemoryFileSystem::createFolder(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (find(path))
    throw FileError(FileError::Kind::AlreadyExists,
                    "Could not make the folder '" + path + "': something else of that name exists.", "File exists");
  folders_.insert(path);
}

std::optional<FileIdentity> MemoryFileSystem::identity(const std::string& path) {
  std::lock_guard lock(mutex_);
  auto node = find(path);
  if (!node) return std::nullopt;
  return FileIdentity{kMemoryDevice, node->inode};
}

void MemoryFileSystem::remove(const std::string& path) {
  std::lock_guard lock(mutex_);
  files_.erase(path);
}

void MemoryFileSystem::rename(const std::string& from, const std::string& to) {
  std::lock_guard lock(mutex_);
  auto node = find(from);
  if (!node)
    throw FileError(FileError::Kind::NotFound, "Could not rename '" + from + "': No such file.", "No such file");
  if (find(to) || folders_.count(to))
    throw FileError(FileError::Kind::Other, "Could not name '" + from + "' '" + to + "': a file with that name exists.",
                    "File exists");
  files_.erase(from);
  files_[to] = std::move(node);
}

void MemoryFileSystem::replace(const std::string& from, const std::string& to) {
  std::lock_guard lock(mutex_);
  auto node = find(from);
  if (!node)
    throw FileError(FileError::Kind::NotFound, "Could not replace '" + to + "': '" + from + "' is gone.",
                    "No such file");
  if (folders_.count(to))
    throw FileError(FileError::Kind::NotRegularFile, "Could not replace '" + to + "': it is a folder.",
                    "Is a directory");
  files_.erase(from);
  files_[to] = std::move(node);
}

}  // namespace kevra
