// Damaged files: every Jet 4 sample is mutated (header, table definitions,
// data and long-value pages, usage maps, lying lengths and pointers, cycles)
// and truncated many times with fixed seeds. Each damaged copy is opened and
// read completely (catalog, every table definition, every row) in a child
// process, which must either succeed or stop with kevra::EngineError: never
// crash, hang, run out of memory or throw anything else.
//
// KEVRA_MALFORMED_ROUNDS (environment) scales the number of mutations per
// file for longer local runs; the default keeps the whole test near 15 s.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/util/error.h"

// An address-sanitized build reserves terabytes of shadow memory; no address-space limit there.
#if defined(__SANITIZE_ADDRESS__)
#define KEVRA_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEVRA_UNDER_ASAN 1
#endif
#endif
#ifndef KEVRA_UNDER_ASAN
#define KEVRA_UNDER_ASAN 0
#endif

namespace kevra {
namespace {

namespace fs = std::filesystem;

constexpr size_t kPage = 4096;
constexpr int kReadTimeoutSeconds = 20;
constexpr const char* kSamplePassword = "password";  // of v2000_with-password.mdb

std::vector<uint8_t> readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The Jet 4 samples: version byte 1 at offset 0x14 of a "Standard Jet DB" header.
std::vector<fs::path> jet4Samples() {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::path(KEVRA_SHARED_DIR) / "samples", ec)) {
    if (!e.is_regular_file() || e.path().extension() != ".mdb") continue;
    std::vector<uint8_t> head(0x20);
    std::ifstream in(e.path(), std::ios::binary);
    in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
    if (in && std::memcmp(head.data() + 4, "Standard Jet DB", 15) == 0 && head[0x14] == 1) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

enum class Outcome { Read, CleanError, OtherException, UnknownException, TooManyRows, OutOfMemory, Crash, Hang };

const char* outcomeName(Outcome o) {
  switch (o) {
    case Outcome::Read: return "read";
    case Outcome::CleanError: return "EngineError";
    case Outcome::OtherException: return "an exception that is not EngineError";
    case Outcome::UnknownException: return "a non-standard exception";
    case Outcome::TooManyRows: return "more rows than the file has slots (a cycle?)";
    case Outcome::OutOfMemory: return "memory exhausted (1 GiB limit)";
    case Outcome::Crash: return "a crash";
    case Outcome::Hang: return "no end within the time limit";
  }
  return "?";
}

// Opens and reads the whole file; returns normally or throws.
void readEverything(const std::string& path, const std::string& password, uint64_t maxRows) {
  auto db = Database::open(path, OpenOptions{true, password});
  (void)db->header();
  (void)db->databaseProperties();
  (void)db->relationships();
  for (const TableListEntry& entry : db->tableList()) {
    if (entry.type == "VIEW" || entry.type == "LINK" || entry.type == "PASS-THROUGH") continue;
    auto table = db->table(entry.name);
    (void)db->tableProperties(entry.name);
    auto cursor = db->openCursor(table);
    std::vector<Value> row;
    uint64_t rows = 0;
    while (cursor->next(row)) {
      if (row.size() != table->columns.size()) throw std::logic_error("row with the wrong number of values");
      if (++rows > maxRows) _exit(int(Outcome::TooManyRows));
    }
    if (cursor->seek(rows / 2)) cursor->next(row);
  }
}

// Reads `path` in a child process so that a crash or hang is observed, not suffered.
Outcome readInChild(const std::string& path, const std::string& password, uint64_t maxRows, std::string& message) {
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return Outcome::Crash;
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeFd[0]);
#if !KEVRA_UNDER_ASAN
    rlimit limit{1ull << 30, 1ull << 30};
    setrlimit(RLIMIT_AS, &limit);
#endif
    Outcome result = Outcome::Read;
    std::string what;
    try {
      readEverything(path, password, maxRows);
    } catch (const EngineError& e) {
      result = Outcome::CleanError;
      what = e.what();
    } catch (const std::bad_alloc&) {
      result = Outcome::OutOfMemory;
    } catch (const std::exception& e) {
      result = Outcome::OtherException;
      what = typeid(e).name() + std::string(": ") + e.what();
    } catch (...) {
      result = Outcome::UnknownException;
    }
    if (!what.empty()) (void)!write(pipeFd[1], what.data(), std::min<size_t>(what.size(), 4000));
    _exit(int(result));
  }
  close(pipeFd[1]);
  if (pid < 0) {
    close(pipeFd[0]);
    return Outcome::Crash;
  }
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kReadTimeoutSeconds);
  bool hung = false;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      hung = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  char buffer[4096];
  ssize_t n = read(pipeFd[0], buffer, sizeof buffer);
  close(pipeFd[0]);
  message.assign(buffer, n > 0 ? size_t(n) : 0);
  if (hung) return Outcome::Hang;
  if (!WIFEXITED(status)) {
    message = std::string("signal ") + strsignal(WTERMSIG(status));
    return Outcome::Crash;
  }
  int code = WEXITSTATUS(status);
  return code <= int(Outcome::OutOfMemory) ? Outcome(code) : Outcome::Crash;
}

