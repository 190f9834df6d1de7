// Descent by the node entries (each the last entry below its child), then a
// walk over leaves by their sibling links.
#include "engine/index/index_cursor.h"

#include "engine/util/error.h"

namespace kevra {

IndexCursor::IndexCursor(const PageFile& file, const RealIndexDef& index, std::string name)
    : file_(file), root_(index.rootPage), name_(std::move(name)) {}

IndexPage IndexCursor::loadPage(uint32_t page) {
  if (page == 0 || page >= file_.pageCount())
    throw CorruptFileError("Corrupt file: " + name_ + " points to page " + std::to_string(page) +
                           ", which is not in the file.");
  ++pagesRead_;
  PageRef bytes = file_.read(page);
  return decodeIndexPage(file_.span(bytes), page, name_, file_.layout());
}

void IndexCursor::loadLeaf(uint32_t page) {
  IndexPage p = loadPage(page);
  if (!p.leaf)
    throw CorruptFileError("Corrupt file: the leaf links of " + name_ + " lead to node page " +
                           std::to_string(page) + ".");
  leaf_ = std::move(p);
  leafNumber_ = page;
}

void IndexCursor::seek(ByteSpan bound) {
  uint32_t pageNumber = root_;
  IndexPage page = loadPage(pageNumber);
  for (size_t depth = 0; !page.leaf; ++depth) {
    if (depth >= kMaxIndexDepth)
      throw CorruptFileError("Corrupt file: " + name_ + " is deeper than " + std::to_string(kMaxIndexDepth) +
                             " levels.");
    // The first child whose last entry is not below the bound holds it.
    size_t lo = 0, hi = page.size();
    while (lo < hi) {
      size_t mid = (lo + hi) / 2;
      if (entryBelowKey(IndexPage::withoutChild(page.entry(mid)), bound))
        lo = mid + 1;
      else
        hi = mid;
    }
    if (lo < page.size())
      pageNumber = IndexPage::childOf(page.entry(lo));
    else if (page.tailPage)
      pageNumber = page.tailPage;
    else
      pageNumber = IndexPage::childOf(page.back());
    page = loadPage(pageNumber);
  }
  leaf_ = std::move(page);
  leafNumber_ = pageNumber;
  at_ = leaf_.lowerBoundKey(bound);
}

void IndexCursor::seekFirst() { seek({}); }

void IndexCursor::seekLast() {
  uint32_t pageNumber = root_;
  IndexPage page = loadPage(pageNumber);
  for (size_t depth = 0; !page.leaf; ++depth) {
    if (depth >= kMaxIndexDepth)
      throw CorruptFileError("Corrupt file: " + name_ + " is deeper than " + std::to_string(kMaxIndexDepth) +
                             " levels.");
    pageNumber = page.tailPage ? page.tailPage : IndexPage::childOf(page.back());
    page = loadPage(pageNumber);
  }
  leaf_ = std::move(page);
  leafNumber_ = pageNumber;
  at_ = leaf_.size();
}

void IndexCursor::fill(ByteSpan e, IndexEntry& entry) {
  const size_t keyLength = e.size() - kRowPointerSize;
  entry.key.assign(e.begin(), e.begin() + ptrdiff_t(keyLength));
  entry.page = readEntryPointerPage(e.subspan(keyLength));
  entry.row = e.back();
}

bool IndexCursor::next(IndexEntry& entry) {
  if (leafNumber_ == 0) seekFirst();
  for (uint32_t hops = 0; at_ >= leaf_.size(); ++hops) {
    if (leaf_.nextPage == 0) return false;
    if (hops > file_.pageCount())
      throw CorruptFileError("Corrupt file: the leaf links of " + name_ + " form a loop.");
    loadLeaf(leaf_.nextPage);
    at_ = 0;
  }
  fill(leaf_.entry(at_++), entry);
  return true;
}

bool IndexCursor::previous(IndexEntry& entry) {
  if (leafNumber_ == 0) seekLast();
  for (uint32_t hops = 0; at_ == 0; ++hops) {
    if (leaf_.prevPage == 0) return false;
    if (hops > file_.pageCount())
      throw CorruptFileError("Corrupt file: the leaf links of " + name_ + " form a loop.");
    loadLeaf(leaf_.prevPage);
    at_ = leaf_.size();
  }
  fill(leaf_.entry(--at_), entry);
  return true;
}

Bytes prefixSuccessor(ByteSpan prefix) {
  Bytes out(prefix.begin(), prefix.end());
  while (!out.empty() && out.back() == 0xFF) out.pop_back();
  if (!out.empty()) ++out.back();
  return out;
}

}  // namespace kevra
