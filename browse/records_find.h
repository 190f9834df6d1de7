// Finding a value in the records grid's rows: reads the dataset a chunk of
// rows at a time from a position on, forward or back and round past the
// end, comparing what the cells show without regard to letter case. Only
// one chunk is held at a time, so a table of any size is searched in flat
// memory.
#pragma once
#include <QString>

namespace kevra::db {
class Recordset;
}

namespace kevra::browse {

struct FindRequest {
  QString text;      // found anywhere in a cell's text, any letter case
  int column = -1;   // the field searched; -1 for every field
  bool forward = true;
};

// The dataset position of the first row after `from` (before it, going back)
// that matches, wrapping round once; `from` itself is searched last. -1 when
// no row matches. `total` is the row count when known, else -1.
long findRow(const kevra::db::Recordset& rows, long from, long total, const FindRequest& request);

}  // namespace kevra::browse
