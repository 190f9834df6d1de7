// What a new, empty Jet 4 database holds, as values: the definitions of the
// four Jet system tables (MSysObjects, MSysACEs, MSysQueries,
// MSysRelationships), the eight catalog rows (the three containers, the
// database object MSysDb and the four tables) and the sixteen access-control
// rows Jet gives a new file. Where the rows and maps go on the pages is
// new_database_image's business; the definitions here carry no page numbers.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/catalog/catalog_object.h"
#include "engine/format/table_def.h"
#include "engine/format/value.h"

namespace kevra {

// The creation date a new file's header carries and the 2-byte mask that the
// security identifiers stored in that file are XOR-ed with. The two belong
// together (Jet derives the mask from the date in a way not known), so a
// new file uses one pair observed in a file Jet created.
struct SidMaskPair {
  double createdSerial;
  uint8_t mask[2];
};
const SidMaskPair& newDatabaseSidMask();

// Built-in accounts, as their 2-byte identifiers before masking.
enum class BuiltInAccount { Engine, Admin, Users, Creator };
// The identifier of `account` as a file with `mask` stores it.
Binary maskedSid(BuiltInAccount account, const uint8_t mask[2]);

struct NewSystemTable {
  TableDef def;                          // columns by number; logical indexes in stored order; no page numbers yet
  std::vector<std::vector<Value>> rows;  // one value per column, in column-number order
};

// The four system tables in TDEF page order, with their rows. `tdefPages`
// gives the TDEF page each table will get, in the same order: a table's
// catalog id is its TDEF page. `created` is the creation time the catalog
// rows carry; `mask` the SID mask of the file.
std::vector<NewSystemTable> newSystemTables(const uint32_t (&tdefPages)[4], DateTime created, const uint8_t mask[2]);

}  // namespace kevra
