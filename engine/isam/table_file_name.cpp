// Table names become file names only after checking they stay in the folder.
#include "engine/isam/table_file_name.h"

#include "engine/isam/folder_files.h"
#include "engine/util/error.h"

namespace kevra {

std::string tableFilePath(const std::string& folder, const std::string& table, const std::string& extension) {
  if (table.empty() || table == "." || table == ".." || table.find('/') != std::string::npos ||
      table.find('\0') != std::string::npos)
    throw EngineError("'" + table + "' cannot be the name of a ." + extension + " file.");
  return joinPath(folder, table + "." + extension);
}

std::string existingTableFile(const std::string& folder, const std::string& table, const std::string& extension) {
  tableFilePath(folder, table, extension);
  if (auto found = findFileIgnoringCase(folder, table + "." + extension)) return *found;
  throw EngineError("The table '" + table + "' was not found: there is no file '" + table + "." + extension +
                    "' in '" + folder + "'.");
}

}  // namespace kevra
