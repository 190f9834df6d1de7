// The import commands' copy: chosen tables of the source open on a
// connection (a foreign file, or another Access database) copied into an
// Access database all at once. Target names are made legal first (sheet
// "test.csv" becomes table "test_csv") and refused as a whole when one is
// taken; every table is created and filled in one transaction, so a failed
// import leaves the database as it was.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace kevra::db {

class Connection;

struct TableToImport {
  std::string source;  // the table's name in the source
  std::string target;  // the name wanted in the database
};

struct ImportedTable {
  std::string source;
  std::string table;  // its name in the database
  long rows = 0;
};

struct ImportOutcome {
  std::vector<ImportedTable> tables;
  std::vector<std::string> warnings;  // renamed tables and fields, and the like
};

// `progress` is told the rows copied so far, all tables together. Throws
// kevra::EngineError naming what failed.
ImportOutcome importTables(const Connection& source, const std::vector<TableToImport>& tables,
                           const std::string& targetPath, const std::function<void(long rows)>& progress = {});

}  // namespace kevra::db
