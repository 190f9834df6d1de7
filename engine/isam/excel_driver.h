// Excel 97-2003 workbooks: the data source is the .xls file; its tables are
// the worksheets (under their sheet names, a trailing '$' accepted) and the
// workbook's named ranges. Export writes a new workbook with one sheet.
#pragma once
#include <memory>

#include "engine/isam/foreign_driver.h"
#include "engine/storage/file_system.h"

namespace kevra {

// Files go through `fs` (another file system than the real one in tests).
std::unique_ptr<ForeignDriver> makeExcelDriver(FileSystem& fs = realFileSystem());

}  // namespace kevra
