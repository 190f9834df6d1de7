// Explicit recovery: what `kevra-cli recover` does with a journal that an
// ordinary open left alone because it could not be shown to belong to the
// file (rollback_journal.h, rule 7).
#pragma once
#include <string>

#include "engine/storage/file_system.h"

namespace kevra {

enum class RecoveryOutcome {
  NoJournal,   // nothing to do
  Incomplete,  // the journal was never complete: nothing of it reached the file; removed
  Applied,     // the originals were written back and the journal removed
  Discarded,   // the journal was removed unapplied, as asked
};

// Takes the writer's lock on the database at `path`, then applies its
// journal — only when every journaled page still holds its original or what
// the interrupted change wrote, whatever the file's identity — or, with
// `discard`, removes it. Throws EngineError, changing nothing, when the file
// is in use or the journal's pages no longer match.
RecoveryOutcome recoverJournal(FileSystem& fs, const std::string& path, bool discard);

}  // namespace kevra
