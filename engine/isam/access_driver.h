// Another Access database as a foreign source or target (a connect string
// with no driver keyword). Its tables are the user tables; a table made in it
// by SELECT ... INTO is created and filled in one transaction that commits
// only in finish(), so a failed copy leaves the file as it was. Autonumber
// fields arrive as plain Long, as SELECT ... INTO always makes them.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/isam/foreign_driver.h"
#include "engine/table/schema_spec.h"

namespace kevra {

class Database;

std::unique_ptr<ForeignDriver> makeAccessDriver();

// The rows of `table` in an open database, with its fields' rules.
std::unique_ptr<ForeignTableReader> makeAccessTableReader(std::shared_ptr<Database> db, const std::string& table);

// The database at `path` opened for writing, shared with any connection of
// this process that has it open. Throws EngineError naming the file when it
// is missing, not a database, or read-only.
std::shared_ptr<Database> openTargetDatabase(const std::string& path);

// A new table `name` in `db` with `columns` (and their default value
// expressions, where given); rows go in with write(), finish() commits.
std::unique_ptr<ForeignTableWriter> makeAccessTableWriter(std::shared_ptr<Database> db, const std::string& name,
                                                          const std::vector<ColumnSpec>& columns,
                                                          const std::vector<std::optional<std::string>>& defaults);

// The column a result column becomes in an Access table.
ColumnSpec columnSpecFor(const ResultColumn& column);

}  // namespace kevra
