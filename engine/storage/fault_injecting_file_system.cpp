// Each operation asks the plan first; files opened here wrap the base's files
// so their reads, writes and flushes are asked about too.
#include "engine/storage/fault_injecting_file_system.h"

#include <algorithm>

namespace kevra {
namespace {

constexpr size_t kWholeOperation = size_t(-1);

class FaultInjectingFile final : public File {
 public:
  FaultInjectingFile(std::unique_ptr<File> base, FaultInjectingFileSystem& system)
      : base_(std::move(base)), system_(system) {}

  const std::string& path() const override { return base_->path(); }

  void read(void* data, size_t length, uint64_t offset) override {
    system_.decide(FileOperation::Read, path(), length);
    base_->read(data, length, offset);
  }

  void write(const void* data, size_t length, uint64_t offset) override {
    const size_t keep = system_.decide(FileOperation::Write, path(), length);
    if (keep == kWholeOperation) {
      base_->write(data, length, offset);
      return;
    }
    // A torn write: the first bytes land, then the failure or the crash.
    const size_t written = std::min(keep, length);
    if (written > 0) base_->write(data, written, offset);
    if (system_.crashed()) system_.crashNow();
    throw FileError(FileError::Kind::Other, "Could not write to '" + path() + "': Input/output error.",
                    "Input/output error");
  }

  void sync() override {
    system_.decide(FileOperation::Sync, path(), 0);
    base_->sync();
  }

  void startWriteback() override { base_->startWriteback(); }

  void truncate(uint64_t length) override {
    system_.decide(FileOperation::Truncate, path(), 0);
    base_->truncate(length);
  }

  uint64_t size() override {
    system_.decide(FileOperation::Size, path(), 0);
    return base_->size();
  }

  bool tryLockExclusive() override {
    system_.decide(FileOperation::Lock, path(), 0);
    return base_->tryLockExclusive();
  }
  bool lockReaders(bool exclusive, int timeoutMs) override { return base_->lockReaders(exclusive, timeoutMs); }
  void unlockReaders() override { base_->unlockReaders(); }
  LockHolder readersLockHolder() override { return base_->readersLockHolder(); }
  uint64_t changeStamp() override { return base_->changeStamp(); }

 private:
  std::unique_ptr<File> base_;
  FaultInjectingFileSystem& system_;
};

}  // namespace

const char* fileOperationName(FileOperation operation) {
  switch (operation) {
    case FileOperation::Open: return "open";
    case FileOperation::Read: return "read";
    case FileOperation::Write: return "write";
    case FileOperation::Sync: return "flush";
    case FileOperation::Truncate: return "truncate";
    case FileOperation::Size: return "size";
    case FileOperation::Lock: return "lock";
    case FileOperation::Exists: return "exists";
    case FileOperation::Identity: return "identity";
    case FileOperation::Remove: return "remove";
    case FileOperation::Rename: return "rename";
    case FileOperation::SyncFolder: return "flush folder";
    case FileOperation::MakeFolder: return "make folder";
  }
  return "?";
}

FaultInjectingFileSystem::FaultInjectingFileSystem(FileSystem& base, FaultPlan plan)
    : base_(base), plan_(std::move(plan)) {}

void FaultInjectingFileSystem::setPlan(FaultPlan plan) {
  std::lock_guard lock(mutex_);
  plan_ = std::move(plan);
}

uint64_t FaultInjectingFileSystem::operations() const {
  std::lock_guard lock(mutex_);
  return operations_;
}

bool FaultInjectingFileSystem::crashed() const {
  std::lock_guard lock(mutex_);
  return crashed_;
}

void FaultInjectingFileSystem::crashNow() {
  {
    std::lock_guard lock(mutex_);
    crashed_ = true;
  }
  throw SimulatedCrash();
}

size_t FaultInjectingFileSystem::decide(FileOperation operation, const std::string& path, size_t length) {
  Fault fault;
  {
    std::lock_guard lock(mutex_);
    if (crashed_) throw SimulatedCrash();
    ++operations_;
    if (plan_) fault = plan_(FaultPoint{operation, path, length, operations_});
    if (fault.action == Fault::Action::Crash) crashed_ = true;
  }
  switch (fault.action) {
    case Fault::Action::Proceed:
      return kWholeOperation;
    case Fault::Action::Fail:
      if (operation == FileOperation::Write) return fault.keep;
      throw FileError(FileError::Kind::Other,
                      std::string("Could not ") + fileOperationName(operation) + " '" + path +
                          "': Input/output error.",
                      "Input/output error");
    case Fault::Action::Crash:
      if (operation == FileOperation::Write && fault.keep > 0) return fault.keep;
      throw SimulatedCrash();
  }
  return kWholeOperation;
}

std::unique_ptr<File> FaultInjectingFileSystem::open(const std::string& path, OpenMode mode) {
  decide(FileOperation::Open, path, 0);
  return std::make_unique<FaultInjectingFile>(base_.open(path, mode), *this);
}

std::unique_ptr<File> FaultInjectingFileSystem::createScratch(const std::string& beside) {
  decide(FileOperation::Open, beside, 0);
  return std::make_unique<FaultInjectingFile>(base_.createScratch(beside), *this);
}

std::vector<std::string> FaultInjectingFileSystem::filesIn(const std::string& folder) {
  decide(FileOperation::Exists, folder, 0);
  return base_.filesIn(folder);
}

bool FaultInjectingFileSystem::exists(const std::string& path) {
  decide(FileOperation::Exists, path, 0);
  return base_.exists(path);
}

bool FaultInjectingFileSystem::isWritable(const std::string& path) {
  decide(FileOperation::Exists, path, 0);
  return base_.isWritable(path);
}

std::optional<FileKind> FaultInjectingFileSystem::kindOf(const std::string& path, bool followLinks) {
  decide(FileOperation::Exists, path, 0);
  return base_.kindOf(path, followLinks);
}

std::optional<FileIdentity> FaultInjectingFileSystem::identity(const std::string& path) {
  decide(FileOperation::Identity, path, 0);
  return base_.identity(path);
}

void FaultInjectingFileSystem::remove(const std::string& path) {
  decide(FileOperation::Remove, path, 0);
  base_.remove(path);
}

void FaultInjectingFileSystem::rename(const std::string& from, const std::string& to) {
  decide(FileOperation::Rename, from, 0);
  base_.rename(from, to);
}

void FaultInjectingFileSystem::replace(const std::string& from, const std::string& to) {
  decide(FileOperation::Rename, to, 0);
  base_.replace(from, to);
}

void FaultInjectingFileSystem::createFolder(const std::string& path) {
  decide(FileOperation::MakeFolder, path, 0);
  base_.createFolder(path);
}

void FaultInjectingFileSystem::syncFolderOf(const std::string& path) {
  decide(FileOperation::SyncFolder, path, 0);
  base_.syncFolderOf(path);
}

}  // namespace kevra
