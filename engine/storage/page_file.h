// PageFile: the database file seen as pages (4096 bytes; 2048 in Jet 3
// files, whose page size it reads from page 0), and the transactions that
// change it. Reads go through a small bounded cache; every page number
// is checked against the file's length, so a bad pointer in the file becomes
// a clear error, never a wild read. The operating system is reached only
// through a FileSystem (file_system.h).
//
// Invariants (in the manner of a pager's notes; the journal's own are in
// rollback_journal.h):
//  1. Changes happen only inside a transaction, on private copies: modify()
//     copies a page, append() adds a zero page, and read() returns those
//     copies first, so the transaction sees its own changes.
//  2. A page that existed when the transaction began is overwritten in the
//     file only after its original bytes are in the journal and the journal
//     is synced. Appended pages need no original (cutting the file back to
//     the original page count undoes them).
//  3. spill() moves the copies to the file before commit, to bound memory:
//     it journals and syncs the originals first (2), writes the pages, and
//     drops the copies. From then on the file holds part of the transaction,
//     so only the journal can undo it; the journal stays until commit or
//     rollback has finished. Pointers from modify() are invalid after it.
//  4. commit(), step by step: (a) journal the originals of the copies not
//     journaled yet and sync the journal; (b) write every copy to the file;
//     (c) sync the file; (d) remove the journal and sync the folder — the
//     commit point. If (a) fails, nothing reached the file and the
//     transaction stays open for rollback(). If (b) or (c) fails, the
//     originals are put back from the journal and the error goes on; if that
//     fails too the journal stays, and the next writable open restores it.
//  5. rollback(): before any spill, drop the copies (and an unused journal);
//     after a spill, write the journaled originals back, cut the file to its
//     original length, sync, then remove the journal. It never throws.
//  6. Opening: the path is resolved to the real file first. A writer takes
//     the exclusive lock, then recovers from a complete journal left by a
//     crash (rollback_journal.h, 5) before reading anything, once the
//     journal is shown to belong to the file (rollback_journal.h, 7); a
//     read-only open reads through such a journal without changing file or
//     journal, and sees the state before the crash.
//  7. Locks: a writer holds an exclusive lock on the database file from open
//     to close; a second writer (another process) is refused at open. Within
//     one process, writers share one Database (engine/table/database.h).
//  8. Readers in other processes see one state for the whole of a read: each
//     read (a statement, an export, a block of the grid) runs between
//     beginRead() and endRead(), holding the readers' lock shared. A writer
//     takes that lock exclusive before it puts a single page into the file —
//     at commit once the journal is synced, or at a spill — waiting for the
//     readers of the moment, up to a busy timeout reported clearly; it keeps
//     it until the transaction has ended (after a spill the file holds part
//     of the transaction, so readers wait until commit or rollback). A reader
//     that finds the file changed since its last read (its change stamp)
//     drops its cached pages and looks for a journal again, so it never mixes
//     old and new pages. Recovery applies a journal under the same lock.
//  9. Encrypted files: with a codec set (page_codec.h), read() returns plain
//     pages and the file gets encoded ones; the journal holds the file's own
//     bytes (originals as they were on disk, announced content as it will be
//     written), so recovery never needs the codec. Page 0 is never encoded.
#pragma once
#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "engine/storage/file_layout.h"
#include "engine/storage/file_system.h"
#include "engine/storage/page_codec.h"
#include "engine/storage/rollback_journal.h"
#include "engine/util/bytes.h"

