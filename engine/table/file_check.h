// Checking a whole database file without changing it: rows, indexes, usage
// maps and row counts (see file_check.cpp for the rules).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kevra {

class Database;

struct CheckReport {
  std::vector<std::string> problems;  // one line each, in the order found
  // What could not be verified, without being wrong ("cannot verify indexes
  // in sort order 2052"): one line per reason.
  std::vector<std::string> notes;
  size_t tables = 0;
  size_t indexes = 0;
  uint64_t rows = 0;
  bool clean() const { return problems.empty(); }
};

enum class CheckScope {
  Everything,
  // Rows, usage maps and row counts, not index contents: reads every row
  // once with memory that does not grow with the table.
  RowsAndMaps,
  // Only the table definitions (that each can be read, and that its indexes
  // name fields the table has): reads one page or a few per table.
  Definitions,
};

// Checks every local table; `onProblem` hears each problem as it is found.
// A whole check keeps every table's index keys in memory while it compares.
CheckReport checkDatabase(const std::shared_ptr<Database>& db,
                          const std::function<void(const std::string&)>& onProblem = {},
                          CheckScope scope = CheckScope::Everything);

}  // namespace kevra
