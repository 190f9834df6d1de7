#include "engine/storage/journal_recovery.h"

#include <filesystem>

#include "engine/storage/rollback_journal.h"
#include "engine/util/error.h"

namespace kevra {

RecoveryOutcome recoverJournal(FileSystem& fs, const std::string& path, bool discard) {
  const std::string real = fs.realPath(path);
  const std::string name = std::filesystem::path(real).filename().string();
  std::unique_ptr<File> file = fs.open(real, OpenMode::ReadWrite);
  if (!file->tryLockExclusive())
    throw EngineError("The database '" + name + "' is in use: another program has it open for changes. Close it there, "
                      "then recover.");
  if (!RollbackJournal::exists(fs, real)) return RecoveryOutcome::NoJournal;
  if (discard) {
    RollbackJournal::remove(fs, real);
    return RecoveryOutcome::Discarded;
  }
  JournalContents journal;
  if (!RollbackJournal::read(fs, real, journal)) {
    RollbackJournal::remove(fs, real);
    return RecoveryOutcome::Incomplete;
  }
  if (auto why = RollbackJournal::mismatch(journal, *file, std::nullopt, false))
    throw EngineError("The recovery journal beside '" + name + "' cannot be applied: " + *why +
                      ". Nothing was changed. Use --discard-journal to set the journal aside and keep the file as it is.");
  RollbackJournal::applyTo(*file, journal);
  RollbackJournal::remove(fs, real);
  return RecoveryOutcome::Applied;
}

}  // namespace kevra
