// Recursive insert and remove over an index B-tree. Each level reports to its
// parent what changed below it (a new last entry, a split, an emptied page),
// and the parent fixes its own entries, splitting in turn when they no longer
// fit.
#include "engine/index/index_writer.h"

#include <algorithm>
#include <cstdint>

#include "engine/index/index_reader.h"
#include "engine/storage/page_allocator.h"
#include "engine/storage/usage_map_editor.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

Bytes withChild(ByteSpan keyAndRow, uint32_t child) {
  Bytes e(keyAndRow.begin(), keyAndRow.end());
  appendBigEndian32(child, e);
  return e;
}

Bytes makeEntry(ByteSpan key, uint32_t location) {
  Bytes e(key.begin(), key.end());
  e.push_back(uint8_t(location >> 24));
  e.push_back(uint8_t(location >> 16));
  e.push_back(uint8_t(location >> 8));
  e.push_back(uint8_t(location));
  return e;
}

std::string locationText(uint32_t location) {
  return std::to_string(location >> 8) + ":" + std::to_string(location & 0xFF);
}

}  // namespace

// What a subtree reports to its parent after a change.
struct IndexWriter::Outcome {
  bool maxChanged = false;  // the subtree's last entry is now `max` (after a split: the last part's)
  Bytes max;                // key + row pointer
  // After a split the page keeps the first part and each further part is on
  // a new page: splits[i] names the last entry under the part before it and
  // the page of the part.
  struct Split {
    Bytes leftMax;
    uint32_t rightPage = 0;
  };
  std::vector<Split> splits;
  bool split() const { return !splits.empty(); }
  bool emptied = false;  // the page has nothing left (never the root); the parent releases it
  uint32_t prev = 0;     // siblings of the emptied page
  uint32_t next = 0;
  size_t bytesAfter = SIZE_MAX;  // entry bytes of the page when stored without a split
};

IndexWriter::IndexWriter(PageFile& file, const TableDef& table, const RealIndexDef& index, std::string name)
    : file_(file), table_(table), index_(index), name_(std::move(name)) {}

IndexPage IndexWriter::load(uint32_t page) const { return const_cast<IndexWriter*>(this)->loadForChange(page); }

IndexPage& IndexWriter::loadForChange(uint32_t page) {
  auto cached = cache_.find(page);
  if (cached != cache_.end()) return cached->second;
  if (page == 0 || page >= file_.pageCount())
    throw CorruptFileError("Corrupt file: " + name_ + " points to page " + std::to_string(page) +
                           ", which is not in the file.");
  PageRef bytes = file_.read(page);
  return cache_.emplace(page, decodeIndexPage(file_.span(bytes), page, name_, file_.layout())).first->second;
}

void IndexWriter::store(uint32_t page, const IndexPage& content) {
  IndexPage& slot = cache_[page];
  if (&slot != &content) slot = content;
  slot.tdefPage = table_.tdefPage;
  dirty_.insert(page);
}

IndexWriter::~IndexWriter() {
  try {
    if (!dirty_.empty() && file_.inTransaction()) flush();
  } catch (...) {
    // The commit that follows fails on its own when pages are missing.
  }
}

void IndexWriter::flush(bool evict) {
  for (uint32_t page : dirty_) encodeIndexPage(cache_.at(page), file_.modify(page));
  dirty_.clear();
  if (evict) cache_.clear();
}

uint32_t IndexWriter::newPage() {
  if (index_.usageMapPointer == 0)
    throw CorruptFileError("Corrupt file: " + name_ + " has no usage map to record a new page in.");
  uint32_t page = PageAllocator(file_).allocate();
  usageMapAdd(file_, index_.usageMapPointer, page);
  return page;
}

void IndexWriter::releasePage(uint32_t page) {
  cache_.erase(page);
  dirty_.erase(page);
  usageMapRemove(file_, index_.usageMapPointer, page);
  PageAllocator(file_).release(page);
}

