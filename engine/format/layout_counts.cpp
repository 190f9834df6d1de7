// Checking a definition's layout counts: numbers and slots inside the
// counts and used once, room for every fixed field, fixed fields apart.
#include "engine/format/layout_counts.h"

#include <algorithm>

namespace kevra {
namespace {

std::string plural(size_t n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::vector<std::string> layoutCountProblems(const TableDef& t, bool jetOwned) {
  std::vector<std::string> problems;
  const std::string table = "table '" + t.name + "': ";
  auto column = [](const ColumnDef& c) { return "column '" + c.name + "'"; };
  size_t fixed = 0;
  std::vector<const ColumnDef*> placed;  // fixed fields that take room
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnDef& c = t.columns[i];
    if (c.number >= t.maxColumnCount)
      problems.push_back(table + column(c) + " has number " + std::to_string(c.number) + ", but the definition counts " +
                         plural(t.maxColumnCount, "column number", "column numbers"));
    for (size_t j = 0; j < i; ++j) {
      const ColumnDef& other = t.columns[j];
      if (other.number == c.number)
        problems.push_back(table + column(other) + " and " + column(c) + " share number " + std::to_string(c.number));
      else if (!c.isFixed() && !other.isFixed() && other.varIndex == c.varIndex)
        problems.push_back(table + column(other) + " and " + column(c) + " share variable slot " +
                           std::to_string(c.varIndex));
    }
    if (c.isFixed()) {
      ++fixed;
      if (c.type != ColumnType::Boolean && c.length > 0) placed.push_back(&c);
    } else if (c.varIndex >= t.varColumnCount) {
      problems.push_back(table + column(c) + " has variable slot " + std::to_string(c.varIndex) +
                         ", but the definition counts " +
                         plural(t.varColumnCount, "variable slot", "variable slots"));
    }
  }
  const size_t room = t.maxColumnCount > t.varColumnCount ? size_t(t.maxColumnCount - t.varColumnCount) : 0;
  if (!jetOwned && fixed > room)
    problems.push_back(table + "the definition counts " + plural(t.maxColumnCount, "column number", "column numbers") +
                       " and " + plural(t.varColumnCount, "variable slot", "variable slots") + ", room for " +
                       plural(room, "fixed-length column", "fixed-length columns") + ", but it has " +
                       std::to_string(fixed) + "; other readers lose the last ones' values");
  std::sort(placed.begin(), placed.end(), [](auto* a, auto* b) { return a->fixedOffset < b->fixedOffset; });
  for (size_t i = 1; i < placed.size(); ++i) {
    const ColumnDef& a = *placed[i - 1];
    const ColumnDef& b = *placed[i];
    if (size_t(a.fixedOffset) + a.length > b.fixedOffset)
      problems.push_back(table + "the fixed-length " + column(a) + " (bytes " + std::to_string(a.fixedOffset) + " to " +
                         std::to_string(a.fixedOffset + a.length - 1) + ") overlaps " + column(b) + " (from byte " +
                         std::to_string(b.fixedOffset) + ")");
  }
  return problems;
}

}  // namespace kevra