// ---- Mutations -------------------------------------------------------------

struct Pages {
  std::vector<size_t> tdef, data, lval, index, any;
};

Pages classify(const std::vector<uint8_t>& file) {
  Pages p;
  for (size_t page = 1; page < file.size() / kPage; ++page) {
    const uint8_t* b = file.data() + page * kPage;
    p.any.push_back(page);
    if (b[0] == 0x02 && b[1] == 0x01) p.tdef.push_back(page);
    else if (b[0] == 0x01 && b[1] == 0x01 && std::memcmp(b + 4, "LVAL", 4) == 0) p.lval.push_back(page);
    else if (b[0] == 0x01 && b[1] == 0x01) p.data.push_back(page);
    else if (b[0] == 0x03 || b[0] == 0x04) p.index.push_back(page);
  }
  return p;
}

using Rng = std::mt19937_64;

size_t pick(Rng& rng, const std::vector<size_t>& from, const Pages& pages) {
  const auto& list = from.empty() ? pages.any : from;
  return list[rng() % list.size()];
}

void put16(std::vector<uint8_t>& f, size_t at, uint16_t v) {
  if (at + 2 <= f.size()) std::memcpy(&f[at], &v, 2);
}
void put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
  if (at + 4 <= f.size()) std::memcpy(&f[at], &v, 4);
}

// A value meant to lie: 0, small, just past a limit, or huge.
uint32_t lyingValue(Rng& rng, uint32_t limit) {
  switch (rng() % 6) {
    case 0: return 0;
    case 1: return limit;
    case 2: return limit + 1 + uint32_t(rng() % 16);
    case 3: return 0xFFFFFFFFu - uint32_t(rng() % 4);
    case 4: return uint32_t(rng() % (limit + 1));
    default: return uint32_t(rng());
  }
}

void flipBytes(Rng& rng, std::vector<uint8_t>& f, size_t start, size_t length, int count) {
  if (length == 0 || start >= f.size()) return;
  length = std::min(length, f.size() - start);
  for (int i = 0; i < count; ++i) f[start + rng() % length] ^= uint8_t(1 + rng() % 255);
}

