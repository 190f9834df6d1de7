// PageFile: the database file seen as 4096-byte pages. Reads go through a
// small bounded cache; every page number is checked against the file's length
// so a bad pointer in the file becomes a clear error, never a wild read.
//
// Writing happens only inside a transaction. modify() hands out a private
// copy of a page; read() sees those copies, so everything the engine reads
// during a transaction reflects its own changes. Nothing reaches the file
// before commit(), which makes the change atomic through the rollback journal
// (see rollback_journal.h): the original bytes of every page about to be
// overwritten are saved and flushed first, then the pages are written and
// flushed, then the journal is removed. rollback() just drops the copies.
#pragma once
#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "engine/storage/rollback_journal.h"

#include "engine/util/bytes.h"

namespace kevra {

constexpr size_t kPageSize = 4096;

using PageRef = std::shared_ptr<const std::array<uint8_t, kPageSize>>;

class PageFile {
 public:
  // Opens the file; throws EngineError naming the path when it cannot.
  PageFile(const std::string& path, bool readOnly);
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  // Pages in the file, including pages appended by the open transaction.
  uint32_t pageCount() const { return pageCount_; }
  const std::string& path() const { return path_; }
  // The page's bytes. Throws CorruptFileError when `page` is past the end.
  PageRef read(uint32_t page) const;
  ByteSpan span(const PageRef& p) const { return ByteSpan(p->data(), kPageSize); }

  // Writing. All of these throw EngineError when the file was opened
  // read-only or no transaction is open.
  bool writable() const { return writable_; }
  bool inTransaction() const { return inTransaction_; }
  void beginTransaction();
  // A writable copy of `page` private to the open transaction.
  uint8_t* modify(uint32_t page);
  // Appends a zero-filled page and returns its number (the caller records it
  // in the global usage map; see PageAllocator).
  uint32_t append();
  void commit();
  void rollback();
  // Pages changed by the open transaction and still held in memory.
  size_t dirtyPages() const { return dirty_.size(); }
  // Moves the changed pages to the file before commit, their original bytes
  // saved in the journal first, so a long transaction needs bounded memory.
  // Call it only between whole changes: pointers from modify() become invalid.
  void spill();

 private:
  using Buffer = std::array<uint8_t, kPageSize>;
  void recoverFromJournal();
  void journalOriginals();
  void writeDirtyPages();
  void restoreFromJournal();
  void endTransaction();
  void cacheStore(uint32_t page, PageRef ref) const;

  std::string path_;
  int fd_ = -1;
  bool writable_ = false;
  bool inTransaction_ = false;
  uint32_t pageCount_ = 0;
  uint32_t committedPageCount_ = 0;
  std::unordered_map<uint32_t, std::shared_ptr<Buffer>> dirty_;     // the open transaction's pages
  std::unordered_map<uint32_t, std::shared_ptr<Buffer>> overlay_;   // journal pages seen by a read-only open
  std::unique_ptr<JournalWriter> journal_;                         // the open transaction's journal, once started
  std::unordered_set<uint32_t> journaled_;                         // pages whose originals it holds
  bool spilled_ = false;                                           // changed pages already in the file
  size_t cacheLimit_ = 512;
  mutable std::list<std::pair<uint32_t, PageRef>> lru_;
  mutable std::unordered_map<uint32_t, std::list<std::pair<uint32_t, PageRef>>::iterator> index_;
};

}  // namespace kevra
