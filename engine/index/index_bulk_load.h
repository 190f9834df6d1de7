// Filling an empty index at once from entries already in order: leaves are
// packed left to right, then the node levels above them, and the top level
// is written into the index's root page, whose number never changes. Much
// faster than one insert per row for a new or rebuilt index.
#pragma once
#include <vector>

#include "engine/format/table_def.h"
#include "engine/storage/page_file.h"
#include "engine/util/bytes.h"

namespace kevra {

// `entries` are whole leaf entries (key and row pointer), sorted in entry
// order. The index must be empty (its root an empty leaf). New pages come
// from the page allocator and go into the index's usage map. Works inside the
// caller's open transaction.
void bulkLoadIndex(PageFile& file, uint32_t tdefPage, const RealIndexDef& index, const std::vector<ByteSpan>& entries);

}  // namespace kevra
