// Helpers for tests that change files: private copies of samples, whole-file
// reads for byte comparisons, and running one statement in a transaction.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/sql/local_services.h"
#include "engine/sql/statement_runner.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"
#include "sample_files.h"

namespace kevra::test {

// A writable copy of a sample in a fresh temporary folder, removed with it.
class ScratchCopy {
 public:
  explicit ScratchCopy(const std::string& sampleName) {
    char pattern[] = "/tmp/kevra-test-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    path_ = dir_ + "/" + sampleName;
    std::filesystem::copy_file(sample(sampleName), path_);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  ~ScratchCopy() { std::filesystem::remove_all(dir_); }
  const std::string& path() const { return path_; }
  std::vector<char> bytes() const {
    std::ifstream in(path_, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string dir_, path_;
};

inline std::shared_ptr<Database> openForWriting(const std::string& path) {
  OpenOptions o;
  o.readOnly = false;
  return Database::open(path, o);
}

// One statement with every local service (rows, structure, SELECT ... INTO).
inline long runSql(const std::shared_ptr<Database>& db, const std::string& sql) {
  LocalServices local(db);
  return runStatement(db, sql, local.services()).rowsAffected;
}

inline std::vector<std::vector<Value>> allRows(const std::shared_ptr<Database>& db, const std::string& table) {
  auto cursor = db->openCursor(db->table(table));
  std::vector<std::vector<Value>> rows;
  std::vector<Value> row;
  while (cursor->next(row)) rows.push_back(row);
  return rows;
}

// Runs `sql`, expecting a refusal whose message holds `fragment`, and the
// file to stay byte for byte as `before`.
inline void expectRefusedUnchanged(const std::shared_ptr<Database>& db, const ScratchCopy& copy,
                                   const std::vector<char>& before, const std::string& sql,
                                   const std::string& fragment) {
  try {
    runSql(db, sql);
    ADD_FAILURE() << "accepted: " << sql;
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
  }
  EXPECT_EQ(copy.bytes(), before) << sql;
}

// Runs a shell command; its exit status and what it printed (stderr too).
inline std::pair<int, std::string> runCommand(const std::string& command) {
  std::string out;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = ::pclose(p);
  return {WEXITSTATUS(status), out};
}

// "clean" when kevra-cli check finds nothing wrong, else what it reported.
inline std::string checkFile(const std::string& path, const std::string& extra = "") {
  auto [code, out] = runCommand(std::string(KEVRA_CLI_PATH) + " check '" + path + "' " + extra);
  return code == 0 ? "clean" : out;
}

}  // namespace kevra::test
