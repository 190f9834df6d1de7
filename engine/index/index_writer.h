// IndexWriter: adds and removes single entries (key + row location) in one
// real index, inside the caller's open transaction. Full pages split (new
// pages to the right of the old one, sibling links kept; each part must fit
// with its own shared prefix); when the root splits its contents move to new
// pages and it becomes a node, so the root page number never changes. Node entries always equal the last entry
// below their child; the right-most child of a node is its tail and has no
// entry. Pages store the prefix their entries share once. New pages come from
// PageAllocator and are recorded in the index's usage map; pages emptied by
// removals are unlinked and released, and a page that shrinks to a quarter
// is merged with its neighbour when both fit on one page.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/index/index_page.h"
#include "engine/storage/page_file.h"

namespace kevra {

// Longest key an index entry may carry (keeps every split possible).
constexpr size_t kMaxIndexKeySize = 1024;

class IndexWriter {
 public:
  // `name` names the index in messages ("index 'PrimaryKey' of table 'T'").
  IndexWriter(PageFile& file, const TableDef& table, const RealIndexDef& index, std::string name);
  IndexWriter(IndexWriter&&) = default;
  // Flushes what is still pending while the transaction is open.
  ~IndexWriter();

  // Adds the entry for the row at `location` (page << 8 | row). Throws
  // EngineError when the key is too long or the exact entry already exists.
  void insert(ByteSpan key, uint32_t location);
  // Removes that entry; false when the index does not hold it.
  bool remove(ByteSpan key, uint32_t location);
  // Whether some row other than `ignoreLocation` has an entry with this key.
  bool containsKey(ByteSpan key, std::optional<uint32_t> ignoreLocation = std::nullopt) const;
  // Calls `visit` with each entry (key and row pointer) that starts with
  // `prefix`, in key order, until it returns false; reads through the pages
  // this writer holds, so it sees its own changes.
  void visitPrefix(ByteSpan prefix, const std::function<bool(ByteSpan entry)>& visit) const;
  // Pages are kept decoded between changes; flush() writes the changed ones
  // into the transaction. Call it before the transaction commits.
  // With `evict`, the decoded pages are also dropped (memory stays bounded).
  void flush(bool evict = false);
  size_t cachedPages() const { return cache_.size(); }

 private:
  struct Outcome;
  Outcome insertBelow(uint32_t page, const Bytes& entry, size_t depth);
  Outcome removeBelow(uint32_t page, const Bytes& entry, size_t depth, bool& found);
  Outcome finishNode(uint32_t pageNumber, IndexPage& node, size_t child, Outcome below, bool isRoot, bool removing);
  Outcome finishPage(uint32_t pageNumber, IndexPage& page, bool isRoot, Outcome result);
  bool mergeChildren(IndexPage& node, size_t child);
  IndexPage load(uint32_t page) const;
  // The leaf a search for `target` ends on (cached, not copied).
  const IndexPage& leafFor(const Bytes& target) const;
  // The cached page itself, to change in place (inserts only: nothing they
  // do removes pages from the cache).
  IndexPage& loadForChange(uint32_t page);
  void store(uint32_t page, const IndexPage& content);
  uint32_t newPage();
  void releasePage(uint32_t page);
  void setSiblingLink(uint32_t page, bool previous, uint32_t value);
  // Where a page too full for one page is cut (each part fits); `appending`:
  // the change added the last entry of the level.
  std::vector<size_t> chooseCuts(const IndexPage& page, bool appending) const;
  // The child of `node` that holds `target`: an entry (key + row pointer),
  // or with `keyOnly` a key or the start of keys.
  static size_t childFor(const IndexPage& node, const Bytes& target, bool keyOnly);

  PageFile& file_;
  const TableDef& table_;
  const RealIndexDef& index_;
  std::string name_;
  mutable std::unordered_map<uint32_t, IndexPage> cache_;  // decoded pages of this transaction
  std::unordered_set<uint32_t> dirty_;                      // pages changed since the last flush
};

}  // namespace kevra
