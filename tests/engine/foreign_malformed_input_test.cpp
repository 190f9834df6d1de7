// Damaged foreign files: dBase, Paradox and Excel samples with random bytes
// changed, runs of bytes zeroed or set, and cut short, with fixed seeds.
// Every damaged copy is read completely in a child process, which must end
// with the rows or with an EngineError: never a crash, a hang, another
// exception or memory beyond 1 GiB.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "engine/isam/dbase_driver.h"
#include "engine/isam/excel_driver.h"
#include "engine/isam/paradox_driver.h"
#include "engine/util/error.h"
#include "foreign_test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define KEVRA_FOREIGN_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEVRA_FOREIGN_UNDER_ASAN 1
#endif
#endif
#ifndef KEVRA_FOREIGN_UNDER_ASAN
#define KEVRA_FOREIGN_UNDER_ASAN 0
#endif

namespace kevra {
namespace {

using namespace kevra::test;
namespace fs = std::filesystem;

struct Case {
  const char* folder;      // under samples/
  const char* file;        // the file that gets damaged
  const char* companion;   // copied beside it unchanged (memo or blob file), or ""
  const char* kind;        // dbase, paradox, excel
};

const Case kCases[] = {
    {"foreign-generated/dbase", "people_lo.dbf", "people_lo.dbt", "dbase"},
    {"foreign-generated/dbase", "people_lo.dbt", "people_lo.dbf", "dbase"},
    {"foreign/dbase", "dbfread_memotest.fpt", "dbfread_memotest.dbf", "dbase"},
    {"foreign/paradox", "customer.db", "customer.mb", "paradox"},
    {"foreign/paradox", "memo.mb", "memo.db", "paradox"},
    {"foreign-generated/paradox", "people.db", "", "paradox"},
    {"foreign-generated/excel", "workbook.xls", "", "excel"},
    {"foreign-generated/excel", "workbook_gnumeric.xls", "", "excel"},
    {"foreign/xls", "meza_test.xls", "", "excel"},
};

std::unique_ptr<ForeignDriver> driverFor(const std::string& kind) {
  if (kind == "dbase") return makeDbaseDriver();
  if (kind == "paradox") return makeParadoxDriver();
  return makeExcelDriver();
}

// 0: read or EngineError; 1: another exception; 2: out of memory.
int readEverything(const std::string& kind, const std::string& source) {
  try {
    auto driver = driverFor(kind);
    for (const auto& t : driver->listTables(source)) {
      auto reader = driver->openTable(source, t.name);
      std::vector<Value> row;
      for (uint64_t n = 0; reader->next(row); ++n)
        if (row.size() != reader->columns().size()) return 1;
    }
  } catch (const EngineError&) {
  } catch (const std::bad_alloc&) {
    return 2;
  } catch (...) {
    return 1;
  }
  return 0;
}

std::string runInChild(const std::string& kind, const std::string& source) {
  const pid_t pid = fork();
  if (pid == 0) {
#if !KEVRA_FOREIGN_UNDER_ASAN
    rlimit limit{1ull << 30, 1ull << 30};
    setrlimit(RLIMIT_AS, &limit);
#endif
    _exit(readEverything(kind, source));
  }
  int status = 0;
  for (int waited = 0; waited < 20000; ++waited) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      if (WIFSIGNALED(status)) return "a crash (signal " + std::to_string(WTERMSIG(status)) + ")";
      if (WEXITSTATUS(status) == 1) return "an exception that is not EngineError";
      if (WEXITSTATUS(status) == 2) return "memory exhausted";
      return "";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return "no end within 20 seconds";
}

TEST(ForeignMalformedInput, DamagedFilesReadOrFailCleanly) {
  std::mt19937 random(20260101);
  // KEVRA_MALFORMED_ROUNDS (environment) scales the rounds for longer local runs.
  const char* scale = std::getenv("KEVRA_MALFORMED_ROUNDS");
  const int rounds = 40 * std::max(1, scale ? std::atoi(scale) : 1);
  for (const Case& c : kCases) {
    const auto original = fileBytes(sample(std::string(c.folder) + "/" + c.file));
    ASSERT_FALSE(original.empty()) << c.file;
    for (int round = 0; round < rounds; ++round) {
      ScratchFolder dir;
      if (*c.companion) fs::copy_file(sample(std::string(c.folder) + "/" + c.companion), dir.file(c.companion));
      auto bytes = original;
      const int mode = round % 4;
      if (mode == 0) {
        bytes.resize(random() % bytes.size());
      } else if (mode == 1) {
        for (int i = 0; i < 8; ++i) bytes[random() % bytes.size()] = uint8_t(random());
      } else {
        const size_t at = random() % bytes.size();
        const size_t length = std::min<size_t>(bytes.size() - at, 1 + random() % 64);
        std::fill(bytes.begin() + long(at), bytes.begin() + long(at + length), mode == 2 ? 0x00 : 0xFF);
      }
      writeBytes(dir.file(c.file), bytes);
      const std::string source = std::string(c.kind) == "excel" ? dir.file(c.file) : dir.path();
      const std::string problem = runInChild(c.kind, source);
      EXPECT_EQ(problem, "") << c.file << " round " << round;
    }
  }
}

}  // namespace
}  // namespace kevra
