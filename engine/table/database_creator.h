// Creating a new, empty Jet 4 (Access 2000 format) database file.
//
// An existing file is never touched: a file (or a rollback journal) already
// at the path is refused. The new file is written under a temporary name
// beside the target, flushed, and renamed into place, so the target either
// does not exist or is complete; when anything fails the temporary file is
// removed and nothing is left behind. (A process killed midway can leave the
// temporary file, "<path>.kevra-new-<hex>", never a half-written target.)
#pragma once
#include <string>

#include "engine/storage/file_system.h"
#include "engine/table/new_database_image.h"

namespace kevra {

// Creates the database at `path` through `fs`. Throws EngineError naming the
// path when a file of that name exists ("... already exists"), when the
// password cannot be stored, or when the file cannot be written.
void createDatabase(FileSystem& fs, const std::string& path, const NewDatabaseOptions& options = {});

}  // namespace kevra
