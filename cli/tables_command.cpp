// kevra-cli tables FILE
#include <cstdio>

#include "cli/commands.h"
#include "cli/open_database.h"

namespace kevra::cli {

int runTables(const Arguments& args) {
  if (args.positional.size() > 1) throw UsageError("'tables' takes one FILE argument.");
  auto db = openForReading(args);
  Database::ReadScope reading(*db);  // one state of the file throughout
  for (const auto& name : db->userTableNames()) std::printf("%s\n", name.c_str());
  return 0;
}

}  // namespace kevra::cli
