// The HTML driver ("HTML Import", "HTML Export"). Reading: the data source is
// one page; its tables are named by their captions (a lone uncaptioned table
// by the page title, others Table1, Table2...). A table asked for by a name
// no table has is the page's first table. Field names come from a row of
// <th> cells (or a <thead> row), else from a first row of texts above columns
// of other kinds, else F1, F2...; types are guessed from the cells like the
// text driver's. Writing: the data source is a folder; table "T.html" becomes
// the UTF-8 page T.html with one table captioned T.
#pragma once
#include <memory>

#include "engine/isam/foreign_driver.h"
#include "engine/storage/file_system.h"

namespace kevra {

// Files go through `fs` (another file system than the real one in tests).
std::unique_ptr<ForeignDriver> makeHtmlDriver(FileSystem& fs = realFileSystem());

}  // namespace kevra
