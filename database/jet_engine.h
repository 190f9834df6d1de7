// JetEngine: whole-file operations on closed databases.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace kevra::db {

class JetEngine {
 public:
  // Writes a compacted copy of the database named by the source connection
  // string into the new file named by the target's; a password in the
  // target string replaces the source's (an empty one removes it).
  void CompactDatabase(const std::string& sourceConnectionString, const std::string& targetConnectionString);
  // Told the rows copied so far and the rows in all, while compacting.
  std::function<void(uint64_t done, uint64_t total)> progress;
};

}  // namespace kevra::db
