// RollbackJournal: the file beside the database ("<file>.journal") that makes
// a transaction atomic.
//
// Design. Before a transaction overwrites any page of the database file, the
// journal is written with the original bytes of every such page and the
// file's original page count, then flushed (file and directory). Only then
// are the new pages written and flushed; the journal is removed last. A
// checksum covers the whole journal, so a journal cut short by a crash is
// recognised as incomplete — and an incomplete journal means the database
// file was not touched yet.
//
// Recovery. Opening a file that has a complete journal beside it restores
// the saved pages and the original length (a writer does it in the file and
// removes the journal; a read-only open lays the saved pages over what it
// reads), so the file is seen exactly as it was before the interrupted
// transaction. An incomplete journal is discarded.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

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
  JournalWriter(const std::string& databasePath, uint32_t originalPageCount);
  ~JournalWriter();
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;
  void add(uint32_t page, const uint8_t* original);
  void sync();
  size_t records() const { return count_; }

 private:
  std::string path_;
  int fd_ = -1;
  uint32_t originalPageCount_;
  uint32_t count_ = 0;
  uint64_t hash_;
  bool folderSynced_ = false;
};

class RollbackJournal {
 public:
  static std::string pathFor(const std::string& databasePath) { return databasePath + ".journal"; }

  // Reads the journal if one exists and is complete; false when there is none
  // or it is incomplete (then nothing was written to the database).
  static bool read(const std::string& databasePath, JournalContents& contents);
  static bool exists(const std::string& databasePath);
  static void remove(const std::string& databasePath);
};

}  // namespace kevra
