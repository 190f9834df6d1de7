// kevra-cli check FILE: verifies a database file without changing it and
// prints each problem found, then a summary; exit 1 when there are problems.
#include <cstdio>

#include "cli/commands.h"
#include "cli/open_database.h"
#include "engine/table/file_check.h"

namespace kevra::cli {

int runCheck(const Arguments& args) {
  if (args.positional.size() != 1) throw UsageError("'check' takes one FILE argument.");
  auto db = openForReading(args);
  Database::ReadScope reading(*db);  // one state of the file throughout
  const CheckReport report = checkDatabase(db, [](const std::string& line) { std::printf("%s\n", line.c_str()); });
  for (const std::string& note : report.notes) std::printf("Note: %s\n", note.c_str());
  if (report.clean()) {
    std::printf("OK: %zu tables, %zu indexes, %llu rows\n", report.tables, report.indexes,
                (unsigned long long)report.rows);
    return 0;
  }
  std::printf("%zu problem%s found in %zu tables, %zu indexes, %llu rows\n", report.problems.size(),
              report.problems.size() == 1 ? "" : "s", report.tables, report.indexes, (unsigned long long)report.rows);
  return 1;
}

}  // namespace kevra::cli
