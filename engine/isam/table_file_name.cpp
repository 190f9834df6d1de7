// Table names become file names only after checking they stay in the folder.
#include "engine/isam/table_file_name.h"

#include "engine/isam/folder_files.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

bool refusedInFileName(unsigned char c) { return c < 0x20 || c == 0x7F || c == '/' || c == '[' || c == ']'; }

}  // namespace

void checkTableFileName(const std::string& table, const std::string& extension) {
  bool refused = table.empty() || table == "." || table == "..";
  for (unsigned char c : table) refused = refused || refusedInFileName(c);
  if (refused)
    throw EngineError("The table name '" + table + "' cannot name a ." + extension +
                      " file: such names cannot be empty, '.' or '..', nor hold '/', '[', ']' or control characters.");
}

std::string fileNameSafeTableName(const std::string& table) {
  std::string out = table;
  for (char& c : out)
    if (refusedInFileName(static_cast<unsigned char>(c))) c = '_';
  return out;
}

std::string tableFilePath(const std::string& folder, const std::string& table, const std::string& extension) {
  checkTableFileName(table, extension);
  return joinPath(folder, table + "." + extension);
}

std::string existingTableFile(const std::string& folder, const std::string& table, const std::string& extension) {
  tableFilePath(folder, table, extension);
  if (auto found = findFileIgnoringCase(folder, table + "." + extension)) return *found;
  throw EngineError("The table '" + table + "' was not found: there is no file '" + table + "." + extension +
                    "' in '" + folder + "'.");
}

}  // namespace kevra
