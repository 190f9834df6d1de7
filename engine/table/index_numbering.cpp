#include "engine/table/index_numbering.h"

#include <algorithm>
#include <map>

namespace kevra {

std::vector<IndexRenumbering> arrangeIndexes(TableDef& def) {
  std::vector<LogicalIndexDef*> plain, related;
  for (auto& li : def.logicalIndexes) (li.kind == IndexKind::ForeignKey ? related : plain).push_back(&li);
  const auto byNumber = [](const LogicalIndexDef* a, const LogicalIndexDef* b) { return a->number < b->number; };
  std::stable_sort(plain.begin(), plain.end(), byNumber);
  std::stable_sort(related.begin(), related.end(), byNumber);

  // Real indexes: those of the plain logical indexes in their order, then
  // the rest as they were.
  std::vector<uint32_t> order;  // new position -> old position
  std::vector<bool> placed(def.realIndexes.size(), false);
  const auto place = [&](uint32_t real) {
    if (real < placed.size() && !placed[real]) {
      placed[real] = true;
      order.push_back(real);
    }
  };
  for (const auto* li : plain) place(li->realIndex);
  for (uint32_t real = 0; real < def.realIndexes.size(); ++real) place(real);
  std::vector<uint32_t> newPosition(def.realIndexes.size());
  std::vector<RealIndexDef> reals;
  for (uint32_t i = 0; i < order.size(); ++i) {
    newPosition[order[i]] = i;
    reals.push_back(def.realIndexes[order[i]]);
  }
  def.realIndexes = std::move(reals);
  for (auto& li : def.logicalIndexes)
    if (li.realIndex < newPosition.size()) li.realIndex = newPosition[li.realIndex];

  std::vector<IndexRenumbering> moves;
  uint32_t next = 0;
  for (auto* li : plain) li->number = next++;
  for (auto* li : related) {
    if (li->number != next) moves.push_back({li->number, next});
    li->number = next++;
  }
  repointReferences(def, def.tdefPage, moves);  // a table related to itself
  return moves;
}

bool repointReferences(TableDef& other, uint32_t tdefPage, const std::vector<IndexRenumbering>& moves) {
  if (moves.empty()) return false;
  std::map<uint32_t, uint32_t> to;
  for (const auto& m : moves) to[m.from] = m.to;
  bool changed = false;
  for (auto& li : other.logicalIndexes) {
    if (li.kind != IndexKind::ForeignKey || li.otherTablePage != tdefPage || li.otherIndexNumber < 0) continue;
    auto it = to.find(uint32_t(li.otherIndexNumber));
    if (it == to.end()) continue;
    li.otherIndexNumber = int32_t(it->second);
    changed = true;
  }
  return changed;
}

}  // namespace kevra
