// FileSystem: everything the engine asks of the operating system for files —
// opening, reading, writing, flushing, truncating, sizing and locking files;
// removing, renaming, replacing and checking them by path; making folders.
// Nothing else in the engine calls the system for these; it goes through a
// FileSystem.
//
// Three implementations:
//   realFileSystem()          the operating system (posix_file_system.cpp)
//   MemoryFileSystem          files held in memory, for fast tests
//   FaultInjectingFileSystem  wraps another one and fails, tears or stops any
//                             operation a test chooses (crash tests)
//
// Every failure is a FileError (an EngineError) whose message names the path.
#pragma once
#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/util/error.h"

namespace kevra {

class FileError : public EngineError {
 public:
  enum class Kind { NotFound, NoPermission, NotRegularFile, EndOfFile, AlreadyExists, Other };
  FileError(Kind kind, const std::string& message, std::string reason)
      : EngineError(message), kind_(kind), reason_(std::move(reason)) {}
  Kind kind() const { return kind_; }
  // What the system said, without the path ("Permission denied").
  const std::string& reason() const { return reason_; }

 private:
  Kind kind_;
  std::string reason_;
};

// Who keeps a file from the readers' lock (see File::readersLockHolder).
enum class LockHolder {
  None,
  Readers,       // other programs reading it
  Writer,        // another program putting a change into it
  OtherProgram,  // a lock of some other program over the file
};

enum class OpenMode {
  Read,       // existing file, reading only
  ReadWrite,  // existing file
  Create,     // created, or emptied when it exists; reading and writing
  CreateNew,  // created where nothing is, not even a symbolic link (FileError
              // AlreadyExists otherwise); reading and writing
  Stream,     // an existing character device, FIFO or socket, written in
              // order: offsets are ignored, nothing can be read back
};

// What a path names, the path itself and not what a symbolic link there
// points at.
enum class FileKind {
  Regular,
  Folder,
  Stream,  // a character device, FIFO or socket (/dev/null, a pipe)
  Link,    // a symbolic link
  Other,   // a block device and the like
};

// Which file a path names, so two paths to one file can be told apart.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

class File {
 public:
  virtual ~File() = default;
  virtual const std::string& path() const = 0;
  // Reads exactly `length` bytes at `offset`; throws FileError (EndOfFile)
  // when the file ends first.
  virtual void read(void* data, size_t length, uint64_t offset) = 0;
  virtual void write(const void* data, size_t length, uint64_t offset) = 0;
  // Returns once everything written so far is durable.
  virtual void sync() = 0;
  // Asks the system to start writing what was written so far to the disk,
  // without waiting for it, so that a later sync() has less left to wait
  // for. Only a hint: a file system without such a thing does nothing.
  virtual void startWriteback() {}
  virtual void truncate(uint64_t length) = 0;
  virtual uint64_t size() = 0;
  // Takes the exclusive writer's lock without waiting; false when another
  // open file (in any process) holds it. Closing the file releases it.
  virtual bool tryLockExclusive() = 0;
  // The readers' lock, apart from the writer's: each read of the file by
  // another program holds it shared, and a writer holds it exclusive while it
  // puts pages into the file. Waits up to `timeoutMs`; false when that ran
  // out. File systems of one process (memory) need none and always succeed.
  virtual bool lockReaders(bool exclusive, int timeoutMs) {
    (void)exclusive, (void)timeoutMs;
    return true;
  }
  virtual void unlockReaders() {}
  // Who holds a lock that keeps this file from the readers' lock right now:
  // for messages that say what a wait was for.
  virtual LockHolder readersLockHolder() { return LockHolder::None; }
  // A value that changes whenever the file's content is written (from its
  // modification time and size); 0 when the file system cannot tell.
  virtual uint64_t changeStamp() { return 0; }
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens a regular file; throws FileError naming the path when it cannot.
  virtual std::unique_ptr<File> open(const std::string& path, OpenMode mode) = 0;
  virtual bool exists(const std::string& path) = 0;
  // Whether this program may write the file at `path`.
  virtual bool isWritable(const std::string& path) = 0;
  // The path with symbolic links and "." / ".." resolved, so every name of
  // one file leads to the same journal beside it; the path itself when it
  // cannot be resolved (a file that does not exist yet).
  virtual std::string realPath(const std::string& path) { return path; }
  // What is at `path`; nullopt when nothing is. A symbolic link is a Link
  // unless `followLinks`, when it is what it leads to (nullopt: nothing).
  virtual std::optional<FileKind> kindOf(const std::string& path, bool followLinks = false) = 0;
  // Identity of the file at `path`; nullopt when there is none.
  virtual std::optional<FileIdentity> identity(const std::string& path) = 0;
  // Removes the file; a file that is not there is no error.
  virtual void remove(const std::string& path) = 0;
  // Gives the file at `from` the name `to`, never replacing a file already
  // named `to` (that is an error): new files appear whole, and only where
  // nothing was.
  virtual void rename(const std::string& from, const std::string& to) = 0;
  // Gives the file at `from` the name `to` in one step, replacing the
  // regular file named `to` when there is one: a reader of `to` sees the
  // old file or the new one, never a mix.
  virtual void replace(const std::string& from, const std::string& to) = 0;
  // Makes the folder `path`; one already there is no error. Throws FileError
  // when something else, a symbolic link included, has that name.
  virtual void createFolder(const std::string& path) = 0;
  // Makes the folder's entries (a created or removed file) durable. Best
  // effort: file systems that cannot do it are not an error.
  virtual void syncFolderOf(const std::string& path) = 0;
  // A new file without a name, in the folder of `beside`, for data too large
  // to hold in memory while a change is made (sorted runs of index keys):
  // nobody else sees it, and it is gone once closed, or when the program
  // stops however it stops. Throws FileError naming the folder.
  virtual std::unique_ptr<File> createScratch(const std::string& beside) = 0;
  // The names (without the folder) of the regular files in `folder`, in no
  // particular order. Throws FileError naming the folder when it cannot be
  // read.
  virtual std::vector<std::string> filesIn(const std::string& folder) = 0;
};

// The operating system's file system; lives as long as the program.
FileSystem& realFileSystem();

}  // namespace kevra
