// Depth-first walk over an index B-tree with a stack of decoded pages.
#include "engine/index/index_reader.h"

#include <algorithm>

#include "engine/util/error.h"

namespace kevra {

IndexReader::IndexReader(const PageFile& file, const TableDef& table, const RealIndexDef& index, std::string name)
    : file_(file), table_(table), name_(std::move(name)), root_(index.rootPage) {}

IndexReader::~IndexReader() = default;

void IndexReader::problem(const std::string& text) {
  if (problems_.size() < 50) problems_.push_back(name_ + ": " + text);
}

void IndexReader::push(uint32_t page, Bytes expectedLast) {
  if (page == 0 || page >= file_.pageCount())
    throw CorruptFileError("Corrupt file: " + name_ + " points to page " + std::to_string(page) +
                           ", which is not in the file.");
  if (!visited_.insert(page).second)
    throw CorruptFileError("Corrupt file: " + name_ + " reaches page " + std::to_string(page) + " twice.");
  if (stack_.size() >= kMaxIndexDepth)
    throw CorruptFileError("Corrupt file: " + name_ + " is deeper than " + std::to_string(kMaxIndexDepth) +
                           " levels.");
  PageRef bytes = file_.read(page);
  Frame frame{page, decodeIndexPage(file_.span(bytes), page, name_, file_.layout()), 0, 0, std::move(expectedLast)};
  const IndexPage& p = frame.page;
  if (p.tdefPage != table_.tdefPage)
    problem("page " + std::to_string(page) + " names table definition page " + std::to_string(p.tdefPage) +
            " instead of " + std::to_string(table_.tdefPage));
  if (p.prefixLength == 0 && p.freeSpace != file_.pageSize() - file_.layout().indexEntriesStart - p.entryBytes())
    problem("page " + std::to_string(page) + " records " + std::to_string(p.freeSpace) + " free bytes but has " +
            std::to_string(file_.pageSize() - file_.layout().indexEntriesStart - p.entryBytes()));
  if (p.leaf) {
    if (p.prevPage != previousLeaf_)
      problem("leaf " + std::to_string(page) + " links back to page " + std::to_string(p.prevPage) +
              " instead of " + std::to_string(previousLeaf_));
    if (previousLeaf_ != 0 && previousLeafNext_ != page)
      problem("leaf " + std::to_string(previousLeaf_) + " links forward to page " +
              std::to_string(previousLeafNext_) + " instead of " + std::to_string(page));
    previousLeaf_ = page;
    previousLeafNext_ = p.nextPage;
  }
  stack_.push_back(std::move(frame));
}

void IndexReader::finishFrame(const Frame& frame) {
  if (frame.expectedLast.empty()) return;
  ByteSpan expected(frame.expectedLast);
  if (!haveLast_ || !std::equal(expected.begin(), expected.end(), lastEntry_.begin(), lastEntry_.end()))
    problem("the node entry for page " + std::to_string(frame.pageNumber) +
            " does not equal the last entry below it");
}

bool IndexReader::next(IndexEntry& entry) {
  if (!started_) {
    started_ = true;
    push(root_, {});
  }
  while (!stack_.empty()) {
    Frame& top = stack_.back();
    if (top.page.leaf) {
      if (top.nextEntry < top.page.size()) {
        ByteSpan e = top.page.entry(top.nextEntry++);
        size_t keyLength = e.size() - kRowPointerSize;
        entry.key.assign(e.begin(), e.begin() + ptrdiff_t(keyLength));
        entry.page = readEntryPointerPage(ByteSpan(e).subspan(keyLength));
        entry.row = e.back();
        lastEntry_.assign(e.begin(), e.end());
        haveLast_ = true;
        return true;
      }
    } else {
      size_t children = top.page.size() + (top.page.tailPage ? 1 : 0);
      if (top.nextChild < children) {
        size_t i = top.nextChild++;
        if (i < top.page.size()) {
          ByteSpan e = top.page.entry(i);
          ByteSpan expected = IndexPage::withoutChild(e);
          push(IndexPage::childOf(e), Bytes(expected.begin(), expected.end()));
        } else {
          push(top.page.tailPage, {});
        }
        continue;
      }
    }
    Frame done = std::move(stack_.back());
    stack_.pop_back();
    finishFrame(done);
  }
  if (previousLeaf_ != 0 && previousLeafNext_ != 0) {
    problem("last leaf " + std::to_string(previousLeaf_) + " links forward to page " +
            std::to_string(previousLeafNext_));
    previousLeafNext_ = 0;
  }
  return false;
}

}  // namespace kevra