void IndexWriter::setSiblingLink(uint32_t page, bool previous, uint32_t value) {
  if (auto cached = cache_.find(page); cached != cache_.end()) {
    (previous ? cached->second.prevPage : cached->second.nextPage) = value;
    dirty_.insert(page);
    return;
  }
  if (page >= file_.pageCount())
    throw CorruptFileError("Corrupt file: " + name_ + " links to page " + std::to_string(page) +
                           ", which is not in the file.");
  uint8_t* bytes = file_.modify(page);
  if (bytes[0] != 0x03 && bytes[0] != 0x04)
    throw CorruptFileError("Corrupt file: " + name_ + " links to page " + std::to_string(page) +
                           ", which is not an index page.");
  uint8_t* field = bytes + (previous ? 12 : 16);
  for (int i = 0; i < 4; ++i) field[i] = uint8_t(value >> (8 * i));
}

size_t IndexWriter::childFor(const IndexPage& node, const Bytes& target, bool keyOnly) {
  // Node entries are sorted, so the first one not below `target` is found by bisection.
  size_t lo = 0, hi = node.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    const ByteSpan e = IndexPage::withoutChild(node.entry(mid));
    if (keyOnly ? entryBelowKey(e, target) : entryLess(e, target))
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo == node.size() && node.tailPage == 0) return node.size() - 1;  // decodeIndexPage guarantees an entry then
  return lo;
}

namespace {

// Bytes part [first, last) of a page being split takes: a node page's part
// gives its last entry to the level above (its child becomes the part's
// tail), unless it is the page's last part, which keeps the page's tail.
size_t partBytes(const IndexPage& page, size_t first, size_t last, bool lastPart) {
  if (page.leaf || lastPart) return page.storedBytes(first, last);
  return page.storedBytes(first, last - 1);
}

bool fits(const IndexPage& page, size_t first, size_t last, bool lastPart) {
  return partBytes(page, first, last, lastPart) <= kIndexEntrySpace;
}

}  // namespace

std::vector<size_t> IndexWriter::chooseCuts(const IndexPage& page, bool appending) const {
  const size_t n = page.size();
  // Every part holds an entry; a node's last part may hold only the tail.
  const size_t lowest = 1, highest = page.leaf || page.tailPage == 0 ? n - 1 : n;
  if (highest < lowest) throw EngineError("Internal error: a page of " + name_ + " has too few entries to split.");
  // Appends at the right edge of a level move only the newest entry (pages
  // fill up under ascending inserts); otherwise the bytes are split in half.
  size_t m;
  if (appending) {
    m = highest;
  } else {
    size_t total = page.entryBytes(), sum = 0;
    m = 0;
    while (m < n && sum + page.entry(m).size() / 2 < total / 2) sum += page.entry(m++).size();
    m = std::clamp(m, lowest, highest);
  }
  if (fits(page, 0, m, false) && fits(page, m, n, true)) return {m};
  // Halves of equal entry bytes need not fit: a run of entries that share a
  // long prefix takes little room together but much beside an entry that
  // breaks the prefix. The cut where both parts fit and the fuller one is
  // least full, then.
  size_t best = 0, bestBytes = SIZE_MAX;
  for (size_t cut = lowest; cut <= highest; ++cut) {
    const size_t fuller = std::max(partBytes(page, 0, cut, false), partBytes(page, cut, n, true));
    if (fuller <= kIndexEntrySpace && fuller < bestBytes) {
      best = cut;
      bestBytes = fuller;
    }
  }
  if (best) return {best};
  // Should no two parts fit, parts as full as they go, left to right,
  // which gives the fewest.
  std::vector<size_t> cuts;
  size_t first = 0;
  while (!fits(page, first, n, true)) {
    size_t last = first + 1;
    while (last < highest && fits(page, first, last + 1, false)) ++last;
    if (last > highest || !fits(page, first, last, false))
      throw EngineError("Internal error: the entries of a page of " + name_ + " cannot be split to fit.");
    cuts.push_back(last);
    first = last;
  }
  return cuts;
}

