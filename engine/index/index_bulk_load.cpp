// Pages are filled to their entry space (with the shared prefix stored once,
// as pages are encoded); siblings of a level are linked; a node has an entry
// for each child but its last, which is its tail.
#include "engine/index/index_bulk_load.h"

#include <algorithm>

#include "engine/index/index_page.h"
#include "engine/storage/page_allocator.h"
#include "engine/storage/usage_map_editor.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

// What one page of a level holds, and what its parent needs of it.
struct Built {
  IndexPage page;
  uint32_t number = 0;
  Bytes lastEntry;  // the last leaf entry below it (key and row pointer)
};

// The bytes `entries[from, to)` take on a page, their shared prefix stored once.
class PageFill {
 public:
  bool fits(ByteSpan first, ByteSpan candidate, size_t count, size_t bytes) const {
    if (count < 2) return bytes <= kIndexEntrySpace;
    const size_t limit = std::min(first.size() - 1, candidate.size() - 1);
    size_t prefix = 0;
    while (prefix < limit && first[prefix] == candidate[prefix]) ++prefix;
    return bytes - (count - 1) * prefix <= kIndexEntrySpace;
  }
};

// Splits `entries` (each with the last leaf entry of its subtree and, for
// nodes, its child page) into pages of one level, left to right.
std::vector<Built> fillLevel(const std::vector<ByteSpan>& entries, const std::vector<ByteSpan>& lastEntries,
                             const std::vector<uint32_t>& children, bool leaf, uint32_t tdefPage) {
  std::vector<Built> pages;
  PageFill fill;
  size_t i = 0;
  while (i < entries.size()) {
    Built built;
    built.page.leaf = leaf;
    built.page.tdefPage = tdefPage;
    size_t bytes = 0, count = 0;
    const size_t start = i;
    if (leaf) {
      while (i < entries.size() && fill.fits(entries[start], entries[i], count + 1, bytes + entries[i].size())) {
        bytes += entries[i].size();
        ++count;
        ++i;
      }
      if (count == 0) throw EngineError("An index entry is too long for an index page.");
      for (size_t k = start; k < i; ++k) built.page.append(entries[k]);
      built.lastEntry.assign(entries[i - 1].begin(), entries[i - 1].end());
    } else {
      // Children [start, i): entries for all but the last, which is the tail.
      while (i + 1 < entries.size() &&
             fill.fits(entries[start], entries[i], count + 1, bytes + entries[i].size())) {
        bytes += entries[i].size();
        ++count;
        ++i;
      }
      for (size_t k = start; k < i; ++k) built.page.append(entries[k]);
      built.page.tailPage = children[i];
      built.lastEntry.assign(lastEntries[i].begin(), lastEntries[i].end());
      ++i;
    }
    pages.push_back(std::move(built));
  }
  return pages;
}

}  // namespace

void bulkLoadIndex(PageFile& file, uint32_t tdefPage, const RealIndexDef& index, const std::vector<ByteSpan>& entries) {
  if (entries.empty()) return;
  PageAllocator allocator(file);
  // Leaves come from the caller's entries; each level above is built from
  // the one below and owns its bytes.
  std::vector<ByteSpan> levelEntries = entries;
  std::vector<ByteSpan> lastEntries = entries;
  std::vector<Bytes> ownedEntries, ownedLast;
  std::vector<uint32_t> children;
  bool leaf = true;
  for (;;) {
    std::vector<Built> pages = fillLevel(levelEntries, lastEntries, children, leaf, tdefPage);
    if (pages.size() == 1) {
      encodeIndexPage(pages[0].page, file.modify(index.rootPage));
      return;
    }
    for (auto& built : pages) {
      built.number = allocator.allocate();
      usageMapAdd(file, index.usageMapPointer, built.number);
    }
    for (size_t k = 0; k < pages.size(); ++k) {
      pages[k].page.prevPage = k > 0 ? pages[k - 1].number : 0;
      pages[k].page.nextPage = k + 1 < pages.size() ? pages[k + 1].number : 0;
      encodeIndexPage(pages[k].page, file.modify(pages[k].number));
    }
    // The level above: one entry per page (its last leaf entry and its page
    // number); the last page becomes a tail.
    std::vector<Bytes> nextEntries, nextLast;
    children.clear();
    for (const auto& built : pages) {
      Bytes entry = built.lastEntry;
      appendBigEndian32(built.number, entry);
      nextEntries.push_back(std::move(entry));
      nextLast.push_back(built.lastEntry);
      children.push_back(built.number);
    }
    ownedEntries = std::move(nextEntries);
    ownedLast = std::move(nextLast);
    levelEntries.assign(ownedEntries.begin(), ownedEntries.end());
    lastEntries.assign(ownedLast.begin(), ownedLast.end());
    leaf = false;
    if (file.dirtyPages() > 4096) file.spill();
  }
}

}  // namespace kevra
