// Tables of another file copied into an Access database together, as the
// import commands do: every target name is made a legal name and checked
// against the database before anything is copied, and all the tables are
// created and filled in one transaction, so a failure (a name already taken,
// a row the database refuses, a source that cannot be read) leaves the
// database as it was.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/isam/foreign_copy.h"
#include "engine/isam/foreign_driver.h"

namespace kevra {

struct TableToImport {
  std::string source;  // the table's name in its file
  std::string target;  // the name wanted in the database, made legal if it is not
};

struct ImportedTable {
  std::string source;
  std::string table;  // the name it has in the database
  long rows = 0;
};

struct TableImportResult {
  std::vector<ImportedTable> tables;
  // Renamed tables and fields, and what the readers reported.
  std::vector<std::string> warnings;
};

// Opens a source table for reading; throws EngineError when it cannot.
using SourceTableOpener = std::function<std::unique_ptr<ForeignTableReader>(const std::string& source)>;

// Throws EngineError, with the database unchanged, when a target name is
// taken in the database or chosen twice, or when any copy fails.
TableImportResult importTables(const std::vector<TableToImport>& tables, const SourceTableOpener& open,
                               const std::string& targetPath, const CopyProgress& progress = {});

}  // namespace kevra
