// Opening the database named on the command line, read-only.
#pragma once
#include <memory>

#include "cli/commands.h"
#include "engine/table/database.h"

namespace kevra::cli {

// The --codepage number, 0 when not given.
inline int codePageArgument(const Arguments& args) {
  if (args.codePage.empty()) return 0;
  if (args.codePage.find_first_not_of("0123456789") != std::string::npos || args.codePage.size() > 5)
    throw UsageError("--codepage takes a code page number such as 1252, not '" + args.codePage + "'.");
  return std::stoi(args.codePage);
}

inline std::shared_ptr<Database> openForReading(const Arguments& args) {
  if (args.positional.empty()) throw UsageError("Missing the database FILE argument.");
  OpenOptions options;
  options.readOnly = true;
  options.password = args.password;
  options.codePage = codePageArgument(args);
  return Database::open(args.positional[0], options);
}

}  // namespace kevra::cli
