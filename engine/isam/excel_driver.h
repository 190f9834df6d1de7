// Excel 97-2003 workbooks: the data source is the .xls file; its tables are
// the worksheets (under their sheet names, a trailing '$' accepted) and the
// workbook's named ranges. Export writes a new workbook with one sheet.
#pragma once
#include <memory>

#include "engine/isam/foreign_driver.h"

namespace kevra {

std::unique_ptr<ForeignDriver> makeExcelDriver();

}  // namespace kevra
