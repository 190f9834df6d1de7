// Cascade preview: what deleting one row, or changing its values, would do
// to the rows of other tables through enforced relationships that cascade,
// counted before anything is written, so the user can be told first. Reads
// only. A change the relationships refuse throws the refusal the write
// itself would give.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/format/value.h"

namespace kevra {

class Database;

struct CascadeEffect {
  std::string table;   // the related table, as the catalog names it
  size_t deleted = 0;  // rows the cascade would delete there
  size_t changed = 0;  // rows whose foreign key it would change
};

// For the row at `location` of `table` deleted (`newRow` null) or rewritten
// with `*newRow`: one entry per table reached, in the order first reached,
// cascades of cascades included. Empty when nothing cascades.
std::vector<CascadeEffect> previewCascade(Database& db, const std::shared_ptr<const TableDef>& table,
                                          uint32_t location, const std::vector<Value>* newRow);

}  // namespace kevra
