// The check of a whole file, read-only: every row of every local table must
// decode; every real index must hold exactly the keys of its table's live
// rows, in order; the usage maps must agree with the pages they name; the row
// counts and the layout counts in the table definitions must be right. Every
// scope checks first that each table definition reads and that its indexes
// name fields it has.
#include "engine/table/file_check.h"

#include <algorithm>
#include <functional>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/format/layout_counts.h"
#include "engine/storage/data_page.h"
#include "engine/index/index_key_encoder.h"
#include "engine/index/index_page.h"
#include "engine/index/index_reader.h"
#include "engine/storage/page_file.h"
#include "engine/storage/usage_map.h"
#include "engine/util/error.h"
#include "engine/table/database.h"
#include "engine/table/table_cursor.h"

namespace kevra {
namespace {

constexpr size_t kMaxDifferencesShown = 5;

std::string hexBytes(const Bytes& b) {
  std::string s;
  char buf[4];
  for (uint8_t v : b) {
    std::snprintf(buf, sizeof buf, "%02x ", v);
    s += buf;
  }
  if (!s.empty()) s.pop_back();
  return s;
}

std::string describeEntry(const Bytes& entry) {
  size_t n = entry.size();
  uint32_t page = (uint32_t(entry[n - 4]) << 16) | (uint32_t(entry[n - 3]) << 8) | entry[n - 2];
  Bytes key(entry.begin(), entry.end() - 4);
  return "key [" + hexBytes(key) + "] row " + std::to_string(page) + ":" + std::to_string(entry[n - 1]);
}

std::string indexName(const TableDef& table, size_t real) {
  std::string names;
  for (const auto& logical : table.logicalIndexes)
    if (logical.realIndex == real) names += (names.empty() ? "" : "/") + logical.name;
  if (names.empty()) names = "#" + std::to_string(real);
  return "index '" + names + "' of table '" + table.name + "'";
}

class FileChecker {
 public:
  FileChecker(std::shared_ptr<Database> db, const std::function<void(const std::string&)>& onProblem, CheckScope scope)
      : db_(std::move(db)),
        file_(db_->pages()),
        onProblem_(onProblem),
        checkIndexes_(scope == CheckScope::Everything),
        checkRows_(scope != CheckScope::Definitions) {
    // Page 1, row 0: the global usage map, in which a set bit marks a free page.
    freePages_ = UsageMap::read(file_, rowPointer(1, 0), "the global usage map");
  }