namespace kevra {

// The largest page size, and the size of every page buffer: a smaller page
// fills the start of its buffer and leaves the rest zero.
constexpr size_t kPageSize = 4096;

using PageRef = std::shared_ptr<const std::array<uint8_t, kPageSize>>;

class PageFile {
 public:
  // Opens the file through `fs` (which must outlive the PageFile); throws
  // EngineError naming the path when it cannot.
  PageFile(FileSystem& fs, const std::string& path, bool readOnly);
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  // Pages in the file, including pages appended by the open transaction.
  uint32_t pageCount() const { return pageCount_; }
  // The real path of the file (symbolic links resolved).
  const std::string& path() const { return path_; }
  // Set when a journal beside the file did not belong to it (a read-only
  // open then reads the file as it is): the message saying so.
  const std::string& journalProblem() const { return journalProblem_; }
  FileSystem& fileSystem() const { return fs_; }
  // Sets how pages are encrypted in the file (null: they are plain); pages
  // read before are read again. A writable file needs a codec that encodes.
  void setCodec(std::unique_ptr<PageCodec> codec);
  const PageCodec* codec() const { return codec_.get(); }
  // The page's bytes. Throws CorruptFileError when `page` is past the end.
  PageRef read(uint32_t page) const;
  ByteSpan span(const PageRef& p) const { return ByteSpan(p->data(), layout_.pageSize); }
  // The page size and the other offsets of this file's format.
  uint32_t pageSize() const { return layout_.pageSize; }
  const FileLayout& layout() const { return layout_; }
  // The code page single-byte text is decoded with (Jet 3 files only): the
  // header's, or one the caller names because the header is wrong.
  void setTextCodePage(uint16_t codePage) {
    if (layout_.jet3) layout_.textCodePage = codePage;
  }

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
  // For a new file nobody else sees and that is deleted on any failure (a
  // compaction's temporary destination): commit() and spill() write the
  // pages with no journal and no sync, and a rollback after a spill cannot
  // undo what reached the file. Turning it off syncs the file.
  void setUnjournaled(bool on);

  // A read by this program (see 8): nests; true when the file changed since
  // the last read began, so whoever caches what it read drops it. Throws
  // EngineError when a writer kept the file busy past the timeout.
  bool beginRead();
  void endRead();
  // How long a writer waits for the reads under way to end (new readers
  // queue behind it meanwhile), and how long a reader waits for a writer,
  // which may itself be waiting on older reads first.
  static constexpr int kWriterWaitMs = 10000;
  static constexpr int kReaderWaitMs = 15000;

 private:
  using Buffer = std::array<uint8_t, kPageSize>;
  void recoverFromJournal();
  void journalOriginals();
  void writeDirtyPages();
  void restoreFromJournal();
  void endTransaction();
  void cacheStore(uint32_t page, PageRef ref) const;
  // Takes the readers' lock exclusive for the rest of the transaction.
  void lockOutReaders();
  // Why a wait of `waitedMs` for the readers' lock ended without it, as
  // the end of a sentence that begins with the file's name.
  std::string busyReason(int waitedMs) const;

  void readPage(uint32_t page, uint8_t* into) const;
  // Reads `page` and the few after it at once into the cache; null when
  // they are not all in the file.
  PageRef readAhead(uint32_t page) const;
  static constexpr uint32_t kReadAheadPages = 16;
  void writePage(uint32_t page, const uint8_t* from);
  // The bytes the file is to hold for plain page `page`: `plain` itself, or
  // its encoded copy in `scratch`.
  const uint8_t* fileBytes(uint32_t page, const uint8_t* plain, std::array<uint8_t, kPageSize>& scratch) const;

  FileSystem& fs_;
  std::string path_;
  std::unique_ptr<File> file_;
  FileLayout layout_;
  std::unique_ptr<PageCodec> codec_;
  bool writable_ = false;
  bool inTransaction_ = false;
  uint32_t pageCount_ = 0;
  uint32_t committedPageCount_ = 0;
  std::unordered_map<uint32_t, std::shared_ptr<Buffer>> dirty_;     // the open transaction's pages
  std::unordered_map<uint32_t, std::shared_ptr<Buffer>> overlay_;   // journal pages seen by a read-only open
  std::unique_ptr<JournalWriter> journal_;                         // the open transaction's journal, once started
  std::unordered_set<uint32_t> journaled_;                         // pages whose originals it holds
  bool spilled_ = false;                                           // changed pages already in the file
  bool unjournaled_ = false;                                       // see setUnjournaled
  std::string journalProblem_;
  int readDepth_ = 0;
  uint64_t lastStamp_ = 0;
  bool readersLockedOut_ = false;
  size_t cacheLimit_ = 512;
  mutable int64_t lastMiss_ = -2;  // page of the last read the cache could not answer
  mutable Bytes readAheadBuffer_;
  mutable std::list<std::pair<uint32_t, PageRef>> lru_;
  mutable std::unordered_map<uint32_t, std::list<std::pair<uint32_t, PageRef>>::iterator> index_;
};

}  // namespace kevra
