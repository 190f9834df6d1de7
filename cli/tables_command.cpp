// kevra-cli tables FILE
#include <cstdio>

#include "cli/commands.h"
#include "cli/open_database.h"
#include "engine/table/linked_tables.h"

namespace kevra::cli {

int runTables(const Arguments& args) {
  if (args.positional.size() > 1) throw UsageError("'tables' takes one FILE argument.");
  auto db = openForReading(args);
  Database::ReadScope reading(*db);  // one state of the file throughout
  for (const auto& name : db->userTableNames()) std::printf("%s\n", name.c_str());
  // Links are marked by the arrow to what they read: the file's path as the
  // link stores it, or the ODBC source's connect string.
  if (args.links)
    for (const LinkedTable& link : linkedTables(*db))
      std::printf("%s\t-> %s%s\n", link.name.c_str(), link.odbc ? "ODBC " : "",
                  (link.odbc ? link.connect : link.datasource).c_str());
  return 0;
}

}  // namespace kevra::cli
