// RollbackJournal: the file beside the database ("<file>.journal") that makes
// a transaction atomic. It holds the original bytes of every page of the
// database file that the transaction overwrites, and the file's page count
// before the transaction.
//
// Format: a 32-byte header (magic "KVJNL001", page size, original page count,
// record count, checksum), then records of (u32 page number, 4096 original
// bytes). The checksum (FNV-1a) covers the records and then the header fields.
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
//  7. Nothing yet ties a journal to the database it was made for beyond its
//     name; a journal copied beside another file would be applied to it.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/file_system.h"

namespace kevra {

struct JournalContents {
  uint32_t originalPageCount = 0;
  std::map<uint32_t, std::array<uint8_t, 4096>> pages;  // original bytes by page number
};

// Writes a journal record by record during a transaction: records are
// appended, and sync() makes everything appended so far durable (header with
// count and checksum rewritten, file and folder flushed).
class JournalWriter {
 public:
  // Creates (or empties) the journal; throws EngineError when it cannot.
  JournalWriter(FileSystem& fs, const std::string& databasePath, uint32_t originalPageCount);
  ~JournalWriter();
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;
  void add(uint32_t page, const uint8_t* original);
  void sync();
  size_t records() const { return count_; }

 private:
  FileSystem& fs_;
  std::string path_;
  std::unique_ptr<File> file_;
  uint32_t originalPageCount_;
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
  // Removes the journal and makes its removal durable.
  static void remove(FileSystem& fs, const std::string& databasePath);
};

}  // namespace kevra