IndexWriter::Outcome IndexWriter::finishPage(uint32_t pageNumber, IndexPage& page, bool isRoot, Outcome result) {
  if (page.entryBytes() <= kIndexEntrySpace || page.storedBytes() <= kIndexEntrySpace) {
    store(pageNumber, page);
    result.bytesAfter = page.entryBytes() <= kIndexEntrySpace ? page.entryBytes() : page.storedBytes();
    return result;
  }
  const size_t n = page.size();
  const std::vector<size_t> cuts = chooseCuts(page, result.maxChanged && page.nextPage == 0);
  std::vector<IndexPage> parts;
  std::vector<Bytes> maxima;  // the last entry under each part but the last
  size_t first = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    const size_t last = i < cuts.size() ? cuts[i] : n;
    IndexPage part = page;
    part.prevPage = part.nextPage = 0;
    if (i == cuts.size()) {
      part.keepRange(first, n);
    } else if (page.leaf) {
      part.keepRange(first, last);
      maxima.emplace_back(part.back().begin(), part.back().end());
    } else {
      // The part's last child becomes its tail; its entry moves up.
      ByteSpan up = IndexPage::withoutChild(page.entry(last - 1));
      maxima.emplace_back(up.begin(), up.end());
      part.tailPage = IndexPage::childOf(page.entry(last - 1));
      part.keepRange(first, last - 1);
    }
    parts.push_back(std::move(part));
    first = last;
  }

  // Page numbers of the parts: the root's move to new pages; otherwise the
  // page keeps the first part.
  std::vector<uint32_t> numbers;
  for (size_t i = 0; i < parts.size(); ++i) numbers.push_back(i == 0 && !isRoot ? pageNumber : newPage());
  for (size_t i = 0; i < parts.size(); ++i) {
    parts[i].prevPage = i > 0 ? numbers[i - 1] : isRoot ? 0 : page.prevPage;
    parts[i].nextPage = i + 1 < parts.size() ? numbers[i + 1] : isRoot ? 0 : page.nextPage;
  }
  if (!isRoot && page.nextPage) setSiblingLink(page.nextPage, true, numbers.back());
  for (size_t i = 0; i < parts.size(); ++i) store(numbers[i], parts[i]);
  if (isRoot) {
    IndexPage root;
    root.leaf = false;
    for (size_t i = 0; i + 1 < parts.size(); ++i) root.append(withChild(maxima[i], numbers[i]));
    root.tailPage = numbers.back();
    store(pageNumber, root);
    return result;
  }
  for (size_t i = 0; i + 1 < parts.size(); ++i) result.splits.push_back({std::move(maxima[i]), numbers[i + 1]});
  return result;
}

IndexWriter::Outcome IndexWriter::finishNode(uint32_t pageNumber, IndexPage& node, size_t c, Outcome below,
                                             bool isRoot, bool removing) {
  Outcome result;
  const bool isTail = c >= node.size();
  const uint32_t child = isTail ? node.tailPage : IndexPage::childOf(node.entry(c));
  bool changed = false;
  if (below.emptied) {
    changed = true;
    releasePage(child);
    if (below.prev) setSiblingLink(below.prev, false, below.next);
    if (below.next) setSiblingLink(below.next, true, below.prev);
    if (!isTail) {
      node.erase(c);
    } else if (!node.empty()) {
      // The last entry child takes over as the tail; its entry goes away.
      ByteSpan back = node.back();
      Bytes last(back.begin(), back.end());
      node.erase(node.size() - 1);
      node.tailPage = IndexPage::childOf(last);
      ByteSpan max = IndexPage::withoutChild(last);
      result.maxChanged = true;
      result.max.assign(max.begin(), max.end());
    } else if (!isRoot) {
      result.emptied = true;
      result.prev = node.prevPage;
      result.next = node.nextPage;
      return result;
    } else {
      node = IndexPage{};  // an empty index: the root is an empty leaf again
    }
  } else if (below.split() || below.maxChanged) {
    changed = true;
    // The child's parts in order: the child itself, then the new pages.
    const auto partPage = [&](size_t i) { return i == 0 ? child : below.splits[i - 1].rightPage; };
    const size_t lastPart = below.splits.size();
    if (!isTail) {
      ByteSpan oldMax = IndexPage::withoutChild(node.entry(c));
      Bytes max = below.maxChanged ? below.max : Bytes(oldMax.begin(), oldMax.end());
      node.replace(c, withChild(max, partPage(lastPart)));
      for (size_t i = lastPart; i-- > 0;) node.insert(c, withChild(below.splits[i].leftMax, partPage(i)));
    } else {
      if (below.split()) {
        for (size_t i = 0; i < lastPart; ++i) node.append(withChild(below.splits[i].leftMax, partPage(i)));
        node.tailPage = partPage(lastPart);
      }
      result.maxChanged = below.maxChanged;
      result.max = std::move(below.max);
    }
  }
  // A child that shrank to little is merged with a neighbour when both fit.
  if (removing && !below.emptied && !below.split() && below.bytesAfter < kIndexEntrySpace / 4 &&
      mergeChildren(node, c))
    changed = true;
  if (isRoot && !node.leaf && node.empty()) {
    // A root left with a single child takes that child's contents.
    uint32_t only = node.tailPage;
    node = load(only);
    node.prevPage = node.nextPage = 0;
    releasePage(only);
    changed = true;
  }
  if (!changed) return result;
  return finishPage(pageNumber, node, isRoot, result);
}

