// libFuzzer entry point for the file check: treats the input as a database
// file and checks all of it (rows, usage maps, every index). Problems are
// the expected answer to a damaged file; a crash, a sanitizer report or an
// exception other than EngineError is a finding.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/memory_file_system.h"
#include "engine/table/database.h"
#include "engine/table/file_check.h"
#include "engine/util/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kevra::MemoryFileSystem fs;
  fs.put("/fuzz.mdb", std::vector<uint8_t>(data, data + size));
  kevra::OpenOptions options;
  options.fileSystem = &fs;
  try {
    auto db = kevra::Database::open("/fuzz.mdb", options);
    (void)kevra::checkDatabase(db);
  } catch (const kevra::EngineError&) {
  }
  return 0;
}
