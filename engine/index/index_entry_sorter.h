// IndexEntrySorter: the entries of an index being built (key and row
// pointer, as a leaf stores them), taken in any order and given back in entry
// order, within a fixed amount of memory. While they fit, the entries are
// held and sorted in memory; past that, each batch that fills the memory is
// sorted and written as a run to a scratch file beside the database, and the
// runs are merged as they are read back. Entries that arrive in order are
// never sorted.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/file_system.h"
#include "engine/util/bytes.h"

namespace kevra {

class IndexEntrySorter {
 public:
  // Runs go to a scratch file of `fs` in the folder of `beside` (the
  // database's path); `memoryBudget` bounds the bytes held for entries.
  IndexEntrySorter(FileSystem& fs, std::string beside, size_t memoryBudget);
  ~IndexEntrySorter();
  IndexEntrySorter(const IndexEntrySorter&) = delete;
  IndexEntrySorter& operator=(const IndexEntrySorter&) = delete;

  // `anyNull`: a field of the key is NULL (such keys never clash in a
  // unique index). Only before finish().
  void add(ByteSpan entry, bool anyNull);
  // Ends the adding; next() then gives the entries in order.
  void finish();
  // The next entry in order; false past the last. `entry` stays valid until
  // the next call.
  bool next(ByteSpan& entry, bool& anyNull);

  uint64_t count() const { return count_; }
  // Runs written to the scratch file (0 when everything fit in memory).
  size_t runs() const { return runs_.size(); }

 private:
  struct Held;
  class RunReader;
  void spill();
  void writeStreamed();
  void endStreaming();

  FileSystem& fs_;
  std::string beside_;
  size_t budget_;
  std::unique_ptr<Held> held_;
  std::unique_ptr<File> scratch_;
  uint64_t scratchSize_ = 0;
  struct Run {
    uint64_t start, end;
  };
  std::vector<Run> runs_;
  uint64_t count_ = 0;
  bool inOrder_ = true;  // every entry so far came after the one before
  Bytes last_;           // the entry added last, while they come in order
  bool streaming_ = true;  // entries go as records into `streamed_`, then the scratch file
  Bytes streamed_;
  bool finished_ = false;
  // Reading back: from memory (position in the held entries or in
  // `streamed_`), or by merging.
  size_t position_ = 0;
  std::vector<std::unique_ptr<RunReader>> readers_;
  std::vector<size_t> heap_;  // readers with an entry, smallest first
  long advance_ = -1;         // reader whose entry was given out last
};

}  // namespace kevra
