// PendingFile: a file written under a temporary name beside its final one and
// made visible only by commit(), which refuses to replace a file that exists.
// Destroyed without commit(), it removes what was written, so a failed export
// leaves nothing behind.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/isam/folder_files.h"  // joinPath

namespace kevra {

class PendingFile {
 public:
  // Refuses (EngineError naming the file) when `finalPath` exists already or
  // its folder cannot be written.
  explicit PendingFile(std::string finalPath);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  void write(std::string_view bytes);
  // Flushes, syncs and links the file under its final name; throws when a
  // file of that name appeared meanwhile, and then removes what was written.
  void commit();
  const std::string& finalPath() const { return finalPath_; }

 private:
  void discard();
  void publish();
  std::string finalPath_;
  std::string tempPath_;
  std::FILE* file_ = nullptr;
  std::string buffer_;
  bool committed_ = false;
};

// Replaces `path` with `bytes` through a temporary file and a rename, so a
// reader sees the old or the new content, never a mix.
void replaceFileContents(const std::string& path, std::string_view bytes);

bool fileExists(const std::string& path);
// The last part of a path.
std::string baseName(const std::string& path);

}  // namespace kevra
