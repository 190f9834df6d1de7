// IndexBuilder: fills one new, empty index from the entries of every row,
// given in any order: they are sorted (within a memory budget, spilling to a
// scratch file beside the database past it), the index's rules are checked
// on them in order — a unique index holds no key twice, a required one no
// NULL — and the pages are written from them at once.
#pragma once
#include <cstdint>
#include <string>

#include "engine/format/table_def.h"
#include "engine/index/index_entry_sorter.h"
#include "engine/storage/page_file.h"
#include "engine/util/bytes.h"

namespace kevra {

class IndexBuilder {
 public:
  // `what` names the index in messages ("index 'ByName' of table 'People'"),
  // `fields` its fields ("'Name', 'City'").
  IndexBuilder(PageFile& file, uint32_t tdefPage, const RealIndexDef& index, std::string what, std::string fields,
               size_t memoryBudget);

  // The entry (key and row pointer) of one row; `anyNull`: a field of its
  // key is NULL. Rows an index that ignores NULLs leaves out are not given.
  void add(ByteSpan entry, bool anyNull);
  // A row whose key has a NULL, left out because the index ignores NULLs.
  void noteNullKey() { nullKey_ = true; }
  // Writes the index inside the caller's open transaction. Throws
  // EngineError naming index and fields when a required index would hold a
  // NULL or a unique one a key twice (the transaction then holds part of
  // the index: the caller rolls it back).
  void build();

 private:
  PageFile& file_;
  uint32_t tdefPage_;
  const RealIndexDef& index_;
  std::string what_, fields_;
  IndexEntrySorter sorter_;
  bool nullKey_ = false;
};

}  // namespace kevra
