// RollbackJournal: the file beside the database ("<file>.journal") that makes
// a transaction atomic. It holds the original bytes of every page of the
// database file that the transaction overwrites, and the file's page count
// before the transaction.
//
// Format: a 64-byte header (magic "KVJNL002", page size, original page count,
// record count, checksum, then what ties the journal to its database: the
// file's device and inode, its size when the transaction began, and a hash of
// its header page then), followed by records. An original record holds a page
// number, the page's 4096 original bytes and a hash of each 512-byte sector
// of the content the transaction is about to write there; a content record
// (a page written again later in the same transaction) holds only the page
// number and the new sector hashes. The checksum (FNV-1a) covers the records
// and then the header fields.
//
// Invariants (PageFile keeps them; see page_file.h for the whole protocol):
//  1. A journal is complete when its header's record count and checksum
//     match the records that follow. Only a complete journal is ever applied.
//  2. A page of the database file is overwritten only after its original is
//     in the journal and the journal has been flushed (header rewritten, file
//     synced, and the folder synced once, so the journal's name is durable).
//     Hence an incomplete journal means the file holds nothing of its
//     transaction, and it may be discarded.
//  3. Pages appended by the transaction have no record: cutting the file back
//     to the original page count undoes them.
//  4. The journal is removed only after the database file has been synced
//     with the transaction's pages (commit) or with the originals put back
//     (rollback, recovery). Its removal is the commit point.
//  5. Recovery. A writer opening a file with a complete journal beside it
//     (after taking the writer's lock) writes every original back, cuts the
//     file to the original page count, syncs, then removes the journal. A
//     read-only open never changes file or journal: it lays the originals
//     over what it reads and sees the file as it was before the transaction.
//  6. A journal that exists but cannot be read is an error, never taken as
//     incomplete: discarding it could lose the only copy of pages that the
//     file no longer has.
//  7. A journal is applied only to the file it was made for, in the state it
//     left that file: same device and inode, at least the original size, the
//     header page as it was (unless the transaction journaled it), and every
//     journaled page, sector by sector, either its original or content this
//     transaction announced before writing it (so a torn write still counts
//     as this transaction's). Anything else means the file was replaced,
//     changed by another program, or the journal belongs elsewhere: file and
//     journal are then left untouched, a writer's open is refused with a
//     message saying so, a reader reads the file as it is, and `kevra-cli
//     recover` is the explicit way out (apply when the pages still match, or
//     discard the journal). Before any of this, the database's path is
//     resolved to its real path, so a symbolic link finds the same journal.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/storage/file_system.h"

namespace kevra {

// Hashes of the eight 512-byte sectors of one page's content.
using SectorHashes = std::array<uint32_t, 8>;
SectorHashes sectorHashesOf(const uint8_t* page);

// What ties a journal to the database it was made for.
struct JournalBinding {
  FileIdentity file;
  uint64_t originalSize = 0;
  uint64_t headerPageHash = 0;
};
uint64_t headerPageHashOf(const uint8_t* page);

struct JournalContents {
  uint32_t originalPageCount = 0;
  JournalBinding binding;
  std::map<uint32_t, std::array<uint8_t, 4096>> pages;  // original bytes by page number
  std::map<uint32_t, std::vector<SectorHashes>> written;  // content announced for each page
};

// Writes a journal record by record during a transaction: records are
// appended, and sync() makes everything appended so far durable (header with
// count and checksum rewritten, file and folder flushed).
class JournalWriter {
 public:
  // Creates (or empties) the journal; throws EngineError when it cannot.
  JournalWriter(FileSystem& fs, const std::string& databasePath, uint32_t originalPageCount,
                const JournalBinding& binding);
  ~JournalWriter();
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;
  // The original of `page`, and the content about to be written over it.
  void add(uint32_t page, const uint8_t* original, const uint8_t* replacement);
  // New content for a page whose original is already in the journal.
  void addContent(uint32_t page, const uint8_t* replacement);
  void sync();
  size_t records() const { return count_; }

 private:
  FileSystem& fs_;
  std::string path_;
  std::unique_ptr<File> file_;
  uint32_t originalPageCount_;
  JournalBinding binding_;
  uint64_t end_;
  uint32_t count_ = 0;
  uint64_t hash_;
  bool folderSynced_ = false;
};

class RollbackJournal {
 public:
  static std::string pathFor(const std::string& databasePath) { return databasePath + ".journal"; }

  // Reads the journal if one exists and is complete; false when there is none
  // or it is incomplete (then nothing was written to the database). Throws
  // when a journal is there but cannot be read.
  static bool read(FileSystem& fs, const std::string& databasePath, JournalContents& contents);
  static bool exists(FileSystem& fs, const std::string& databasePath);
  // Why the journal may not be applied to `database` (now of `identity`),
  // or nullopt when it belongs (rule 7). `checkIdentity` false skips the
  // device and inode (an explicit recovery of a file moved with its journal).
  static std::optional<std::string> mismatch(const JournalContents& contents, File& database,
                                             const std::optional<FileIdentity>& identity, bool checkIdentity);
  // Writes the originals back, cuts the file to its original length and
  // syncs it (the journal itself is left for the caller to remove).
  static void applyTo(File& database, const JournalContents& contents);
  // Removes the journal and makes its removal durable.
  static void remove(FileSystem& fs, const std::string& databasePath);
};

}  // namespace kevra
