// FaultInjectingFileSystem: another FileSystem seen through a plan that may
// fail, tear or stop any operation — reads, writes, flushes, truncations,
// sizes, locks, opens, removals and renames alike. Crash tests use it to cut
// a commit or a recovery short at every step.
//
// A failed operation throws a FileError as the real system's would (nothing
// or, for a torn write, only the first bytes reach the file). A crash stops
// the "process": the operation does not happen (a torn write leaves its first
// bytes) and it and every later operation throw SimulatedCrash, which is no
// EngineError, so nothing written after the crash reaches the file — as when
// the process is killed at that point. The files stay as the crash left them
// in the wrapped file system, for the test to open again.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

#include "engine/storage/file_system.h"

namespace kevra {

enum class FileOperation { Open, Read, Write, Sync, Truncate, Size, Lock, Exists, Identity, Remove, Rename, SyncFolder,
                           MakeFolder };
const char* fileOperationName(FileOperation operation);

struct FaultPoint {
  FileOperation operation;
  const std::string& path;
  size_t length;      // bytes to read or write; 0 for the others
  uint64_t sequence;  // 1 for the first operation the file system sees
};

struct Fault {
  enum class Action { Proceed, Fail, Crash };
  Action action = Action::Proceed;
  size_t keep = 0;  // Fail and Crash on a write: bytes that reach the file first

  static Fault proceed() { return {}; }
  static Fault fail(size_t keep = 0) { return {Action::Fail, keep}; }
  static Fault crash(size_t keep = 0) { return {Action::Crash, keep}; }
};

using FaultPlan = std::function<Fault(const FaultPoint&)>;

class SimulatedCrash : public std::runtime_error {
 public:
  SimulatedCrash() : std::runtime_error("simulated crash") {}
};

class FaultInjectingFileSystem final : public FileSystem {
 public:
  explicit FaultInjectingFileSystem(FileSystem& base, FaultPlan plan = {});

  void setPlan(FaultPlan plan);
  uint64_t operations() const;
  bool crashed() const;

  std::unique_ptr<File> open(const std::string& path, OpenMode mode) override;
  bool exists(const std::string& path) override;
  bool isWritable(const std::string& path) override;
  std::string realPath(const std::string& path) override { return base_.realPath(path); }
  std::optional<FileKind> kindOf(const std::string& path, bool followLinks = false) override;
  std::optional<FileIdentity> identity(const std::string& path) override;
  void remove(const std::string& path) override;
  void rename(const std::string& from, const std::string& to) override;
  void replace(const std::string& from, const std::string& to) override;
  void createFolder(const std::string& path) override;
  void syncFolderOf(const std::string& path) override;
  std::unique_ptr<File> createScratch(const std::string& beside) override;
  std::vector<std::string> filesIn(const std::string& folder) override;

  // Asks the plan about one operation; throws for Fail and Crash, except
  // that a write's kept bytes are returned to be written first.
  size_t decide(FileOperation operation, const std::string& path, size_t length);
  // Stops for good (a torn write's bytes are written by the caller first).
  [[noreturn]] void crashNow();

 private:
  FileSystem& base_;
  FaultPlan plan_;
  mutable std::mutex mutex_;
  uint64_t operations_ = 0;
  bool crashed_ = false;
};

}  // namespace kevra
