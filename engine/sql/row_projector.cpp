// Output row construction.
#include "engine/sql/row_projector.h"

namespace kevra::sql {

RowProjector::RowProjector(const SelectPlan& plan) : plan_(plan), wholeRow_(plan.outputIsWholeRow()) {}

void RowProjector::project(std::vector<Value>& source, std::vector<Value>& out) {
  if (wholeRow_) {
    out = std::move(source);
    return;
  }
  out.clear();
  out.reserve(plan_.outputs.size());
  for (const auto& e : plan_.outputs) out.push_back(evaluator_.evaluate(*e, source));
}

}  // namespace kevra::sql