// Applies one mutation chosen by `kind`; returns what was done, for messages.
std::string mutate(Rng& rng, std::vector<uint8_t>& f, const Pages& pages, int kind) {
  const uint32_t pageCount = uint32_t(f.size() / kPage);
  switch (kind) {
    case 0: {  // header page bytes
      flipBytes(rng, f, 0, kPage, 1 + int(rng() % 8));
      return "header bytes flipped";
    }
    case 1: {  // table definition bytes
      size_t p = pick(rng, pages.tdef, pages);
      flipBytes(rng, f, p * kPage, kPage, 1 + int(rng() % 16));
      return "TDEF page " + std::to_string(p) + " bytes flipped";
    }
    case 2: {  // table definition counts and lengths that lie
      size_t p = pick(rng, pages.tdef, pages) * kPage;
      static const size_t fields16[] = {41, 43, 45};
      static const size_t fields32[] = {8, 16, 47, 51};
      if (rng() % 2) put16(f, p + fields16[rng() % 3], uint16_t(lyingValue(rng, 0xFFFF)));
      else put32(f, p + fields32[rng() % 4], lyingValue(rng, 4096));
      return "TDEF count or length lies at page " + std::to_string(p / kPage);
    }
    case 3: {  // TDEF continuation pointer: past the end or to itself (a cycle)
      size_t p = pick(rng, pages.tdef, pages);
      put32(f, p * kPage + 4, rng() % 2 ? uint32_t(p) : lyingValue(rng, pageCount));
      return "TDEF next-page pointer of page " + std::to_string(p);
    }
    case 4: {  // usage map pointers of a table that lie
      size_t p = pick(rng, pages.tdef, pages) * kPage;
      put32(f, p + (rng() % 2 ? 55 : 59), uint32_t(lyingValue(rng, pageCount)) << 8 | uint32_t(rng() % 4));
      return "usage map pointer at TDEF page " + std::to_string(p / kPage);
    }
    case 5: {  // data page slot table: offsets and flags
      size_t p = pick(rng, pages.data, pages) * kPage;
      uint16_t rows = 0;
      std::memcpy(&rows, &f[p + 12], 2);
      if (rows == 0 || rng() % 4 == 0) {
        put16(f, p + 12, uint16_t(lyingValue(rng, 2100)));
      } else {
        size_t slot = p + 14 + 2 * (rng() % rows);
        put16(f, slot, uint16_t(lyingValue(rng, 0xFFFF)));
      }
      return "data page " + std::to_string(p / kPage) + " slot table";
    }
    case 6: {  // data page row bytes (null masks, var offsets, long-value headers)
      size_t p = pick(rng, pages.data, pages);
      flipBytes(rng, f, p * kPage + 14, kPage - 14, 1 + int(rng() % 24));
      return "data page " + std::to_string(p) + " row bytes flipped";
    }
    case 7: {  // data page owner / wrong page type
      size_t p = pick(rng, pages.data, pages) * kPage;
      if (rng() % 2) put32(f, p + 4, lyingValue(rng, pageCount));
      else f[p] = uint8_t(rng() % 8);
      return "data page " + std::to_string(p / kPage) + " owner or type";
    }
    case 8: {  // long-value pages: bytes, and chain pointers pointing back (cycles)
      size_t p = pick(rng, pages.lval, pages);
      if (rng() % 2) {
        flipBytes(rng, f, p * kPage, kPage, 1 + int(rng() % 16));
      } else {
        uint16_t rows = 0;
        std::memcpy(&rows, &f[p * kPage + 12], 2);
        for (uint16_t r = 0; r < std::min<uint16_t>(rows, 64); ++r) {
          uint16_t start = 0;
          std::memcpy(&start, &f[p * kPage + 14 + 2 * r], 2);
          start &= 0x1FFF;
          if (size_t(start) + 4 <= kPage) put32(f, p * kPage + start, uint32_t(p) << 8 | r);
        }
      }
      return "LVAL page " + std::to_string(p);
    }
    case 9: {  // a random page of any kind gets another page's type byte
      size_t p = pick(rng, pages.any, pages);
      static const uint8_t types[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0xFF};
      f[p * kPage] = types[rng() % 7];
      return "page " + std::to_string(p) + " type byte";
    }
    case 10: {  // index pages
      size_t p = pick(rng, pages.index, pages);
      flipBytes(rng, f, p * kPage, kPage, 1 + int(rng() % 16));
      return "index page " + std::to_string(p);
    }
    default: {  // several of the above at once
      std::string what;
      int n = 2 + int(rng() % 4);
      for (int i = 0; i < n; ++i) what += mutate(rng, f, pages, int(rng() % 11)) + "; ";
      return what;
    }
  }
}

int rounds() {
  const char* env = std::getenv("KEVRA_MALFORMED_ROUNDS");
  int n = env ? std::atoi(env) : 0;
  return n > 0 ? n : 10;
}

