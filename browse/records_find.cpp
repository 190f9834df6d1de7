// Chunked search over the records dataset.
#include "browse/records_find.h"

#include <vector>

#include "browse/records_values.h"
#include "database/recordset.h"

namespace kevra::browse {

namespace {

constexpr long kChunkRows = 512;

bool rowMatches(const std::vector<kevra::Value>& row, const std::vector<int>& types, const FindRequest& request) {
  for (size_t field = 0; field < row.size(); ++field) {
    if (request.column >= 0 && int(field) != request.column) continue;
    if (displayText(row[field], types[field]).contains(request.text, Qt::CaseInsensitive)) return true;
  }
  return false;
}

}  // namespace

long findRow(const kevra::db::Recordset& rows, long from, long total, const FindRequest& request) {
  if (request.text.isEmpty()) return -1;
  std::vector<int> types;
  for (int field = 0; field < rows.fieldCount(); ++field) types.push_back(rows.fieldType(field));
  std::vector<std::vector<kevra::Value>> chunk;

  if (request.forward) {
    // From the row after `from` to the end, then from the top up to `from`.
    for (long start = from + 1;; start += kChunkRows) {
      const long read = rows.fetch(start, kChunkRows, chunk);
      for (long i = 0; i < read; ++i)
        if (rowMatches(chunk[size_t(i)], types, request)) return start + i;
      if (read < kChunkRows) break;
    }
    for (long start = 0; start <= from; start += kChunkRows) {
      const long read = rows.fetch(start, std::min(kChunkRows, from + 1 - start), chunk);
      for (long i = 0; i < read; ++i)
        if (rowMatches(chunk[size_t(i)], types, request)) return start + i;
      if (read <= 0) break;
    }
    return -1;
  }
  // Back from the row before `from` to the top, then from the end down to it.
  const auto searchBack = [&](long last, long first) -> long {
    for (long end = last + 1; end > first;) {
      const long start = std::max(first, end - kChunkRows);
      const long read = rows.fetch(start, end - start, chunk);
      for (long i = read - 1; i >= 0; --i)
        if (rowMatches(chunk[size_t(i)], types, request)) return start + i;
      end = start;
    }
    return -1;
  };
  if (const long found = searchBack(from - 1, 0); found >= 0) return found;
  const long count = total >= 0 ? total : rows.recordCount();
  return searchBack(count - 1, std::max(0L, from));
}

}  // namespace kevra::browse
