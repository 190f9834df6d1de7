// PageFile: positioned reads of whole pages with an LRU cache; transactions
// made atomic by the rollback journal; an exclusive lock for writers.
#include "engine/storage/page_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "engine/storage/file_io.h"
#include "engine/storage/rollback_journal.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

PageFile::PageFile(const std::string& path, bool readOnly) : path_(path), writable_(!readOnly) {
  fd_ = ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (fd_ < 0) {
    int err = errno;
    if (err == ENOENT) throw EngineError("Could not find file '" + path + "'.");
    if (err == EACCES || err == EPERM || err == EROFS)
      throw EngineError("No permission to open '" + path + "'" + (readOnly ? "" : " for writing") + ".");
    throw EngineError("Could not open '" + path + "': " + std::strerror(err) + ".");
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    throw EngineError("'" + path + "' is not a database file.");
  }
  if (writable_ && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd_);
    if (err == EWOULDBLOCK)
      throw EngineError("The database '" + fileName(path) +
                        "' is in use: another program has it open for changes. Close it there, or open it "
                        "read-only.");
    throw EngineError("Could not lock '" + path + "': " + std::strerror(err) + ".");
  }
  try {
    recoverFromJournal();
    if (::fstat(fd_, &st) != 0) throw EngineError("Could not read the size of '" + path + "'.");
    if (st.st_size < off_t(kPageSize))
      throw CorruptFileError("'" + path + "' is too short to be a database file (" + std::to_string(st.st_size) +
                             " bytes).");
  } catch (...) {
    ::close(fd_);
    throw;
  }
  uint64_t pages = uint64_t(st.st_size) / kPageSize;
  if (pages > 0xFFFFFF) pages = 0xFFFFFF;  // row pointers address 24-bit page numbers
  pageCount_ = uint32_t(pages);
  if (!overlay_.empty() || committedPageCount_ != 0) pageCount_ = std::min(pageCount_, committedPageCount_);
  committedPageCount_ = pageCount_;
}

PageFile::~PageFile() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

void PageFile::recoverFromJournal() {
  if (!RollbackJournal::exists(path_)) return;
  JournalContents journal;
  bool complete = RollbackJournal::read(path_, journal);
  if (!writable_) {
    // Read through the journal: the file is seen as it was before the
    // interrupted transaction, without changing it.
    if (complete) {
      for (auto& [page, bytes] : journal.pages) overlay_[page] = std::make_shared<Buffer>(bytes);
      committedPageCount_ = journal.originalPageCount;
    }
    return;
  }
  if (complete) {
    for (auto& [page, bytes] : journal.pages)
      writeFully(fd_, path_, bytes.data(), kPageSize, off_t(page) * off_t(kPageSize));
    truncateFile(fd_, path_, off_t(journal.originalPageCount) * off_t(kPageSize));
    syncFile(fd_, path_);
  }
  RollbackJournal::remove(path_);
}

void PageFile::cacheStore(uint32_t page, PageRef ref) const {
  auto it = index_.find(page);
  if (it != index_.end()) {
    it->second->second = std::move(ref);
    lru_.splice(lru_.begin(), lru_, it->second);
    return;
  }
  lru_.emplace_front(page, std::move(ref));
  index_[page] = lru_.begin();
  if (lru_.size() > cacheLimit_) {
    index_.erase(lru_.back().first);
    lru_.pop_back();
  }
}

PageRef PageFile::read(uint32_t page) const {
  if (page >= pageCount_)
    throw CorruptFileError("Corrupt file: page " + std::to_string(page) + " is referenced but the file has only " +
                           std::to_string(pageCount_) + " pages.");
  if (!dirty_.empty()) {
    auto d = dirty_.find(page);
    if (d != dirty_.end()) return d->second;
  }
  if (!overlay_.empty()) {
    auto o = overlay_.find(page);
    if (o != overlay_.end()) return o->second;
  }
  auto it = index_.find(page);
  if (it != index_.end()) {
    lru_.splice(lru_.begin(), lru_, it->second);
    return it->second->second;
  }
  auto buffer = std::make_shared<Buffer>();
  readFully(fd_, path_, buffer->data(), kPageSize, off_t(page) * off_t(kPageSize));
  PageRef ref = buffer;
  cacheStore(page, ref);
  return ref;
}

