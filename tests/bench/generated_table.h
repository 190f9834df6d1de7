// A table of any number of rows for the grid benchmarks, made on first use in
// a temporary folder removed when the program ends: a copy of the sample
// testv2000.mdb whose Table1 (nine fields of every common type, a text
// primary key and a second text index) is filled with generated rows through
// the engine.
#pragma once
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "engine/table/database.h"
#include "engine/table/table_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr long kBatch = 250000;

// The folder the tables are made in, removed when the program ends.
struct ScratchFolder {
  fs::path path = fs::temp_directory_path() / ("kevra-grid-post-" + std::to_string(::getpid()));
  ScratchFolder() { fs::create_directories(path); }
  ~ScratchFolder() { fs::remove_all(path); }
};

inline const fs::path& scratchFolder() {
  static const ScratchFolder folder;
  return folder.path;
}

// A copy of testv2000.mdb whose Table1 holds `rows` rows (the sample's two
// and generated ones), made on first use.
inline std::string tableFile(long rows) {
  static std::map<long, std::string> made;
  if (auto found = made.find(rows); found != made.end()) return found->second;
  const fs::path path = scratchFolder() / ("table1-" + std::to_string(rows) + ".mdb");
  fs::copy_file(std::string(KEVRA_SHARED_DIR) + "/samples/testv2000.mdb", path, fs::copy_options::overwrite_existing);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);

  auto db = kevra::Database::open(path.string(), kevra::OpenOptions{false, ""});
  auto table = db->table("Table1");
  kevra::TableWriter writer(db);
  const long generated = rows - 2;
  for (long done = 0; done < generated;) {
    writer.begin();
    for (long i = 0; i < kBatch && done < generated; ++i, ++done) {
      std::string key = std::to_string(done);
      key = "key" + std::string(8 - std::min<size_t>(8, key.size()), '0') + key;
      std::vector<std::optional<kevra::Value>> row(table->columns.size());
      row[0] = kevra::Value(key);
      row[1] = kevra::Value("generated row " + std::to_string(done * 7919 % 1000003));
      row[2] = kevra::Value(uint8_t(done % 256));
      row[3] = kevra::Value(int16_t(done % 30000));
      row[4] = kevra::Value(int32_t(done));
      row[5] = kevra::Value(double(done) / 7.0);
      row[6] = kevra::Value(kevra::DateTime{30000.0 + double(done % 20000)});
      row[7] = kevra::Value(kevra::Currency{done * 25});
      row[8] = kevra::Value(done % 3 == 0);
      writer.insertRow(*table, row);
    }
    writer.commit();
  }
  return made[rows] = path.string();
}

}  // namespace
