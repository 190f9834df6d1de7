// Column defaults: the DefaultValue property of each field, and the value it
// gives a new row. The row writer fills fields a new row leaves out with
// them; the window shows them in a new row before anything is typed.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/format/value.h"

namespace kevra {

class Database;

// The DefaultValue text of each column of `table`, in column order (nullopt
// for a column without one).
std::vector<std::optional<std::string>> columnDefaultTexts(const Database& db, const TableDef& table);

// The value a default expression gives `column` now ("=Now()", "0",
// "\"text\""), converted to the column's type; NULL when it is not a
// constant the engine can evaluate.
Value evaluateColumnDefault(const std::string& text, const ColumnDef& column);

}  // namespace kevra
