// Pages are filled to their entry space (with the shared prefix stored once,
// as pages are encoded); siblings of a level are linked; a node has an entry
// for each child but its last, which is its tail. A page gets its number when
// it is full (the first page of a level, which may yet become the root) or
// when the page before it is written (which must name it as its next).
#include "engine/index/index_bulk_load.h"

#include <algorithm>
#include <cstring>

#include "engine/index/index_page.h"
#include "engine/storage/page_allocator.h"
#include "engine/storage/usage_map_editor.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr size_t kDirtyPagesHeld = 4096;

// Whether `candidate` still fits on a page whose entries (`count` of them
// with it, `bytes` long in all) begin with `first`: the entries are in
// order, so the prefix all of them share is the one of the first and the
// last. `tail`: the bytes after an entry's key.
bool fits(ByteSpan first, ByteSpan candidate, size_t count, size_t bytes, size_t tail) {
  if (count < 2) return bytes <= kIndexEntrySpace;
  return bytes - (count - 1) * sharedEntryPrefix(first, candidate, tail) <= kIndexEntrySpace;
}

}  // namespace

class IndexBulkLoader::Level {
 public:
  Level(IndexBulkLoader& loader, size_t height) : loader_(loader), height_(height) {
    page_.leaf = height == 0;
    page_.tdefPage = loader.tdefPage_;
  }

  void addEntry(ByteSpan entry) {
    if (!page_.empty() &&
        !fits(page_.entry(0), entry, page_.size() + 1, page_.entryBytes() + entry.size(), kRowPointerSize)) {
      const Bytes last(page_.back().begin(), page_.back().end());
      writePage(false, last);
    }
    if (page_.empty() && entry.size() > kIndexEntrySpace)
      throw EngineError("An index entry is too long for an index page.");
    page_.append(entry);
  }

  // A written page of the level below: `last` is the last leaf entry under it.
  void addChild(ByteSpan last, uint32_t child) {
    if (held_) {
      Bytes entry = heldLast_;
      appendBigEndian32(heldChild_, entry);
      if (!page_.empty() && !fits(page_.entry(0), entry, page_.size() + 1, page_.entryBytes() + entry.size(),
                                   kRowPointerSize + kChildPointerSize)) {
        page_.tailPage = heldChild_;
        writePage(false, heldLast_);
      } else {
        if (page_.empty() && entry.size() > kIndexEntrySpace)
          throw EngineError("An index entry is too long for an index page.");
        page_.append(entry);
      }
    }
    heldLast_.assign(last.begin(), last.end());
    heldChild_ = child;
    held_ = true;
  }

  // Writes the page being filled: into the root when it is the level's only
  // page and no level stands above it.
  void finish() {
    if (page_.leaf && page_.empty()) return;  // no entries at all
    Bytes last;
    if (page_.leaf) {
      last.assign(page_.back().begin(), page_.back().end());
    } else {
      page_.tailPage = heldChild_;
      last = heldLast_;
    }
    if (number_ == 0 && loader_.levels_.size() == height_ + 1) {
      page_.prevPage = page_.nextPage = 0;
      encodeIndexPage(page_, loader_.file_.modify(loader_.index_.rootPage));
      return;
    }
    writePage(true, last);
  }

 private:
  uint32_t allocate() {
    const uint32_t page = PageAllocator(loader_.file_).allocate();
    usageMapAdd(loader_.file_, loader_.index_.usageMapPointer, page);
    return page;
  }

  // Writes the full page (the level's last when `lastOfLevel`) and gives the
  // level above its entry; the level then fills a new page.
  void writePage(bool lastOfLevel, const Bytes& last) {
    if (number_ == 0) number_ = allocate();
    const uint32_t next = lastOfLevel ? 0 : allocate();
    page_.prevPage = previous_;
    page_.nextPage = next;
    encodeIndexPage(page_, loader_.file_.modify(number_));
    const uint32_t written = number_;
    previous_ = number_;
    number_ = next;
    page_.clearEntries();
    page_.tailPage = 0;
    loader_.level(height_ + 1).addChild(ByteSpan(last.data(), last.size()), written);
    if (loader_.file_.dirtyPages() > kDirtyPagesHeld) loader_.file_.spill();
  }

  IndexBulkLoader& loader_;
  size_t height_;
  IndexPage page_;           // being filled
  uint32_t number_ = 0;      // its page number, once known
  uint32_t previous_ = 0;    // the page written before it
  bool held_ = false;        // nodes: the latest child, not yet an entry (it may be the tail)
  Bytes heldLast_;
  uint32_t heldChild_ = 0;
};

IndexBulkLoader::IndexBulkLoader(PageFile& file, uint32_t tdefPage, const RealIndexDef& index)
    : file_(file), tdefPage_(tdefPage), index_(index) {}

IndexBulkLoader::~IndexBulkLoader() = default;

IndexBulkLoader::Level& IndexBulkLoader::level(size_t n) {
  while (levels_.size() <= n) levels_.push_back(std::make_unique<Level>(*this, levels_.size()));
  return *levels_[n];
}

void IndexBulkLoader::add(ByteSpan entry) { level(0).addEntry(entry); }

void IndexBulkLoader::finish() {
  // A level's last page gives the level above its last child, so the levels
  // end from the leaves up; the top one may appear only now.
  for (size_t h = 0; h < levels_.size(); ++h) levels_[h]->finish();
}

}  // namespace kevra
