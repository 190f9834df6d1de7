// PageFile: positioned reads of whole pages with an LRU cache; transactions
// made atomic by the rollback journal; an exclusive lock for writers.
#include "engine/storage/page_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "engine/storage/rollback_journal.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

PageFile::PageFile(FileSystem& fs, const std::string& path, bool readOnly)
    : fs_(fs), path_(fs.realPath(path)), writable_(!readOnly) {
  try {
    file_ = fs_.open(path_, readOnly ? OpenMode::Read : OpenMode::ReadWrite);
  } catch (const FileError& e) {
    if (e.kind() == FileError::Kind::NotRegularFile) throw EngineError("'" + path + "' is not a database file.");
    throw;
  }
  if (writable_ && !file_->tryLockExclusive())
    throw EngineError("The database '" + fileName(path) +
                      "' is in use: another program has it open for changes. Close it there, or open it "
                      "read-only.");
  recoverFromJournal();
  lastStamp_ = file_->changeStamp();
  const uint64_t size = file_->size();
  if (size > 0x14) {
    uint8_t version = 0;
    file_->read(&version, 1, 0x14);
    layout_ = layoutForVersionByte(version);
  }
  if (size < layout_.pageSize)
    throw CorruptFileError("'" + path + "' is too short to be a database file (" + std::to_string(size) + " bytes).");
  uint64_t pages = size / layout_.pageSize;
  if (pages > 0xFFFFFF) pages = 0xFFFFFF;  // row pointers address 24-bit page numbers
  pageCount_ = uint32_t(pages);
  if (!overlay_.empty() || committedPageCount_ != 0) pageCount_ = std::min(pageCount_, committedPageCount_);
  committedPageCount_ = pageCount_;
}

PageFile::~PageFile() = default;  // closing the file releases the lock

void PageFile::readPage(uint32_t page, uint8_t* into) const {
  file_->read(into, layout_.pageSize, uint64_t(page) * layout_.pageSize);
}

void PageFile::writePage(uint32_t page, const uint8_t* from) {
  file_->write(from, layout_.pageSize, uint64_t(page) * layout_.pageSize);
}

void PageFile::setCodec(std::unique_ptr<PageCodec> codec) {
  if (codec && writable_ && !codec->canEncode())
    throw EngineError("Internal error: '" + fileName(path_) + "' was opened for writing, but pages encrypted with " +
                      codec->scheme() + " cannot be written.");
  codec_ = std::move(codec);
  lru_.clear();
  index_.clear();
}

const uint8_t* PageFile::fileBytes(uint32_t page, const uint8_t* plain, std::array<uint8_t, kPageSize>& scratch) const {
  if (!codec_ || page == 0) return plain;
  std::copy(plain, plain + layout_.pageSize, scratch.begin());
  codec_->encode(page, scratch.data(), layout_.pageSize);
  return scratch.data();
}

void PageFile::recoverFromJournal() {
  if (!RollbackJournal::exists(fs_, path_)) return;
  JournalContents journal;
  bool complete = RollbackJournal::read(fs_, path_, journal);
  if (complete) {
    if (auto why = RollbackJournal::mismatch(journal, *file_, fs_.identity(path_), true)) {
      const std::string message = "A recovery journal beside '" + fileName(path_) +
                                  "' does not belong to this file: " + *why +
                                  ". The file and the journal were left as they are. Run kevra-cli recover '" +
                                  fileName(path_) + "' to apply it anyway where its pages still match, or with "
                                  "--discard-journal to set it aside.";
      if (writable_) throw EngineError(message);
      journalProblem_ = message;  // read the file as it is
      return;
    }
  }
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
    if (!file_->lockReaders(true, kWriterWaitMs))
      throw EngineError("The database '" + fileName(path_) + "' is busy: " + busyReason(kWriterWaitMs) +
                        " An interrupted change must be undone first; try again when they are done.");
    RollbackJournal::applyTo(*file_, journal);
    file_->unlockReaders();
  }
  RollbackJournal::remove(fs_, path_);
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
    if (o != overlay_.end()) {
      if (!codec_ || page == 0) return o->second;
      auto plain = std::make_shared<Buffer>(*o->second);  // the journal keeps the file's bytes
      codec_->decode(page, plain->data(), layout_.pageSize);
      return plain;
    }
  }
  auto it = index_.find(page);
  if (it != index_.end()) {
    lru_.splice(lru_.begin(), lru_, it->second);
    return it->second->second;
  }
  // A miss right after the page before it missed: the pages are being read
  // in order (a scan, a check, a copy), so the next few come in one read.
  const bool inOrder = page == lastMiss_ + 1;
  lastMiss_ = page;
  if (inOrder)
    if (PageRef ref = readAhead(page)) return ref;
  auto buffer = std::make_shared<Buffer>();
  readPage(page, buffer->data());
  if (codec_ && page != 0) codec_->decode(page, buffer->data(), layout_.pageSize);
  PageRef ref = buffer;
  cacheStore(page, ref);
  return ref;
}