bool IndexWriter::mergeChildren(IndexPage& node, size_t c) {
  const size_t n = node.size();
  if (n == 0) return false;  // a single (tail) child has no neighbour
  // Entry `li` is the left page; the right one is entry li + 1 or the tail.
  const size_t li = c < n ? c : n - 1;
  const bool rightIsTail = li + 1 >= n;
  const uint32_t leftNumber = IndexPage::childOf(node.entry(li));
  const uint32_t rightNumber = rightIsTail ? node.tailPage : IndexPage::childOf(node.entry(li + 1));
  if (rightNumber == 0) return false;
  IndexPage left = load(leftNumber);
  IndexPage right = load(rightNumber);
  if (left.leaf != right.leaf) return false;
  ByteSpan leftMax = IndexPage::withoutChild(node.entry(li));
  size_t extra = left.leaf ? 0 : leftMax.size() + kChildPointerSize;
  if (left.storedBytes() + right.storedBytes() + extra > kIndexEntrySpace * 3 / 4) return false;
  if (!left.leaf) {
    // The left node's tail gets an entry again; the right node's tail ends the merged page.
    left.append(withChild(leftMax, left.tailPage));
    left.tailPage = right.tailPage;
  }
  for (size_t i = 0; i < right.size(); ++i) left.append(right.entry(i));
  // Together the two may share a shorter prefix than each alone.
  if (left.storedBytes() > kIndexEntrySpace * 3 / 4) return false;
  left.nextPage = right.nextPage;
  if (right.nextPage) setSiblingLink(right.nextPage, true, leftNumber);
  store(leftNumber, left);
  releasePage(rightNumber);
  if (rightIsTail) {
    node.tailPage = leftNumber;
  } else {
    node.replace(li + 1, withChild(IndexPage::withoutChild(node.entry(li + 1)), leftNumber));
  }
  node.erase(li);
  return true;
}

IndexWriter::Outcome IndexWriter::insertBelow(uint32_t pageNumber, const Bytes& entry, size_t depth) {
  if (depth >= kMaxIndexDepth)
    throw CorruptFileError("Corrupt file: " + name_ + " is deeper than " + std::to_string(kMaxIndexDepth) +
                           " levels.");
  IndexPage& page = loadForChange(pageNumber);
  const bool isRoot = depth == 0;
  if (page.leaf) {
    size_t at = page.lowerBound(entry);
    if (at < page.size() && std::ranges::equal(page.entry(at), entry))
      throw EngineError(name_ + " already holds an entry for row " +
                        locationText((uint32_t(entry[entry.size() - 4]) << 24) |
                                     (uint32_t(entry[entry.size() - 3]) << 16) |
                                     (uint32_t(entry[entry.size() - 2]) << 8) | entry.back()) +
                        " with that key.");
    Outcome result;
    if (at == page.size()) {
      result.maxChanged = true;
      result.max = entry;
    }
    page.insert(at, entry);
    return finishPage(pageNumber, page, isRoot, result);
  }
  size_t c = childFor(page, entry, false);
  uint32_t child = c < page.size() ? IndexPage::childOf(page.entry(c)) : page.tailPage;
  Outcome below = insertBelow(child, entry, depth + 1);
  return finishNode(pageNumber, page, c, std::move(below), isRoot, false);
}

