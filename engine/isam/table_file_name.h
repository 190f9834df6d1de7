// The file name a folder-shaped data source gives a table, with names that
// would leave the folder refused.
#pragma once
#include <string>

namespace kevra {

// `folder/table.extension`; EngineError for an empty table name or one with
// a '/' or NUL, or "." / "..".
std::string tableFilePath(const std::string& folder, const std::string& table, const std::string& extension);

// The existing file of `table` in `folder` (letter case ignored); EngineError
// naming the table and folder when there is none.
std::string existingTableFile(const std::string& folder, const std::string& table, const std::string& extension);

}  // namespace kevra
