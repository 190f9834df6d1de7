// The counts a table definition keeps for the layout of its rows (the
// column-number count, the variable-slot count) and the fixed offsets,
// checked against its columns. Rows are written with as many columns and
// variable slots as these counts say, and readers that do not look at the
// column numbers (mdbtools, mdb-reader) take a row's fixed fields to be its
// column count less its variable count: a count that disagrees with the
// columns makes them lose values.
#pragma once
#include <string>
#include <vector>

#include "engine/format/table_def.h"

namespace kevra {

// One sentence per disagreement, each naming the table. `jetOwned`: a table
// Access keeps for itself, whose counts Access leaves inexact (seen: the
// import-specification tables of an Access 2010 file, fields turned variable
// while the counts kept the old layout); only the plain bounds hold there.
std::vector<std::string> layoutCountProblems(const TableDef& table, bool jetOwned);

}  // namespace kevra
