// Writing a file to a path that may already name something: the one rule
// every writer follows (exports, new databases, compaction, the foreign
// files, saved attachments).
//
//   nothing there         a new file, written under a temporary name beside
//                         the target and given its name only when complete
//   a regular file        the same, the final rename replacing it whole, for
//                         writers that replace; the others refuse it
//   a device, FIFO or     written directly (/dev/null, /dev/stdout, a pipe):
//   socket                there is nothing to replace, and renaming onto it
//                         would put a regular file in the device's place
//   a symbolic link       the rule for what it points at, so the link itself
//                         stays; a link to nothing is refused
//   a folder, anything    refused
//   else
//
// Writers that never replace refuse anything at the path, a link included.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/file_system.h"

namespace kevra {

enum class ExistingTarget { Replace, Refuse };

struct WriteTarget {
  enum class Kind { New, Regular, Stream };
  Kind kind = Kind::New;
  std::string path;  // what is written: the link's target for a symbolic link
};

// Applies the rule to `path`. Throws EngineError naming the path when it must
// not be written (with `Refuse`: when anything is there).
WriteTarget resolveWriteTarget(FileSystem& fs, const std::string& path, ExistingTarget existing);

// A file written to its target by the rule above. Bytes are appended in
// order (and may be patched while staged); commit() makes them the target's.
// Destroyed without commit(), it removes its temporary file; what reached a
// device or pipe stays there.
class TargetFile {
 public:
  TargetFile(FileSystem& fs, std::string path, ExistingTarget existing);
  ~TargetFile();
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  const std::string& path() const { return path_; }
  // True when the bytes go straight to a device or pipe.
  bool direct() const { return direct_; }
  uint64_t size() const { return size_; }

  void append(const void* data, size_t count);
  // Overwrites bytes already appended (a header patched at the end); not
  // possible on a device or pipe.
  void overwrite(uint64_t offset, const void* data, size_t count);
  // Flushes, syncs and gives the file the target's name (never replacing
  // with `Refuse`). On failure the temporary file is removed at once.
  void commit();
  // Removes a committed new file again (a sibling file failed). Does
  // nothing to a replaced file or a device.
  void withdraw();

 private:
  void flushBuffer();
  void discardTemporary() noexcept;
  [[noreturn]] void fail(const std::string& action, const std::string& reason);

  FileSystem& fs_;
  std::string path_;     // as asked
  std::string written_;  // where the committed bytes end up
  std::string temp_;     // empty when direct
  ExistingTarget existing_;
  std::unique_ptr<File> file_;
  std::vector<uint8_t> buffer_;
  uint64_t size_ = 0;     // bytes appended
  uint64_t flushed_ = 0;  // bytes in the file
  bool direct_ = false;
  bool committed_ = false;
  bool failed_ = false;
};

}  // namespace kevra
