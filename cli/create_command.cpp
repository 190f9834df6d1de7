// kevra-cli create FILE: makes a new, empty Jet 4 database and prints one
// line; a file that already exists is refused and left as it is.
#include <cstdio>

#include "cli/commands.h"
#include "engine/storage/file_system.h"
#include "engine/table/database_creator.h"

namespace kevra::cli {

int runCreate(const Arguments& args) {
  if (args.positional.empty()) throw UsageError("Missing the database FILE argument.");
  if (args.positional.size() > 1) throw UsageError("create takes one FILE argument.");
  const std::string& path = args.positional[0];
  NewDatabaseOptions options;
  options.password = args.password;
  createDatabase(realFileSystem(), path, options);
  std::printf("Created %s\n", path.c_str());
  return 0;
}

}  // namespace kevra::cli
