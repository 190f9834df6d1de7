// kevra-cli compact SOURCE DESTINATION: writes a compacted copy of SOURCE to
// the new file DESTINATION, with a progress bar on a terminal.
#include <unistd.h>

#include <cstdio>

#include "cli/commands.h"
#include "engine/compact/compactor.h"

namespace kevra::cli {

int runCompact(const Arguments& args) {
  if (args.positional.size() != 2) throw UsageError("compact takes SOURCE and DESTINATION.");
  CompactOptions options;
  options.sourcePassword = args.password;
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  int shown = -1;
  if (terminal)
    options.progress = [&](uint64_t done, uint64_t total) {
      const int percent = total ? int(done * 100 / total) : 100;
      if (percent == shown) return;
      shown = percent;
      const int filled = percent / 5;
      std::fprintf(stderr, "\rCompacting [%-20.*s] %3d%%", filled, "####################", percent);
      std::fflush(stderr);
    };
  compactDatabase(realFileSystem(), args.positional[0], args.positional[1], options);
  if (terminal) std::fprintf(stderr, "\n");
  std::printf("Compacted %s into %s\n", args.positional[0].c_str(), args.positional[1].c_str());
  return 0;
}

}  // namespace kevra::cli
