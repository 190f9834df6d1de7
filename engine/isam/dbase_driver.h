// dBase 5.0 tables: the data source is a folder, each `<name>.dbf` in it is
// the table `<name>` (memo text in `<name>.dbt`, FoxPro's `.fpt` read too).
#pragma once
#include <memory>

#include "engine/isam/foreign_driver.h"
#include "engine/storage/file_system.h"

namespace kevra {

// Files go through `fs` (another file system than the real one in tests).
std::unique_ptr<ForeignDriver> makeDbaseDriver(FileSystem& fs = realFileSystem());

}  // namespace kevra
