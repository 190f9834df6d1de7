// libFuzzer entry point for writes: treats the input as a database file in
// the in-memory file system. A file that passes the check gets a round of
// changes to every table — a row inserted, the first row updated with the
// values of another, the last row deleted, each its own transaction — and
// must pass the check afterwards: every change is either refused with an
// EngineError or leaves a sound file. A file that fails the check at first
// must be refused cleanly. Anything else (a crash, a sanitizer report, a
// file the check faults after a change it accepted) is a finding.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "engine/storage/memory_file_system.h"
#include "engine/table/database.h"
#include "engine/table/file_check.h"
#include "engine/table/table_cursor.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"

namespace {

const char* const kPath = "/fuzz.mdb";

std::shared_ptr<kevra::Database> openWritable(kevra::MemoryFileSystem& fs) {
  kevra::OpenOptions options;
  options.readOnly = false;
  options.fileSystem = &fs;
  return kevra::Database::open(kPath, options);
}

template <typename Change>
void attempt(kevra::TableWriter& writer, Change change) {
  try {
    writer.begin();
    change();
    writer.commit();
  } catch (const kevra::EngineError&) {
    writer.rollback();
  }
}

void changeEveryTable(const std::shared_ptr<kevra::Database>& db) {
  kevra::TableWriter writer(db);
  for (const auto& entry : db->tableList()) {
    if (entry.type != "TABLE") continue;
    std::shared_ptr<const kevra::TableDef> def;
    try {
      def = db->table(entry.name);
    } catch (const kevra::EngineError&) {
      continue;
    }
    std::vector<kevra::Value> first, row;
    std::optional<uint32_t> firstAt, lastAt;
    try {
      auto cursor = db->openCursor(def);
      for (int n = 0; n < 64 && cursor->next(row); ++n) {
        if (!firstAt) first = row, firstAt = cursor->lastLocation();
        lastAt = cursor->lastLocation();
      }
    } catch (const kevra::EngineError&) {
      continue;
    }
    attempt(writer, [&] {
      std::vector<std::optional<kevra::Value>> values(first.begin(), first.end());
      values.resize(def->columns.size());
      writer.insertRow(*def, values);
    });
    if (firstAt) attempt(writer, [&] { writer.updateRow(*def, *firstAt, row); });
    if (lastAt && lastAt != firstAt) attempt(writer, [&] { writer.deleteRow(*def, *lastAt); });
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kevra::MemoryFileSystem fs;
  fs.put(kPath, std::vector<uint8_t>(data, data + size));
  try {
    auto db = openWritable(fs);
    if (!kevra::checkDatabase(db).clean()) return 0;
    changeEveryTable(db);
  } catch (const kevra::EngineError&) {
    return 0;
  }
  try {
    const kevra::CheckReport after = kevra::checkDatabase(openWritable(fs));
    if (!after.clean()) {
      std::fprintf(stderr, "a change left the file unsound: %s\n", after.problems.front().c_str());
      __builtin_trap();
    }
  } catch (const kevra::EngineError& e) {
    std::fprintf(stderr, "a change left a file that no longer opens: %s\n", e.what());
    __builtin_trap();
  }
  return 0;
}
