// Compaction: a database written anew into a new file — every table with its
// rows (in primary-key order where there is one), every index rebuilt from
// its rows, relationships, property blobs, saved queries, links and the other
// catalog objects kept, autonumber counters kept; the design as the source
// has it (each field's flags and sort order, each index's name, the order of
// the index definitions, the file's sort order and code page); deleted rows,
// dead long values and unused pages left behind. The source is only read
// (and locked against writers meanwhile); the destination appears whole
// under its name or not at all. The new file is made beside it under a
// temporary name ("DESTINATION.kevra-compact-" and 8 hex digits), locked
// while it is written; such files that no running compaction holds, left by
// one that was stopped, are removed by the next compaction into the folder.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/storage/file_system.h"

namespace kevra {

struct CompactOptions {
  std::string sourcePassword;
  // The compacted file's password; nullopt keeps the source's, empty drops it.
  std::optional<std::string> destinationPassword;
  // Called as rows are copied: rows done so far and rows in all.
  std::function<void(uint64_t done, uint64_t total)> progress;
};

// Throws EngineError, naming the file, when the destination exists or is the
// source, the source cannot be read as a Jet 4 database (Jet 3 and .accdb
// files are refused by name), its table definitions are damaged (as the
// whole-file check finds them), its text sorts in an order whose index keys
// cannot be built, or another program has it open for changes; nothing is
// written then. Damage in rows or maps, found by a check running beside the
// copy, throws too, and the copy goes.
void compactDatabase(FileSystem& fs, const std::string& source, const std::string& destination,
                     const CompactOptions& options = {});

}  // namespace kevra
