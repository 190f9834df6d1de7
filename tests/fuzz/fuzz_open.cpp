// libFuzzer entry point: treats the input as a database file, opens it and
// reads the catalog, every table definition, every property blob and every
// row. An EngineError is the expected answer to a damaged file; anything else
// (another exception, a sanitizer report, a trap) is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/util/error.h"

namespace {

// The input as a file the engine can open by name, without touching the disk.
class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) {
    fd_ = memfd_create("kevra-fuzz", MFD_CLOEXEC);
    if (fd_ < 0) __builtin_trap();
    size_t done = 0;
    while (done < size) {
      ssize_t n = write(fd_, data + done, size - done);
      if (n <= 0) __builtin_trap();
      done += size_t(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { close(fd_); }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

void readEverything(const std::string& path, size_t size) {
  auto db = kevra::Database::open(path, kevra::OpenOptions{true, "password"});
  (void)db->databaseProperties();
  (void)db->relationships();
  // A table cannot have more rows than the file has row slots.
  const uint64_t maxRows = uint64_t(size / 4096 + 1) * 256;
  for (const auto& entry : db->tableList()) {
    if (entry.type == "VIEW" || entry.type == "LINK" || entry.type == "PASS-THROUGH") continue;
    auto table = db->table(entry.name);
    (void)db->tableProperties(entry.name);
    auto cursor = db->openCursor(table);
    std::vector<kevra::Value> row;
    uint64_t rows = 0;
    while (cursor->next(row)) {
      if (row.size() != table->columns.size()) __builtin_trap();
      if (++rows > maxRows) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFile file(data, size);
  try {
    readEverything(file.path(), size);
  } catch (const kevra::EngineError&) {
    // A clean refusal of a damaged file.
  }
  return 0;
}
