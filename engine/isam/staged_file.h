// A file written under a temporary name beside its target and made visible
// under the target's name only by commit(). The target must not exist, and is
// never replaced: commit() fails rather than overwrite a file that appeared
// meanwhile. Destroyed without commit(), it removes what it wrote. All of it
// goes through a FileSystem (the real one unless a test gives another), by
// the write-target rule of engine/storage/write_target.h.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/write_target.h"
#include "engine/util/bytes.h"

namespace kevra {

class StagedFile {
 public:
  // Throws EngineError naming `targetPath` when it exists or the temporary
  // file cannot be made.
  explicit StagedFile(std::string targetPath, FileSystem& fs = realFileSystem());
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  const std::string& targetPath() const { return file_.path(); }
  uint64_t size() const { return file_.size(); }
  void append(const uint8_t* data, size_t count) { file_.append(data, count); }
  void append(const Bytes& data) { append(data.data(), data.size()); }
  void append(std::string_view data) { file_.append(data.data(), data.size()); }
  // Overwrites bytes already written (a header patched at the end).
  void overwrite(uint64_t offset, const uint8_t* data, size_t count) { file_.overwrite(offset, data, count); }
  void overwrite(uint64_t offset, const Bytes& data) { overwrite(offset, data.data(), data.size()); }

  // Flushes, syncs and links the file under its target name. When that
  // fails (a file of that name appeared meanwhile), the temporary file is
  // removed at once and the error raised.
  void commit() { file_.commit(); }
  // Removes the committed target again (used when a sibling file failed).
  void withdraw() { file_.withdraw(); }

 private:
  TargetFile file_;
};

// Commits every file, or none: when one fails the ones already committed are
// withdrawn and the error is raised again.
void commitAll(const std::vector<StagedFile*>& files);

// Throws EngineError naming `path` when a file, folder or link of that name
// exists.
void refuseExisting(const std::string& path, FileSystem& fs = realFileSystem());

}  // namespace kevra
