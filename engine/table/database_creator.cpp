// Writing a new database safely: refuse what exists, write a temporary file
// beside the target, flush it, rename it into place, flush the folder; on
// any failure remove what was written.
#include "engine/table/database_creator.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>

#include "engine/storage/rollback_journal.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

std::string alreadyExists(const std::string& path) {
  return "Could not create the database '" + path + "': a file with that name already exists.";
}

// "<path>.kevra-new-<8 hex digits>", not yet taken.
std::string temporaryPathBeside(FileSystem& fs, const std::string& path) {
  static std::mutex mutex;
  static std::mt19937_64 random{std::random_device{}() ^
                                uint64_t(std::chrono::steady_clock::now().time_since_epoch().count())};
  for (int attempt = 0; attempt < 16; ++attempt) {
    uint32_t tag;
    {
      std::lock_guard lock(mutex);
      tag = uint32_t(random());
    }
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".kevra-new-%08x", tag);
    std::string candidate = path + suffix;
    if (!fs.exists(candidate)) return candidate;
  }
  throw EngineError("Could not create the database '" + path + "': no free name for its temporary file beside it.");
}

// Removes `path`, never throwing: this runs while another failure is on its way.
void discard(FileSystem& fs, const std::string& path) noexcept {
  try {
    fs.remove(path);
  } catch (...) {
  }
}

}  // namespace

void createDatabase(FileSystem& fs, const std::string& path, const NewDatabaseOptions& options) {
  if (path.empty()) throw EngineError("Could not create the database: no file name was given.");
  std::string temporary;
  bool inPlace = false;
  auto cleanUp = [&]() noexcept {
    if (!temporary.empty()) discard(fs, inPlace ? path : temporary);
  };
  try {
    // Anything of that name, a symbolic link too, is refused: a new database
    // never replaces anything nor is written through a link (the rule of
    // engine/storage/write_target.h for writers that do not replace).
    if (fs.kindOf(path)) throw EngineError(alreadyExists(path));
    // A journal left beside the name by an earlier database would be applied
    // to the new file when it is first opened for writing.
    const std::string journal = RollbackJournal::pathFor(path);
    if (fs.exists(journal))
      throw EngineError("Could not create the database '" + path + "': the rollback journal '" + journal +
                        "' of an earlier database of that name lies beside it; move or remove it first.");

    Bytes image;  // refusals (the password) come before any file is made
    try {
      image = newDatabaseImage(options);
    } catch (const EngineError& e) {
      std::string reason = e.what();
      if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z') reason[0] = char(reason[0] - 'A' + 'a');
      throw EngineError("Could not create the database '" + path + "': " + reason);
    }
    temporary = temporaryPathBeside(fs, path);
    {
      std::unique_ptr<File> file = fs.open(temporary, OpenMode::Create);
      file->write(image.data(), image.size(), 0);
      file->sync();
    }
    // Checked again for the usual message; the rename itself never replaces
    // a file that appears between this check and it.
    if (fs.kindOf(path)) throw EngineError(alreadyExists(path));
    fs.rename(temporary, path);
    inPlace = true;
    fs.syncFolderOf(path);
  } catch (const FileError& e) {
    cleanUp();
    throw FileError(e.kind(), "Could not create the database '" + path + "': " + e.reason() + ".", e.reason());
  } catch (...) {
    cleanUp();
    throw;
  }
}

}  // namespace kevra