  void checkTable(const CatalogObject& object) {
    std::shared_ptr<const TableDef> table;
    try {
      table = db_->tableAtPage(uint32_t(object.id), object.name);
    } catch (const EngineError& e) {
      report("table '" + object.name + "': " + e.what());
      return;
    }
    ++tables_;
    const TableDef& t = *table;
    const std::vector<bool> sound = checkDefinition(t);
    if (!checkRows_) return;
    notFree(t.tdefPage, "the definition page of table '" + t.name + "'");
    checkTableMaps(t);
    for (const std::string& problem : layoutCountProblems(t, t.systemTable || (object.flags & 0x80000002u)))
      report(problem);

    std::vector<std::unique_ptr<IndexKeyEncoder>> encoders(t.realIndexes.size());
    std::vector<std::vector<Bytes>> expected(t.realIndexes.size());
    // Keys without NULLs of unique indexes; keys with a NULL may repeat.
    std::vector<std::vector<Bytes>> uniqueKeys(t.realIndexes.size());
    for (size_t i = 0; i < t.realIndexes.size() && checkIndexes_; ++i) {
      if (!sound[i]) continue;
      try {
        encoders[i] = std::make_unique<IndexKeyEncoder>(t, t.realIndexes[i]);
        // Keys in a collation this engine cannot build: only the index's
        // structure and entry order are checked.
        if (std::string reason = encoders[i]->unsupportedKeys(); !reason.empty()) {
          note("cannot verify indexes in " + reason);
          encoders[i].reset();
        }
      } catch (const EngineError& e) {
        report(indexName(t, i) + ": " + e.what());
      }
    }
    uint64_t liveRows = 0;
    bool rowsComplete = true;
    try {
      TableCursor cursor(db_, table);
      cursor.keepComplexKeys();  // their indexes hold the keys
      std::vector<Value> row;
      Bytes key;
      while (cursor.next(row)) {
        ++liveRows;
        uint32_t location = cursor.lastLocation();
        for (size_t i = 0; i < encoders.size(); ++i) {
          if (!encoders[i]) continue;
          try {
            if (!encoders[i]->indexes(row)) continue;
            encoders[i]->encode(row, key);
            if (t.realIndexes[i].unique() && !encoders[i]->anyKeyColumnNull(row)) uniqueKeys[i].push_back(key);
          } catch (const EngineError& e) {
            report(indexName(t, i) + ": no key for row " + std::to_string(pointerPage(location)) + ":" +
                   std::to_string(pointerRow(location)) + ": " + e.what());
            encoders[i].reset();
            continue;
          }
          appendRowPointer(pointerPage(location), pointerRow(location), key);
          expected[i].push_back(key);
        }
      }
    } catch (const EngineError& e) {
      rowsComplete = false;
      report("table '" + t.name + "': row " + std::to_string(liveRows + 1) + " cannot be read: " + e.what());
    }
    rows_ += liveRows;
    // Jet does not keep the row counts of its own system tables exact (seen:
    // MSysACEs and MSysQueries counting fewer rows than they hold, with every
    // row present in their indexes), so only user tables are held to it.
    if (rowsComplete && !t.systemTable && liveRows != t.rowCount)
      report("table '" + t.name + "': the table definition counts " + std::to_string(t.rowCount) + " rows but " +
             std::to_string(liveRows) + " are stored");

    for (size_t i = 0; i < t.realIndexes.size() && checkIndexes_; ++i) {
      std::sort(uniqueKeys[i].begin(), uniqueKeys[i].end());
      auto duplicate = std::adjacent_find(uniqueKeys[i].begin(), uniqueKeys[i].end());
      if (duplicate != uniqueKeys[i].end())
        report(indexName(t, i) + ": the unique key [" + hexBytes(*duplicate) + "] belongs to more than one row");
      ++indexes_;
      checkIndex(t, i, rowsComplete && encoders[i] ? &expected[i] : nullptr);
      expected[i].clear();
      expected[i].shrink_to_fit();
    }
  }

  CheckReport finish() const {
    CheckReport r{problems_, {}, tables_, indexes_, rows_};
    for (const auto& [line, count] : notes_)
      r.notes.push_back(line + " (" + std::to_string(count) + " index" + (count == 1 ? "" : "es") + ")");
    return r;
  }

 private:
  // Whether each real index names only fields the table has; each that does
  // not is reported.
  std::vector<bool> checkDefinition(const TableDef& t) {
    std::vector<bool> sound(t.realIndexes.size(), true);
    for (size_t i = 0; i < t.realIndexes.size(); ++i)
      for (const auto& ref : t.realIndexes[i].columns)
        try {
          t.indexedColumn(ref.columnNumber);
        } catch (const EngineError& e) {
          report(indexName(t, i) + ": " + e.what());
          sound[i] = false;
          break;
        }
    return sound;
  }

  void report(const std::string& line) {
    problems_.push_back(line);
    if (onProblem_) onProblem_(line);
  }

  void note(const std::string& line) { ++notes_[line]; }

  void notFree(uint32_t page, const std::string& what) {
    if (freePages_.contains(page))
      report("page " + std::to_string(page) + " (" + what + ") is marked free in the global usage map");
  }

  UsageMap readMap(uint32_t pointer, const std::string& what) {
    try {
      return UsageMap::read(file_, pointer, what);
    } catch (const EngineError& e) {
      report(what + ": " + e.what());
      return UsageMap{};
    }
  }

