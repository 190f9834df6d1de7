// The write-target rule and TargetFile: a temporary file beside the target
// (".NAME.partial-PID-N", made exclusively), synced and renamed into place;
// devices and pipes written directly.
#include "engine/storage/write_target.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr size_t kBufferSize = 1 << 16;

std::string existsMessage(const std::string& path) {
  return "The file '" + path + "' already exists; choose another name or remove it first.";
}

std::string partialName(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  const auto slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  return folder + "." + base + ".partial-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

}  // namespace

WriteTarget resolveWriteTarget(FileSystem& fs, const std::string& path, ExistingTarget existing) {
  if (path.empty()) throw EngineError("No file name was given to write to.");
  std::optional<FileKind> kind = fs.kindOf(path);
  if (!kind) return {WriteTarget::Kind::New, path};
  if (existing == ExistingTarget::Refuse) throw EngineError(existsMessage(path));
  std::string target = path;
  if (*kind == FileKind::Link) {
    kind = fs.kindOf(path, true);
    if (!kind) throw EngineError("Cannot write '" + path + "': it is a symbolic link to nothing.");
    // A device or pipe is opened through the link (/dev/stdout leads to
    // /proc/self/fd/1, whose target is no path); a regular file is replaced
    // where the link leads.
    if (*kind == FileKind::Regular) {
      target = fs.realPath(path);
      if (target == path) throw EngineError("Cannot write '" + path + "': where its symbolic link leads is unknown.");
    }
  }
  switch (*kind) {
    case FileKind::Regular: return {WriteTarget::Kind::Regular, target};
    case FileKind::Stream: return {WriteTarget::Kind::Stream, target};
    case FileKind::Folder: throw EngineError("Cannot write '" + path + "': it is a folder.");
    default: throw EngineError("Cannot write '" + path + "': it is neither a regular file nor a device or pipe.");
  }
}

TargetFile::TargetFile(FileSystem& fs, std::string path, ExistingTarget existing)
    : fs_(fs), path_(std::move(path)), existing_(existing) {
  const WriteTarget target = resolveWriteTarget(fs_, path_, existing_);
  written_ = target.path;
  try {
    if (target.kind == WriteTarget::Kind::Stream) {
      file_ = fs_.open(written_, OpenMode::Stream);
      direct_ = true;
    } else {
      for (int attempt = 0; !file_; ++attempt) {
        const std::string candidate = partialName(written_);
        try {
          file_ = fs_.open(candidate, OpenMode::CreateNew);
          temp_ = candidate;
        } catch (const FileError& e) {
          if (e.kind() != FileError::Kind::AlreadyExists || attempt >= 100) throw;
        }
      }
    }
  } catch (const FileError& e) {
    fail("write", e.reason());
  }
  buffer_.reserve(kBufferSize);
}

TargetFile::~TargetFile() {
  file_.reset();
  if (!committed_) discardTemporary();
}

void TargetFile::discardTemporary() noexcept {
  if (temp_.empty()) return;
  try {
    fs_.remove(temp_);
  } catch (...) {
    // The failure on its way is the one to report; a ".partial" file left
    // behind names itself.
  }
  temp_.clear();
}

void TargetFile::fail(const std::string& action, const std::string& reason) {
  throw EngineError("Cannot " + action + " '" + path_ + "': " + reason + ".");
}

void TargetFile::flushBuffer() {
  if (buffer_.empty()) return;
  try {
    file_->write(buffer_.data(), buffer_.size(), flushed_);
  } catch (const FileError& e) {
    failed_ = true;
    fail("write", e.reason());
  }
  flushed_ += buffer_.size();
  buffer_.clear();
}

void TargetFile::append(const void* data, size_t count) {
  if (committed_) throw EngineError("The file '" + path_ + "' is already complete.");
  if (failed_ || !file_)
    throw EngineError("The file '" + path_ + "' could not be completed earlier; nothing was written.");
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (buffer_.size() + count > kBufferSize) flushBuffer();
  if (count >= kBufferSize) {
    try {
      file_->write(bytes, count, flushed_);
    } catch (const FileError& e) {
      failed_ = true;
      fail("write", e.reason());
    }
    flushed_ += count;
  } else {
    buffer_.insert(buffer_.end(), bytes, bytes + count);
  }
  size_ += count;
}

void TargetFile::overwrite(uint64_t offset, const void* data, size_t count) {
  if (direct_) throw EngineError("Cannot write '" + path_ + "': a device or pipe cannot be patched.");
  if (offset + count > size_ || !file_ || failed_)
    throw EngineError("Cannot write '" + path_ + "': patch past the end.");
  flushBuffer();
  try {
    file_->write(data, count, offset);
  } catch (const FileError& e) {
    failed_ = true;
    fail("write", e.reason());
  }
}

void TargetFile::commit() {
  if (committed_) return;
  if (failed_ || !file_)
    throw EngineError("The file '" + path_ + "' could not be completed earlier; nothing was written.");
  bool named = false;
  // Nothing is left behind on failure: not the temporary file, and not a
  // new file under the target's name whose folder entry may not last.
  auto undo = [&]() noexcept {
    failed_ = true;
    file_.reset();
    discardTemporary();
    if (named && existing_ == ExistingTarget::Refuse) {
      try {
        fs_.remove(written_);
      } catch (...) {
      }
    }
  };
  try {
    flushBuffer();
    file_->sync();
    file_.reset();
    if (!direct_) {
      if (existing_ == ExistingTarget::Refuse) {
        // The rename never replaces: a file that appeared meanwhile stops it.
        if (fs_.kindOf(written_)) throw EngineError(existsMessage(path_));
        fs_.rename(temp_, written_);
      } else {
        fs_.replace(temp_, written_);
      }
      temp_.clear();
      named = true;
      fs_.syncFolderOf(written_);
    }
  } catch (const FileError& e) {
    undo();
    fail("write", e.reason());
  } catch (...) {
    undo();
    throw;
  }
  committed_ = true;
}

void TargetFile::withdraw() {
  if (!committed_ || direct_ || existing_ != ExistingTarget::Refuse) return;
  try {
    fs_.remove(written_);
  } catch (const FileError&) {
    // Best effort: the error that made the writer withdraw is reported.
  }
}

}  // namespace kevra
