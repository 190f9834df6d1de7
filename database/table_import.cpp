// Opens each source table through the connection's driver, or its database.
#include "database/table_import.h"

#include "database/connection.h"
#include "engine/isam/access_driver.h"
#include "engine/isam/table_import.h"

namespace kevra::db {

ImportOutcome importTables(const Connection& source, const std::vector<TableToImport>& tables,
                           const std::string& targetPath, const std::function<void(long rows)>& progress) {
  kevra::SourceTableOpener open;
  if (kevra::ForeignDriver* driver = source.foreignDriver()) {
    open = [driver, place = source.foreignSource()](const std::string& table) { return driver->openTable(place, table); };
  } else {
    open = [db = source.engine()](const std::string& table) { return kevra::makeAccessTableReader(db, table); };
  }
  std::vector<kevra::TableToImport> chosen;
  for (const TableToImport& t : tables) chosen.push_back({t.source, t.target});
  kevra::TableImportResult copied = kevra::importTables(chosen, open, targetPath, progress);
  ImportOutcome outcome;
  for (auto& t : copied.tables) outcome.tables.push_back({t.source, t.table, t.rows});
  outcome.warnings = std::move(copied.warnings);
  return outcome;
}

}  // namespace kevra::db
