// kevra-cli upsize FILE TARGET: tables, keys, relationships and rows into a
// PostgreSQL server or a SQLite file, with a report on the terminal and in a file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/open_database.h"
#include "engine/upsize/upsize_target.h"
#include "engine/upsize/upsizer.h"

namespace kevra::cli {

int runUpsize(const Arguments& args) {
  if (args.positional.size() != 2) throw UsageError("'upsize' takes FILE and TARGET (sqlite:PATH or a PostgreSQL connection string).");
  auto db = openForReading(args);
  UpsizeOptions options;
  options.replace = args.replace;
  options.atomic = args.atomic;
  size_t start = 0;
  while (start < args.tables.size()) {
    size_t comma = args.tables.find(',', start);
    if (comma == std::string::npos) comma = args.tables.size();
    if (comma > start) options.tables.push_back(args.tables.substr(start, comma - start));
    start = comma + 1;
  }
  const bool terminal = isatty(fileno(stderr));
  options.progress = [terminal](const std::string& table, uint64_t rows) {
    if (terminal) std::fprintf(stderr, "\r%s: %llu rows", table.c_str(), static_cast<unsigned long long>(rows));
    return true;
  };
  auto target = openUpsizeTarget(args.positional[1], args.schema);
  UpsizeReport report = upsizeDatabase(*db, *target, options);
  if (terminal) std::fprintf(stderr, "\r\033[K");
  std::string text = report.text();
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::string reportPath = args.report.empty() ? args.positional[0] + ".upsize-report.txt" : args.report;
  std::FILE* f = std::fopen(reportPath.c_str(), "wb");
  bool written = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f && std::fclose(f) != 0) written = false;
  if (!written)
    throw EngineError("The upsize finished, but the report could not be written to '" + reportPath +
                      "': " + std::strerror(errno) + ".");
  std::printf("Report written to %s\n", reportPath.c_str());
  return report.verified() ? 0 : 1;
}

}  // namespace kevra::cli
