// NumericValue: any Jet number (Yes/No, Byte, Integer, Long, Currency,
// Decimal, Single, Double) in one shape so numbers of different types can be
// compared and combined. Exact types keep a scaled integer; Single and
// Double keep their double.
#pragma once
#include <optional>
#include <string_view>

#include "engine/format/value.h"

namespace kevra::expr {

struct NumericValue {
  bool exact = true;
  __int128 scaled = 0;  // exact: value * 10^scale
  int scale = 0;
  double approx = 0;    // always set

  static NumericValue fromInteger(int64_t v);
  static NumericValue fromDouble(double v);
};

// The number a value holds; nullopt for NULL, text, dates, binary and GUIDs.
// Yes/No counts as -1 (True) or 0 (False), as in Jet.
std::optional<NumericValue> numericOf(const Value& v);
// Reads text such as " -12.5 " or "1e3" as a number; nullopt when it is not one.
std::optional<NumericValue> numericFromText(std::string_view text);
int compareNumeric(const NumericValue& a, const NumericValue& b);

}  // namespace kevra::expr
