// dBase 5.0 tables: the data source is a folder, each `<name>.dbf` in it is
// the table `<name>` (memo text in `<name>.dbt`, FoxPro's `.fpt` read too).
#pragma once
#include <memory>

#include "engine/isam/foreign_driver.h"

namespace kevra {

std::unique_ptr<ForeignDriver> makeDbaseDriver();

}  // namespace kevra
