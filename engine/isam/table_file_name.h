// The file name a folder-shaped data source gives a table, with names that
// would leave the folder refused. One rule for every driver that turns a
// table name into a file name (dBase, Paradox, text with its Schema.ini
// section, HTML, and the workbook an export names after its table): the name
// is not empty, not "." or "..", and holds no '/', no control character
// (NUL included) and no '[' or ']' (which would break a Schema.ini section).
#pragma once
#include <string>

namespace kevra {

// Throws EngineError naming the table when the rule refuses `table` as the
// name of a `.extension` file.
void checkTableFileName(const std::string& table, const std::string& extension);

// `table` with every character the rule refuses replaced by '_', for an
// export that names its file after a table (Access allows '/' in names).
std::string fileNameSafeTableName(const std::string& table);

// `folder/table.extension` once checkTableFileName accepts the name.
std::string tableFilePath(const std::string& folder, const std::string& table, const std::string& extension);

// The existing file of `table` in `folder` (letter case ignored); EngineError
// naming the table and folder when there is none.
std::string existingTableFile(const std::string& folder, const std::string& table, const std::string& extension);

}  // namespace kevra
