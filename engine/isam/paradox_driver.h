// Paradox tables: the data source is a folder, each `<name>.db` in it is the
// table `<name>` (blobs in `<name>.mb`). Reads versions 3.0 to 7, writes 7.
#pragma once
#include <memory>

#include "engine/isam/foreign_driver.h"

namespace kevra {

std::unique_ptr<ForeignDriver> makeParadoxDriver();

}  // namespace kevra
