// Walks every real index of a table twice, down the tree and along the leaf
// links, and reports each entry that does not follow the one before it in
// key order (key bytes compared as unsigned, a key that is the start of a
// longer one first, then the row pointer). The order is worked out here on
// its own, not with the engine's comparison, so a wrong comparison in the
// engine shows.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "engine/index/index_cursor.h"
#include "engine/index/index_reader.h"
#include "engine/table/database.h"

namespace kevra::test {

inline std::string entryText(const IndexEntry& e) {
  std::string s;
  char buf[4];
  for (uint8_t b : e.key) {
    std::snprintf(buf, sizeof buf, "%02x ", b);
    s += buf;
  }
  return "[" + s + "] row " + std::to_string(e.page) + ":" + std::to_string(e.row);
}

inline bool inKeyOrder(const IndexEntry& a, const IndexEntry& b) {
  if (a.key != b.key) {
    const size_t n = std::min(a.key.size(), b.key.size());
    for (size_t i = 0; i < n; ++i)
      if (a.key[i] != b.key[i]) return a.key[i] < b.key[i];
    return a.key.size() < b.key.size();
  }
  return a.rowLocation() < b.rowLocation();
}

// Problems found in the indexes of `table` (empty when every index is in
// order and both walks meet the same entries).
inline std::vector<std::string> indexOrderProblems(const Database& db, const TableDef& table) {
  std::vector<std::string> problems;
  for (size_t i = 0; i < table.realIndexes.size(); ++i) {
    const std::string name = "index " + std::to_string(i) + " of " + table.name;
    std::vector<IndexEntry> down, along;
    IndexReader reader(db.pages(), table, table.realIndexes[i], name);
    IndexEntry e;
    while (reader.next(e)) down.push_back(e);
    for (const auto& p : reader.problems()) problems.push_back(p);
    IndexCursor cursor(db.pages(), table.realIndexes[i], name);
    cursor.seekFirst();
    while (cursor.next(e)) along.push_back(e);
    for (size_t k = 1; k < down.size(); ++k)
      if (!inKeyOrder(down[k - 1], down[k]))
        problems.push_back(name + ": " + entryText(down[k]) + " follows " + entryText(down[k - 1]));
    if (along.size() != down.size()) {
      problems.push_back(name + ": the leaf links reach " + std::to_string(along.size()) + " entries, the tree " +
                         std::to_string(down.size()));
    } else {
      for (size_t k = 0; k < down.size(); ++k)
        if (along[k].key != down[k].key || along[k].rowLocation() != down[k].rowLocation()) {
          problems.push_back(name + ": the leaf links and the tree differ at entry " + std::to_string(k));
          break;
        }
    }
  }
  return problems;
}

}  // namespace kevra::test
