// kevra-cli recover FILE [--discard-journal]: the explicit way out when an
// open refused a journal it could not tie to FILE.
#include <cstdio>

#include "cli/commands.h"
#include "engine/storage/journal_recovery.h"

namespace kevra::cli {

int runRecover(const Arguments& args) {
  if (args.positional.size() != 1) throw UsageError("recover takes FILE.");
  const std::string& file = args.positional[0];
  switch (recoverJournal(realFileSystem(), file, args.discardJournal)) {
    case RecoveryOutcome::NoJournal: std::printf("%s has no recovery journal; nothing to do.\n", file.c_str()); break;
    case RecoveryOutcome::Incomplete:
      std::printf("The journal beside %s was never completed, so the file holds nothing of its change; it was "
                  "removed.\n", file.c_str());
      break;
    case RecoveryOutcome::Applied:
      std::printf("The interrupted change to %s was undone from its journal.\n", file.c_str());
      break;
    case RecoveryOutcome::Discarded:
      std::printf("The journal beside %s was removed; the file was kept as it is. Run kevra-cli check on it.\n",
                  file.c_str());
      break;
  }
  return 0;
}

}  // namespace kevra::cli
