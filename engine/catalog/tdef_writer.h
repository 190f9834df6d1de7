// Writing a table definition: TableDef to the TDEF buffer (the inverse of
// tdef_reader.h) and that buffer onto its chain of pages.
#pragma once
#include <cstdint>

#include "engine/format/table_def.h"
#include "engine/storage/page_file.h"
#include "engine/util/bytes.h"

namespace kevra {

// The logical TDEF buffer of `table` (columns in column-number order, logical
// indexes in stored order), with page header bytes 0..7 left for the pages.
Bytes encodeTableDef(const TableDef& table);

// Writes `table` at table.tdefPage inside the open transaction, reusing the
// pages of its current chain (when `rewrite`), adding pages when it grew and
// releasing those it no longer needs. The first page never changes: it is the
// table's identity.
void writeTableDef(PageFile& file, const TableDef& table, bool rewrite);

}  // namespace kevra
