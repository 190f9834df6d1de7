// Aggregate functions of a grouped SELECT: Count, Sum, Avg, Min, Max, First
// and Last. An Accumulator takes the argument's value for each row of a
// group and gives the result when the group is complete.
#pragma once
#include <string_view>

#include "engine/format/value.h"

namespace kevra::expr {

bool isAggregateName(std::string_view name);

class Accumulator {
 public:
  // `name` must satisfy isAggregateName.
  explicit Accumulator(std::string_view name);
  // NULLs are skipped except by First and Last; Count(*) is fed non-NULL values.
  void add(const Value& v);
  Value result() const;

 private:
  enum class Kind { Count, Sum, Avg, Min, Max, First, Last } kind_;
  long count_ = 0;
  bool seen_ = false;
  Value value_;
};

}  // namespace kevra::expr
