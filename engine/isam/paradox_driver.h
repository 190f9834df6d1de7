// Paradox tables: the data source is a folder, each `<name>.db` in it is the
// table `<name>` (blobs in `<name>.mb`). Reads versions 3.0 to 7, writes 7.
#pragma once
#include <memory>

#include "engine/isam/foreign_driver.h"
#include "engine/storage/file_system.h"

namespace kevra {

// Files go through `fs` (another file system than the real one in tests).
std::unique_ptr<ForeignDriver> makeParadoxDriver(FileSystem& fs = realFileSystem());

}  // namespace kevra
