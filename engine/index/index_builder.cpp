#include "engine/index/index_builder.h"

#include <algorithm>

#include "engine/index/index_bulk_load.h"
#include "engine/index/index_page.h"
#include "engine/util/error.h"

namespace kevra {

IndexBuilder::IndexBuilder(PageFile& file, uint32_t tdefPage, const RealIndexDef& index, std::string what,
                           std::string fields, size_t memoryBudget)
    : file_(file), tdefPage_(tdefPage), index_(index), what_(std::move(what)), fields_(std::move(fields)),
      sorter_(file.fileSystem(), file.path(), memoryBudget) {}

void IndexBuilder::add(ByteSpan entry, bool anyNull) {
  nullKey_ = nullKey_ || anyNull;
  sorter_.add(entry, anyNull);
}

void IndexBuilder::build() {
  // A repeated key is named before a missing value, so the pages are
  // written only when no NULL stands in the way.
  const bool missingValue = index_.required() && nullKey_;
  sorter_.finish();
  IndexBulkLoader loader(file_, tdefPage_, index_);
  // Keys equal but for the row pointer lie side by side once sorted.
  Bytes previous;
  bool previousAnyNull = true;
  ByteSpan entry;
  bool anyNull = false;
  while (sorter_.next(entry, anyNull)) {
    if (index_.unique() && !anyNull && !previousAnyNull && previous.size() == entry.size() &&
        std::equal(entry.begin(), entry.end() - kRowPointerSize, previous.begin()))
      throw EngineError("The value in field " + fields_ + " would duplicate a row in unique " + what_ + ".");
    if (index_.unique()) {
      previous.assign(entry.begin(), entry.end());
      previousAnyNull = anyNull;
    }
    if (!missingValue) loader.add(entry);
  }
  if (missingValue)
    throw EngineError("The field " + fields_ + " cannot be empty: " + what_ + " requires a value in every row.");
  loader.finish();
}

}  // namespace kevra