PageRef PageFile::readAhead(uint32_t page) const {
  const uint32_t count = std::min<uint32_t>(kReadAheadPages, pageCount_ - page);
  if (count < 2) return nullptr;
  const size_t size = layout_.pageSize;
  readAheadBuffer_.resize(count * size);
  try {
    file_->read(readAheadBuffer_.data(), readAheadBuffer_.size(), uint64_t(page) * size);
  } catch (const FileError& e) {
    // Pages appended by the open transaction need not be in the file yet.
    if (e.kind() == FileError::Kind::EndOfFile) return nullptr;
    throw;
  }
  PageRef first;
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t p = page + k;
    // What a transaction, the journal or the cache holds already stands.
    if (k > 0 && (dirty_.count(p) || overlay_.count(p) || index_.count(p))) continue;
    auto buffer = std::make_shared<Buffer>();
    std::memcpy(buffer->data(), readAheadBuffer_.data() + k * size, size);
    if (codec_ && p != 0) codec_->decode(p, buffer->data(), layout_.pageSize);
    if (k == 0) first = buffer;
    cacheStore(p, buffer);
  }
  lastMiss_ = page + count - 1;
  return first;
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
  Buffer original;
  if (!journal_) {
    // Nothing of the transaction is in the file yet: its header page and
    // size are those the transaction began with.
    JournalBinding binding;
    binding.file = fs_.identity(path_).value_or(FileIdentity{});
    binding.originalSize = file_->size();
    readPage(0, original.data());
    binding.headerPageHash = headerPageHashOf(original.data());
    journal_ = std::make_unique<JournalWriter>(fs_, path_, committedPageCount_, binding);
  }
  std::vector<uint32_t> pages;
  for (auto& [page, buffer] : dirty_)
    if (page < committedPageCount_) pages.push_back(page);
  std::sort(pages.begin(), pages.end());
  Buffer encoded;
  for (uint32_t page : pages) {
    const uint8_t* content = fileBytes(page, dirty_[page]->data(), encoded);
    if (journaled_.count(page)) {
      journal_->addContent(page, content);
      continue;
    }
    readPage(page, original.data());
    journal_->add(page, original.data(), content);
    journaled_.insert(page);
  }
  journal_->sync();
}

void PageFile::writeDirtyPages() {
  std::vector<uint32_t> pages;
  pages.reserve(dirty_.size());
  for (auto& [page, buffer] : dirty_) pages.push_back(page);
  std::sort(pages.begin(), pages.end());
  Buffer encoded;
  for (uint32_t page : pages) writePage(page, fileBytes(page, dirty_[page]->data(), encoded));
  for (uint32_t page : pages) cacheStore(page, dirty_[page]);
}

// Puts the journaled original pages back and the file length; the journal
// goes only when that worked (else the next open does it).
void PageFile::restoreFromJournal() {
  JournalContents journal;
  if (RollbackJournal::read(fs_, path_, journal)) RollbackJournal::applyTo(*file_, journal);
  journal_.reset();
  RollbackJournal::remove(fs_, path_);
}

