// Scratch copies of sample databases for index tests (samples are never
// opened for writing), and small helpers to patch bytes of a copy.
#pragma once
#include <unistd.h>

#include <atomic>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "sample_files.h"

namespace kevra::test {

class PatchableCopy {
 public:
  explicit PatchableCopy(const std::string& sampleName) {
    static std::atomic<int> counter{0};
    namespace fs = std::filesystem;
    dir_ = fs::temp_directory_path() /
           ("kevra-index-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(dir_);
    path_ = dir_ / sampleName;
    fs::copy_file(sample(sampleName), path_);
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
  }
  ~PatchableCopy() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string path() const { return path_.string(); }

  void patch(uint64_t offset, const void* bytes, size_t size) const {
    std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(offset));
    f.write(static_cast<const char*>(bytes), std::streamsize(size));
  }
  void patchU32(uint32_t page, size_t offset, uint32_t value) const {
    uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    patch(uint64_t(page) * 4096 + offset, b, 4);
  }
  void patchByte(uint32_t page, size_t offset, uint8_t value) const { patch(uint64_t(page) * 4096 + offset, &value, 1); }

 private:
  std::filesystem::path dir_;
  std::filesystem::path path_;
};

// kevra-cli check, run as a separate process.
struct CheckRun {
  int status = -1;
  std::string output;
};

inline CheckRun runCheck(const std::string& path, const std::string& extra = "") {
  std::string command = std::string(KEVRA_CLI_PATH) + " check '" + path + "' " + extra + " 2>&1";
  CheckRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace kevra::test
