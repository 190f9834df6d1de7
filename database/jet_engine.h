// JetEngine: whole-file operations on closed databases.
#pragma once
#include <string>

namespace kevra::db {

class JetEngine {
 public:
  // Writes a compacted copy of `source` to the file named by `targetConnectionString`.
  void CompactDatabase(const std::string& sourceConnectionString, const std::string& targetConnectionString);
};

}  // namespace kevra::db
