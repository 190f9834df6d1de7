// The text driver ("Text"): a folder is the database and each .txt, .csv,
// .tab or .asc file in it a table named with '#' for the dot ("orders#csv").
// Reading follows the folder's Schema.ini section for the file when there is
// one, else a header row, commas, double quotes and types guessed from every
// row. Writing makes a UTF-8 CSV file with a header row and records its
// layout in Schema.ini, so reading it again gives the same types.
#pragma once
#include <memory>
#include <string>

#include "engine/isam/foreign_driver.h"
#include "engine/storage/file_system.h"

namespace kevra {

// Files go through `fs` (another file system than the real one in tests).
std::unique_ptr<ForeignDriver> makeTextDriver(FileSystem& fs = realFileSystem());

// "orders#csv" -> "orders.csv"; a name without '#' gets ".txt". Names the
// rule of table_file_name.h refuses throw EngineError.
std::string textFileNameForTable(const std::string& table);

}  // namespace kevra
