// Laying out new parts of a table definition and the pages behind them:
// column descriptors (numbers, variable slots, fixed offsets, flags), usage
// map rows, empty index roots, and giving pages and map rows back when a
// table, an index or a long-value column goes away. Works inside the
// caller's open transaction.
#pragma once
#include <cstdint>
#include <optional>

#include "engine/format/table_def.h"
#include "engine/storage/header.h"
#include "engine/storage/page_file.h"
#include "engine/table/schema_spec.h"

namespace kevra {

// The text sort order a file's new Text and Memo columns get: the
// database's own (header), General (1033) when the header names none.
struct TextCollation {
  uint16_t sortOrder = 0x0409;
  uint8_t version = 0;
};
TextCollation collationOf(const DatabaseHeader& header);

// Appends a column for `spec` to `table`: the next column number, the next
// variable slot (variable columns) or the end of the fixed area (fixed
// columns), the flags Access writes, text in `collation`. Long-value maps
// are not made here.
ColumnDef& appendColumn(TableDef& table, const ColumnSpec& spec, TextCollation collation = {});

// The descriptor fields of `spec` (type, length, flags, text collation) on
// an existing column, keeping its number and name; the caller places it.
void applyColumnType(ColumnDef& column, const ColumnSpec& spec, TextCollation collation = {});

// Lays `table` out as a new definition of the same fields, in the same
// order, would be: column numbers 0, 1, ..., variable slots 0, 1, ... in
// column order, fixed fields packed from offset 0 (Yes/No fields at 0,
// taking no room), the column and variable-slot counts those of the fields
// alone; index fields and long-value maps follow the new numbers. Rows
// stored under the old layout must all be written anew with it.
void layOutAfresh(TableDef& table);

// Index flags for a spec: unique 0x01, ignore nulls 0x02, required 0x08,
// and 0x80, which Access 2000 and later always set. A primary key is 0x89.
uint8_t indexFlags(const IndexSpec& spec);

// Hands out rows for new usage maps (inline, empty, 64 bitmap bytes) on a
// map page with room — `hint`, when it is such a page, else the page last
// used — starting a new page when there is none. `lastPage` is where the
// caller keeps the page last used between allocators (it is updated).
class MapRowAllocator {
 public:
  MapRowAllocator(PageFile& file, uint32_t& lastPage, uint32_t hint = 0);
  uint32_t newMap();

 private:
  bool usable(uint32_t page, size_t rowLength) const;
  PageFile& file_;
  uint32_t& lastPage_;
  uint32_t hint_;
};

// A new empty leaf page as the root of an index of `tdefPage`, recorded in
// the index's map `mapPointer`.
uint32_t newIndexRoot(PageFile& file, uint32_t tdefPage, uint32_t mapPointer);

// Makes the index whose root is `rootPage` empty again: every other page of
// its map is released, the root becomes an empty leaf.
void emptyIndex(PageFile& file, uint32_t tdefPage, const RealIndexDef& index);

// Releases every page listed in the map at `mapPointer` to the global map.
void releaseMappedPages(PageFile& file, uint32_t mapPointer);

// Deletes the map row at `mapPointer`; its page is released when it holds
// no live row any more.
void deleteMapRow(PageFile& file, uint32_t mapPointer);

}  // namespace kevra
