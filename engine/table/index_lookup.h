// IndexLookup: finding rows by the values of an index's leading columns,
// through the index instead of a scan. The rows it names may hold keys that
// merely share the sought key's start (text ignoring case and accents), so
// callers compare the rows they read.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/format/value.h"
#include "engine/util/bytes.h"

namespace kevra {

class PageFile;

// The real index of `table` whose first columns are the columns at
// `positions` (in table.columns), in that order; the shortest such index.
std::optional<size_t> findIndexLeadingWith(const TableDef& table, const std::vector<size_t>& positions);

// "index 'name' of table 'T'" (the primary key's name when shared).
std::string describeIndex(const TableDef& table, size_t realIndex);

// The bytes the keys of real index `realIndex` start with for rows whose
// leading columns hold `values` (one per leading column, in any type that
// converts exactly); `exact` when only such rows have keys starting so (no
// text among them). nullopt when some value has no exact key (a number with
// a fraction for a Long column, say): the caller then looks without the index.
struct IndexKeyPrefix {
  Bytes bytes;
  bool exact = true;
};
std::optional<IndexKeyPrefix> equalityPrefix(const TableDef& table, size_t realIndex, const std::vector<Value>& values);

// Calls `visit` with the location of every row whose key in real index
// `realIndex` may start with `values` (one per leading column, in any type
// that converts exactly), in key order, until it returns false. Returns
// false, visiting nothing, when some value has no exact key (a number with a
// fraction for a Long column, say): the caller then looks without the index.
bool visitIndexMatches(const PageFile& file, const TableDef& table, size_t realIndex,
                       const std::vector<Value>& values, const std::function<bool(uint32_t location)>& visit);

}  // namespace kevra