  void checkTableMaps(const TableDef& t) {
    std::string owned = "the owned-pages map of table '" + t.name + "'";
    UsageMap ownedMap = readMap(t.ownedMapPointer, owned);
    for (uint32_t page : ownedMap.pages()) {
      notFree(page, "a data page of table '" + t.name + "'");
      PageRef bytes = file_.read(page);
      uint8_t type = (*bytes)[0];
      uint32_t owner = u32At(file_.span(bytes), 4);
      if (type != kPageTypeData)
        report("page " + std::to_string(page) + " in " + owned + " has page type " + std::to_string(type));
      else if (owner != t.tdefPage)
        report("page " + std::to_string(page) + " in " + owned + " belongs to table definition page " +
               std::to_string(owner) + " instead of " + std::to_string(t.tdefPage));
    }
    std::string freeSpace = "the free-space map of table '" + t.name + "'";
    UsageMap freeMap = readMap(t.freeMapPointer, freeSpace);
    for (uint32_t page : freeMap.pages()) {
      notFree(page, "a page in " + freeSpace);
      if (!ownedMap.contains(page))
        report("page " + std::to_string(page) + " is in " + freeSpace + " but not in " + owned);
    }
    for (const auto& lv : t.longValueMaps) {
      const ColumnDef* c = t.columnByNumber(lv.columnNumber);
      std::string column = "column '" + (c ? c->name : std::to_string(lv.columnNumber)) + "' of table '" + t.name + "'";
      UsageMap lvOwned = readMap(lv.ownedMapPointer, "the long-value map of " + column);
      UsageMap lvFree = readMap(lv.freeMapPointer, "the long-value free-space map of " + column);
      for (uint32_t page : lvOwned.pages()) {
        notFree(page, "a long-value page of " + column);
        PageRef bytes = file_.read(page);
        if ((*bytes)[0] != kPageTypeData || std::memcmp(bytes->data() + 4, "LVAL", 4) != 0)
          report("page " + std::to_string(page) + " in the long-value map of " + column + " is not a long-value page");
      }
      for (uint32_t page : lvFree.pages()) notFree(page, "a long-value page of " + column);
    }
  }

  void checkIndex(const TableDef& t, size_t real, std::vector<Bytes>* expected) {
    const RealIndexDef& index = t.realIndexes[real];
    std::string name = indexName(t, real);
    UsageMap map = readMap(index.usageMapPointer, "the usage map of " + name);
    for (uint32_t page : map.pages()) notFree(page, "a page of " + name);
    if (!map.contains(index.rootPage))
      report(name + ": root page " + std::to_string(index.rootPage) + " is not in its usage map");

    std::vector<Bytes> actual;
    try {
      IndexReader reader(file_, t, index, name);
      IndexEntry entry;
      Bytes bytes;
      while (reader.next(entry)) {
        bytes = entry.key;
        appendRowPointer(entry.page, entry.row, bytes);
        if (!actual.empty() && !entryLess(actual.back(), bytes))
          report(name + ": entry " + describeEntry(bytes) + " is out of order after " + describeEntry(actual.back()));
        actual.push_back(bytes);
      }
      for (const auto& p : reader.problems()) report(p);
      for (uint32_t page : reader.pagesVisited())
        if (!map.contains(page)) report(name + ": page " + std::to_string(page) + " is not in its usage map");
      for (uint32_t page : map.pages())
        if (!reader.pagesVisited().count(page))
          report(name + ": its usage map names page " + std::to_string(page) + ", which the index does not use");
    } catch (const EngineError& e) {
      report(std::string(e.what()));
      return;
    }
    if (!expected) return;
    std::sort(expected->begin(), expected->end());
    std::sort(actual.begin(), actual.end());
    std::vector<Bytes> missing, extra;
    std::set_difference(expected->begin(), expected->end(), actual.begin(), actual.end(), std::back_inserter(missing));
    std::set_difference(actual.begin(), actual.end(), expected->begin(), expected->end(), std::back_inserter(extra));
    for (size_t i = 0; i < missing.size() && i < kMaxDifferencesShown; ++i)
      report(name + ": missing entry " + describeEntry(missing[i]));
    for (size_t i = 0; i < extra.size() && i < kMaxDifferencesShown; ++i)
      report(name + ": unexpected entry " + describeEntry(extra[i]));
    if (missing.size() + extra.size() > 2 * kMaxDifferencesShown)
      report(name + ": " + std::to_string(missing.size()) + " entries missing and " + std::to_string(extra.size()) +
             " unexpected in all");
  }

  std::shared_ptr<Database> db_;
  const PageFile& file_;
  const std::function<void(const std::string&)>& onProblem_;
  bool checkIndexes_;
  bool checkRows_;
  UsageMap freePages_;
  std::vector<std::string> problems_;
  std::map<std::string, size_t> notes_;  // each note with the count of indexes it covers
  size_t tables_ = 0;
  size_t indexes_ = 0;
  uint64_t rows_ = 0;
};

}  // namespace

CheckReport checkDatabase(const std::shared_ptr<Database>& db,
                          const std::function<void(const std::string&)>& onProblem, CheckScope scope) {
  FileChecker checker(db, onProblem, scope);
  for (const auto& object : db->objects())
    if (object.isLocalTable()) checker.checkTable(object);
  return checker.finish();
}

}  // namespace kevra