std::string PageFile::busyReason(int waitedMs) const {
  const std::string seconds = std::to_string((waitedMs + 500) / 1000) + " seconds";
  switch (file_->readersLockHolder()) {
    case LockHolder::Readers:
      return "other programs kept reading it for " + seconds + ".";
    case LockHolder::Writer:
      return "another program kept writing to it for " + seconds + ".";
    case LockHolder::OtherProgram:
      return "another program kept a lock on the file for " + seconds + ".";
    case LockHolder::None:
      break;
  }
  return "it stayed locked by other programs for " + seconds + ".";
}

void PageFile::lockOutReaders() {
  if (readersLockedOut_) return;
  if (!file_->lockReaders(true, kWriterWaitMs))
    throw EngineError("The database '" + fileName(path_) + "' is busy: " + busyReason(kWriterWaitMs) +
                      " The change was not made; try again.");
  readersLockedOut_ = true;
}

bool PageFile::beginRead() {
  if (readDepth_++ > 0 || writable_) return false;  // a writer's own reads need no lock
  if (!file_->lockReaders(false, kReaderWaitMs)) {
    --readDepth_;
    throw EngineError("The database '" + fileName(path_) + "' is busy: " + busyReason(kReaderWaitMs) + " Try again.");
  }
  const uint64_t stamp = file_->changeStamp();
  const bool changed = lastStamp_ != 0 && stamp != lastStamp_;
  lastStamp_ = stamp;
  if (changed) {
    lru_.clear();
    index_.clear();
    overlay_.clear();
    committedPageCount_ = 0;
    journalProblem_.clear();
    try {
      recoverFromJournal();
      uint64_t pages = file_->size() / layout_.pageSize;
      if (pages > 0xFFFFFF) pages = 0xFFFFFF;
      pageCount_ = uint32_t(pages);
      if (!overlay_.empty() || committedPageCount_ != 0) pageCount_ = std::min(pageCount_, committedPageCount_);
      committedPageCount_ = pageCount_;
    } catch (...) {
      endRead();
      throw;
    }
  }
  return changed;
}

void PageFile::endRead() {
  if (readDepth_ == 0) return;
  if (--readDepth_ == 0 && !writable_) file_->unlockReaders();
}

void PageFile::endTransaction() {
  if (readersLockedOut_) {
    file_->unlockReaders();
    readersLockedOut_ = false;
  }
  dirty_.clear();
  journal_.reset();
  journaled_.clear();
  spilled_ = false;
  inTransaction_ = false;
}

void PageFile::setUnjournaled(bool on) {
  if (inTransaction_) throw EngineError("Internal error: the journal mode changed inside a transaction.");
  if (unjournaled_ && !on) file_->sync();
  unjournaled_ = on;
}

void PageFile::spill() {
  if (!inTransaction_ || dirty_.empty()) return;
  if (!unjournaled_) journalOriginals();
  lockOutReaders();
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
      // rollback() runs on error paths and must not throw. The journal is
      // still complete on disk, so the next writable open restores the file.
    }
  } else if (journal_) {
    journal_.reset();
    try {
      RollbackJournal::remove(fs_, path_);
    } catch (...) {
      // Nothing of this transaction reached the file, so a journal left
      // behind holds the file's own bytes: applying it later changes nothing.
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
  if (unjournaled_) {
    writeDirtyPages();
    // Nothing waits on these pages until the sync that ends the unjournaled
    // run: the disk may as well be writing them meanwhile.
    file_->startWriteback();
    committedPageCount_ = pageCount_;
    endTransaction();
    return;
  }
  // Until the journal is complete the file holds nothing of this transaction
  // (or only spilled pages the journal already covers): a failure here leaves
  // the transaction open for the caller to roll back.
  journalOriginals();
  lockOutReaders();  // a refusal here leaves the transaction open, as above
  try {
    writeDirtyPages();
    file_->sync();
    journal_.reset();
    RollbackJournal::remove(fs_, path_);
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