class MalformedInput : public ::testing::TestWithParam<fs::path> {
 protected:
  void SetUp() override {
    original_ = readAll(GetParam());
    ASSERT_GE(original_.size(), kPage * 2);
    password_ = GetParam().filename() == "v2000_with-password.mdb" ? kSamplePassword : "";
    dir_ = fs::temp_directory_path() / ("kevra-malformed-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    copy_ = dir_ / GetParam().filename();
    // More rows than slots can exist is a loop, not a table.
    maxRows_ = uint64_t(original_.size() / kPage + 64) * 256;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Writes `bytes` to the scratch copy and reads it; records a failure that
  // names the seed and keeps the damaged file when the outcome is not allowed.
  void check(const std::vector<uint8_t>& bytes, uint64_t seed, const std::string& what) {
    writeAll(copy_, bytes);
    std::string message;
    Outcome o = readInChild(copy_.string(), password_, maxRows_, message);
    ++attempts_;
    if (o == Outcome::CleanError) ++cleanErrors_;
    if (o == Outcome::Read || o == Outcome::CleanError) {
      if (o == Outcome::CleanError) {
        EXPECT_FALSE(message.empty()) << "EngineError without a message: " << what;
      }
      return;
    }
    fs::path keep = fs::temp_directory_path() / ("kevra-malformed-" + GetParam().stem().string() + "-" +
                                                 std::to_string(seed) + ".mdb");
    writeAll(keep, bytes);
    ADD_FAILURE() << GetParam().filename() << " seed " << seed << " (" << what << "): " << outcomeName(o) << " "
                  << message << "\n  damaged copy kept as " << keep;
  }

  std::vector<uint8_t> original_;
  std::string password_;
  fs::path dir_, copy_;
  uint64_t maxRows_ = 0;
  int attempts_ = 0, cleanErrors_ = 0;
};

TEST_P(MalformedInput, TheUndamagedFileReads) {
  writeAll(copy_, original_);
  std::string message;
  EXPECT_EQ(readInChild(copy_.string(), password_, maxRows_, message), Outcome::Read) << message;
}

TEST_P(MalformedInput, MutatedCopiesReadOrFailCleanly) {
  const Pages pages = classify(original_);
  const uint64_t fileSeed = std::hash<std::string>{}(GetParam().filename().string()) & 0xFFFFFFFF;
  const int kinds = 12;
  for (int round = 0; round < rounds(); ++round) {
    for (int kind = 0; kind < kinds; ++kind) {
      uint64_t seed = fileSeed * 1000 + uint64_t(round * kinds + kind);
      Rng rng(seed);
      std::vector<uint8_t> bytes = original_;
      std::string what = mutate(rng, bytes, pages, kind);
      check(bytes, seed, what);
    }
  }
  EXPECT_GT(cleanErrors_, 0) << "no mutation was detected at all: the damage did not reach the reader";
}

TEST_P(MalformedInput, TruncatedCopiesReadOrFailCleanly) {
  const uint64_t fileSeed = std::hash<std::string>{}(GetParam().filename().string()) & 0xFFFFFFFF;
  Rng rng(fileSeed);
  std::vector<size_t> lengths = {0, 1, 100, kPage - 1, kPage, kPage + 1, 2 * kPage, original_.size() - 1,
                                 original_.size() - kPage};
  for (int i = 0; i < 4 * rounds(); ++i) lengths.push_back(rng() % original_.size());
  int cleanAtPageBoundary = 0;
  for (size_t length : lengths) {
    std::vector<uint8_t> bytes(original_.begin(), original_.begin() + std::ptrdiff_t(length));
    check(bytes, length, "truncated to " + std::to_string(length) + " bytes");
  }
  // A file cut below two pages cannot even hold its header and catalog.
  for (size_t length : {size_t(0), size_t(100), kPage}) {
    writeAll(copy_, std::vector<uint8_t>(original_.begin(), original_.begin() + std::ptrdiff_t(length)));
    std::string message;
    if (readInChild(copy_.string(), password_, maxRows_, message) == Outcome::CleanError) ++cleanAtPageBoundary;
  }
  EXPECT_EQ(cleanAtPageBoundary, 3) << "a file of at most one page must be refused";
}

std::string sampleName(const ::testing::TestParamInfo<fs::path>& info) {
  std::string name;
  for (char c : info.param.filename().string()) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Samples, MalformedInput, ::testing::ValuesIn(jet4Samples()), sampleName);

TEST(MalformedInputCorpus, FindsTheJet4Samples) { EXPECT_GE(jet4Samples().size(), 15u); }

// Inputs the fuzzer (tests/fuzz) once found a fault with, kept as regression
// cases. Under a sanitizer build they must also run clean.
TEST(FuzzerFindings, ReadOrFailCleanly) {
  const fs::path dir = fs::path(__FILE__).parent_path().parent_path() / "fuzz" / "crashes";
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.is_regular_file() && e.path().extension() == ".mdb") files.push_back(e.path());
  ASSERT_FALSE(files.empty()) << "no reproducers in " << dir;
  const fs::path scratch = fs::temp_directory_path() / ("kevra-fuzz-findings-" + std::to_string(getpid()) + ".mdb");
  for (const auto& file : files) {
    std::vector<uint8_t> bytes = readAll(file);
    writeAll(scratch, bytes);
    std::string message;
    Outcome o = readInChild(scratch.string(), kSamplePassword, uint64_t(bytes.size() / kPage + 64) * 256, message);
    EXPECT_TRUE(o == Outcome::Read || o == Outcome::CleanError)
        << file.filename() << ": " << outcomeName(o) << " " << message;
  }
  fs::remove(scratch, ec);
}

}  // namespace
}  // namespace kevra
