// Compaction: a database written anew into a new file — every table with its
// rows (in primary-key order where there is one), every index rebuilt from
// its rows, relationships, property blobs, saved queries, links and the other
// catalog objects kept, autonumber counters kept; deleted rows, dead long
// values and unused pages left behind. The source is only read (and locked
// against writers meanwhile); the destination appears whole under its name
// or not at all.
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
// source, the source cannot be read as a Jet 4 database, or another program
// has it open for changes; nothing is written then.
void compactDatabase(FileSystem& fs, const std::string& source, const std::string& destination,
                     const CompactOptions& options = {});

}  // namespace kevra
