// Opening the database named on the command line, read-only.
#pragma once
#include <memory>

#include "cli/commands.h"
#include "engine/table/database.h"

namespace kevra::cli {

inline std::shared_ptr<Database> openForReading(const Arguments& args) {
  if (args.positional.empty()) throw UsageError("Missing the database FILE argument.");
  OpenOptions options;
  options.readOnly = true;
  options.password = args.password;
  return Database::open(args.positional[0], options);
}

}  // namespace kevra::cli
