// Arithmetic and concatenation over values with Jet's type rules: integers
// stay integers while they fit, Currency and Decimal stay exact, anything
// with a Single or Double becomes Double, dates shift by days. NULL in gives
// NULL out, except for & which treats NULL as empty text.
#pragma once
#include <string_view>

#include "engine/format/value.h"

namespace kevra::expr {

// op is one of + - * / \ MOD ^ &. Throws EngineError for a division by zero,
// an overflow of an exact type, or operands that are not numbers
// ("Data type mismatch in criteria expression.").
Value applyBinaryArithmetic(std::string_view op, const Value& a, const Value& b);
Value negateValue(const Value& v);

}  // namespace kevra::expr
