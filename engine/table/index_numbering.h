// The order Access gives a table's index definitions: the logical indexes
// that are not a relationship's (normal indexes and the primary key) are
// numbered 0, 1, ... and number i uses real index i; the relationship
// indexes (a foreign key and the referenced side's ".rX") take the numbers
// after those, and real indexes only they use come after the others. Some
// readers (mdbtools) rely on it: they pair logical number i with real
// index i.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/format/table_def.h"

namespace kevra {

struct IndexRenumbering {
  uint32_t from = 0;
  uint32_t to = 0;
};

// Renumbers the logical indexes of `def` and orders its real indexes so;
// the order of the logical definitions (by name) and their order among
// themselves (by number) stay. References between relationship indexes of
// the same table follow. Returns the relationship indexes whose number
// changed: the other table of each must be told (repointReferences).
std::vector<IndexRenumbering> arrangeIndexes(TableDef& def);

// Points the relationship indexes of `other` that refer to table
// `tdefPage`'s renumbered indexes at their new numbers; true when any changed.
bool repointReferences(TableDef& other, uint32_t tdefPage, const std::vector<IndexRenumbering>& moves);

}  // namespace kevra
