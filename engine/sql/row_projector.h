// RowProjector: turns one decoded source row into the output row of a
// SELECT by evaluating each output expression (a whole-row output is moved
// through untouched).
#pragma once
#include <vector>

#include "engine/expr/expression_evaluator.h"
#include "engine/sql/select_plan.h"

namespace kevra::sql {

class RowProjector {
 public:
  explicit RowProjector(const SelectPlan& plan);
  // `source` is consumed: it may be moved into `out`.
  void project(std::vector<Value>& source, std::vector<Value>& out);

 private:
  const SelectPlan& plan_;
  bool wholeRow_;
  ExpressionEvaluator evaluator_;
};

}  // namespace kevra::sql