void PageFile::beginTransaction() {
  if (!writable_) throw EngineError("The database '" + fileName(path_) + "' is open read-only; it cannot be changed.");
  if (inTransaction_) throw EngineError("A change to '" + fileName(path_) + "' is already in progress.");
  inTransaction_ = true;
  committedPageCount_ = pageCount_;
}

uint8_t* PageFile::modify(uint32_t page) {
  if (!inTransaction_) throw EngineError("Internal error: a page was changed outside a transaction.");
  auto d = dirty_.find(page);
  if (d != dirty_.end()) return d->second->data();
  PageRef current = read(page);
  auto copy = std::make_shared<Buffer>(*current);
  uint8_t* data = copy->data();
  dirty_.emplace(page, std::move(copy));
  return data;
}

uint32_t PageFile::append() {
  if (!inTransaction_) throw EngineError("Internal error: a page was added outside a transaction.");
  if (pageCount_ >= 0xFFFFFF)
    throw EngineError("The database '" + fileName(path_) + "' has reached the largest size the format allows.");
  uint32_t page = pageCount_++;
  dirty_[page] = std::make_shared<Buffer>();
  return page;
}

void PageFile::journalOriginals() {
  if (!journal_) journal_ = std::make_unique<JournalWriter>(path_, committedPageCount_);
  std::vector<uint32_t> pages;
  for (auto& [page, buffer] : dirty_)
    if (page < committedPageCount_ && !journaled_.count(page)) pages.push_back(page);
  std::sort(pages.begin(), pages.end());
  Buffer original;
  for (uint32_t page : pages) {
    readFully(fd_, path_, original.data(), kPageSize, off_t(page) * off_t(kPageSize));
    journal_->add(page, original.data());
    journaled_.insert(page);
  }
  journal_->sync();
}

void PageFile::writeDirtyPages() {
  std::vector<uint32_t> pages;
  pages.reserve(dirty_.size());
  for (auto& [page, buffer] : dirty_) pages.push_back(page);
  std::sort(pages.begin(), pages.end());
  for (uint32_t page : pages) writeFully(fd_, path_, dirty_[page]->data(), kPageSize, off_t(page) * off_t(kPageSize));
  for (uint32_t page : pages) cacheStore(page, dirty_[page]);
}

// Puts the journaled original pages back and the file length; the journal
// goes only when that worked (else the next open does it).
void PageFile::restoreFromJournal() {
  JournalContents journal;
  if (RollbackJournal::read(path_, journal)) {
    for (auto& [page, bytes] : journal.pages)
      writeFully(fd_, path_, bytes.data(), kPageSize, off_t(page) * off_t(kPageSize));
    truncateFile(fd_, path_, off_t(journal.originalPageCount) * off_t(kPageSize));
    syncFile(fd_, path_);
  }
  journal_.reset();
  RollbackJournal::remove(path_);
}

void PageFile::endTransaction() {
  dirty_.clear();
  journal_.reset();
  journaled_.clear();
  spilled_ = false;
  inTransaction_ = false;
}

void PageFile::spill() {
  if (!inTransaction_ || dirty_.empty()) return;
  journalOriginals();
  spilled_ = true;  // from here on, undoing needs the journal
  writeDirtyPages();
  dirty_.clear();
}

void PageFile::rollback() {
  if (spilled_) {
    // Pages already in the file: put the originals back.
    lru_.clear();
    index_.clear();
    try {
      restoreFromJournal();
    } catch (...) {
    }
  } else if (journal_) {
    journal_.reset();
    try {
      RollbackJournal::remove(path_);
    } catch (...) {
    }
  }
  pageCount_ = committedPageCount_;
  endTransaction();
}

void PageFile::commit() {
  if (!inTransaction_) throw EngineError("Internal error: commit without a transaction.");
  if (dirty_.empty() && !spilled_) {
    endTransaction();
    return;
  }
  // Until the journal is complete the file holds nothing of this transaction
  // (or only spilled pages the journal already covers): a failure here leaves
  // the transaction open for the caller to roll back.
  journalOriginals();
  try {
    writeDirtyPages();
    syncFile(fd_, path_);
    journal_.reset();
    RollbackJournal::remove(path_);
  } catch (...) {
    lru_.clear();
    index_.clear();
    try {
      restoreFromJournal();
    } catch (...) {
      // The journal stays; the next open restores the file.
    }
    pageCount_ = committedPageCount_;
    endTransaction();
    throw;
  }
  committedPageCount_ = pageCount_;
  endTransaction();
}

}  // namespace kevra
