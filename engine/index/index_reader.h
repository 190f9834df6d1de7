// IndexReader: walks one real index from its root page and yields the leaf
// entries in tree order (entry children of each node in order, then its tail
// child). Structural damage (wrong page types, loops, impossible bitmaps or
// pointers) throws CorruptFileError; softer inconsistencies that do not stop
// the walk (stale node entries, broken sibling links, wrong free-space
// fields) are collected in problems().
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/index/index_page.h"
#include "engine/storage/page_file.h"

namespace kevra {

struct IndexEntry {
  Bytes key;  // without the row pointer
  uint32_t page = 0;
  uint8_t row = 0;
  uint32_t rowLocation() const { return (page << 8) | row; }
};

class IndexReader {
 public:
  // `name` names the index in messages ("index 'PrimaryKey' of table 'T'").
  IndexReader(const PageFile& file, const TableDef& table, const RealIndexDef& index, std::string name);
  ~IndexReader();

  // The next leaf entry; false after the last.
  bool next(IndexEntry& entry);
  // Every index page reached so far (root, nodes, leaves).
  const std::unordered_set<uint32_t>& pagesVisited() const { return visited_; }
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  struct Frame {
    uint32_t pageNumber;
    IndexPage page;
    size_t nextChild = 0;  // node pages: entries, then the tail
    size_t nextEntry = 0;  // leaf pages
    Bytes expectedLast;    // the parent's entry for this subtree (empty for tails and the root)
  };
  void push(uint32_t page, Bytes expectedLast);
  void finishFrame(const Frame& frame);
  void problem(const std::string& text);

  const PageFile& file_;
  const TableDef& table_;
  std::string name_;
  std::vector<Frame> stack_;
  std::unordered_set<uint32_t> visited_;
  std::vector<std::string> problems_;
  Bytes lastEntry_;  // key + row pointer of the last entry handed out
  bool haveLast_ = false;
  uint32_t previousLeaf_ = 0;
  uint32_t previousLeafNext_ = 0;
  bool started_ = false;
  uint32_t root_;
};

// Maximum depth of an index tree the reader follows.
constexpr size_t kMaxIndexDepth = 32;

}  // namespace kevra