IndexWriter::Outcome IndexWriter::removeBelow(uint32_t pageNumber, const Bytes& entry, size_t depth, bool& found) {
  if (depth >= kMaxIndexDepth)
    throw CorruptFileError("Corrupt file: " + name_ + " is deeper than " + std::to_string(kMaxIndexDepth) +
                           " levels.");
  IndexPage page = load(pageNumber);
  const bool isRoot = depth == 0;
  if (page.leaf) {
    size_t at = page.lowerBound(entry);
    if (at == page.size() || !std::ranges::equal(page.entry(at), entry)) {
      found = false;
      return {};
    }
    found = true;
    const bool wasLast = at + 1 == page.size();
    page.erase(at);
    Outcome result;
    if (page.empty() && !isRoot) {
      result.emptied = true;
      result.prev = page.prevPage;
      result.next = page.nextPage;
      return result;
    }
    if (wasLast && !page.empty()) {
      result.maxChanged = true;
      result.max.assign(page.back().begin(), page.back().end());
    }
    return finishPage(pageNumber, page, isRoot, result);
  }
  size_t c = childFor(page, entry, false);
  uint32_t child = c < page.size() ? IndexPage::childOf(page.entry(c)) : page.tailPage;
  Outcome below = removeBelow(child, entry, depth + 1, found);
  if (!found) return {};
  return finishNode(pageNumber, page, c, std::move(below), isRoot, true);
}

void IndexWriter::insert(ByteSpan key, uint32_t location) {
  if (!file_.inTransaction()) throw EngineError("Internal error: " + name_ + " was changed outside a transaction.");
  if (key.empty() || key.size() > kMaxIndexKeySize)
    throw EngineError("The key for row " + locationText(location) + " in " + name_ + " is " +
                      std::to_string(key.size()) + " bytes long; an index key holds 1 to " +
                      std::to_string(kMaxIndexKeySize) + " bytes.");
  insertBelow(index_.rootPage, makeEntry(key, location), 0);
}

bool IndexWriter::remove(ByteSpan key, uint32_t location) {
  if (!file_.inTransaction()) throw EngineError("Internal error: " + name_ + " was changed outside a transaction.");
  bool found = false;
  removeBelow(index_.rootPage, makeEntry(key, location), 0, found);
  return found;
}

const IndexPage& IndexWriter::leafFor(const Bytes& target) const {
  auto* self = const_cast<IndexWriter*>(this);  // the cache fills in; nothing the caller sees changes
  uint32_t pageNumber = index_.rootPage;
  const IndexPage* page = &self->loadForChange(pageNumber);
  for (size_t depth = 0; !page->leaf; ++depth) {
    if (depth >= kMaxIndexDepth)
      throw CorruptFileError("Corrupt file: " + name_ + " is deeper than " + std::to_string(kMaxIndexDepth) +
                             " levels.");
    size_t c = childFor(*page, target, true);
    pageNumber = c < page->size() ? IndexPage::childOf(page->entry(c)) : page->tailPage;
    page = &self->loadForChange(pageNumber);
  }
  return *page;
}

void IndexWriter::visitPrefix(ByteSpan prefix, const std::function<bool(ByteSpan entry)>& visit) const {
  auto* self = const_cast<IndexWriter*>(this);
  const Bytes target(prefix.begin(), prefix.end());
  const IndexPage* page = &leafFor(target);
  // Entries starting with the prefix are contiguous from the lower bound on;
  // they may continue on the following leaves.
  for (uint32_t hops = 0; hops < file_.pageCount(); ++hops) {
    for (size_t at = page->lowerBoundKey(target); at < page->size(); ++at) {
      ByteSpan e = page->entry(at);
      if (e.size() < prefix.size() || !std::equal(prefix.begin(), prefix.end(), e.begin())) return;
      if (e.size() < prefix.size() + kRowPointerSize) continue;  // a shorter key whose row pointer matched
      if (!visit(e)) return;
    }
    if (page->nextPage == 0) return;
    const uint32_t pageNumber = page->nextPage;
    page = &self->loadForChange(pageNumber);
    if (!page->leaf)
      throw CorruptFileError("Corrupt file: leaf links of " + name_ + " lead to node page " +
                             std::to_string(pageNumber) + ".");
  }
  throw CorruptFileError("Corrupt file: the leaf links of " + name_ + " form a loop.");
}

bool IndexWriter::containsKey(ByteSpan key, std::optional<uint32_t> ignoreLocation) const {
  bool found = false;
  visitPrefix(key, [&](ByteSpan e) {
    if (e.size() != key.size() + kRowPointerSize) return true;  // a longer key that starts with this one
    const uint32_t location = (readEntryPointerPage(e.subspan(key.size())) << 8) | e.back();
    found = !ignoreLocation || location != *ignoreLocation;
    return !found;
  });
  return found;
}

}  // namespace kevra
