// Engine values seen the way foreign writers need them: any numeric value as
// a double, any value as text, whatever variant the row carries.
#pragma once
#include <optional>
#include <string>

#include "engine/format/value.h"

namespace kevra {

// Numbers, Currency, Decimal, Yes/No (-1/0), dates (their serial) and text
// that reads as a number; nullopt for NULL and anything else.
std::optional<double> valueAsDouble(const Value& v);
// The date serial of a DateTime, or of text or a number that stands for one.
std::optional<double> valueAsDateSerial(const Value& v);
// Yes/No of a boolean, number or "true"/"yes"/"t"/"y"/"1" text.
std::optional<bool> valueAsBool(const Value& v);
// Display text of a value (valueToText), Binary as hex digits.
std::string valueAsText(const Value& v);

}  // namespace kevra
