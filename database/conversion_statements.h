// The texts that copy tables between a database and foreign files: how a
// chosen import file is reached (its kind by extension, the connection
// string, the source table's name) and the select-into statements of import
// and export. Paths use '/' as the separator.
#pragma once
#include <optional>
#include <string>

namespace kevra::db {

enum class ImportKind { Dbase, Html, Paradox, Text, Access, Excel };

struct ImportSource {
  ImportKind kind = ImportKind::Text;
  std::string connectionString;  // for the import connection
  std::string user;              // "admin" for Access and Excel, else empty
  std::string baseName;          // file name less folder and extension: the new table's name
  std::string sourceTable;       // single-table kinds: the table to copy
  bool choosesTables = false;    // Access and Excel: the user picks from the source's tables
};

// The source a chosen file stands for, recognised by the end of its name
// (any letter case); nullopt for any other file.
std::optional<ImportSource> importSourceFor(const std::string& fileName);

// select * into [table] in "targetPath" from [sourceTable]
std::string importStatement(const std::string& table, const std::string& sourceTable, const std::string& targetPath);

// The export statement for the format "dBase", "Excel", "HTML", "Paradox" or
// "Text" (exactly so); nullopt for any other text.
std::optional<std::string> exportStatement(const std::string& format, const std::string& table,
                                           const std::string& directory);

// The file an export makes (for messages and checks).
std::optional<std::string> exportedFileName(const std::string& format, const std::string& table,
                                            const std::string& directory);

}  // namespace kevra::db
