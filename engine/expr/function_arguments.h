// Argument checks shared by the built-in function groups.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/value.h"
#include "engine/expr/numeric_value.h"
#include "engine/expr/text_collation.h"
#include "engine/util/error.h"

namespace kevra::expr {

inline bool sameFunctionName(std::string_view a, std::string_view b) { return compareTextIgnoringCase(a, b) == 0; }

inline void requireArgumentCount(std::string_view name, const std::vector<Value>& args, size_t low, size_t high) {
  if (args.size() < low || args.size() > high)
    throw EngineError("Wrong number of arguments used with function '" + std::string(name) + "' in query expression.");
}

// A number argument; text that reads as a number is accepted.
inline NumericValue numberArgument(const Value& v, std::string_view function) {
  if (auto n = numericOf(v)) return *n;
  if (auto* d = std::get_if<DateTime>(&v)) return NumericValue::fromDouble(d->serial);
  if (auto* s = std::get_if<std::string>(&v))
    if (auto n = numericFromText(*s)) return *n;
  throw EngineError("Data type mismatch in the arguments of " + std::string(function) + ".");
}

}  // namespace kevra::expr
