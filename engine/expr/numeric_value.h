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
// Up to 29 significant digits and 28 fraction digits the number is exact
// (scaled), beyond them a double.
std::optional<NumericValue> numericFromText(std::string_view text);
// The double nearest to scaled / 10^scale, rounded once.
double scaledToDouble(__int128 scaled, int scale);
// An exact number as a Decimal of precision 28, rounding fraction digits
// past 28 or past the 28 digits in all; nullopt when it is not exact or its
// whole part needs more than 28 digits.
std::optional<Decimal> decimalOf(const NumericValue& n);
int compareNumeric(const NumericValue& a, const NumericValue& b);

}  // namespace kevra::expr
