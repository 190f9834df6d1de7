// Values as foreign text files write them: reading a field's text as a typed
// value, guessing a column's type from its texts, and the texts our exports
// write. Locale-free and deterministic: '.' is the decimal point (unless a
// Schema.ini says otherwise), dates are ISO (yyyy-mm-dd[ hh:mm[:ss[.fff]]])
// or follow a Schema.ini DateTimeFormat pattern such as "dd.mm.yyyy".
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/value.h"
#include "engine/sql/result_set.h"

namespace kevra {

struct TextValueRules {
  std::string dateTimeFormat;  // empty: ISO only
  char decimalSymbol = '.';
};

std::optional<int64_t> parseIntegerText(std::string_view text);
// Plain numbers: sign, digits (thousands grouped by ',' when the decimal
// symbol is '.'), fraction, exponent. U+2212 counts as a minus sign.
std::optional<double> parseNumberText(std::string_view text, char decimalSymbol = '.');
// Amounts with or without a currency sign ($, €, £, ¥) before the number,
// kept exact to four decimals. `sawSymbol` tells whether a sign was there.
std::optional<Currency> parseCurrencyText(std::string_view text, char decimalSymbol = '.', bool* sawSymbol = nullptr);
std::optional<bool> parseBooleanText(std::string_view text);
// ISO texts always; also `pattern` (Schema.ini DateTimeFormat) when given.
std::optional<DateTime> parseDateTimeText(std::string_view text, std::string_view pattern = {});

// The value `text` stands for in a column of `type`; nullopt when it does not
// read as one. Text and Memo take the text as it is.
std::optional<Value> readTextAs(ColumnType type, std::string_view text, const TextValueRules& rules);

// Watches the texts of one column and picks the narrowest type that reads
// them all: Long, Currency (when a currency sign was seen), Double,
// Date/Time, else Text (255 characters), Memo when a text is longer.
class ColumnGuess {
 public:
  explicit ColumnGuess(const TextValueRules& rules) : rules_(&rules) {}
  void see(std::string_view text);  // a field that is not NULL
  ResultColumn column(std::string name) const;

 private:
  const TextValueRules* rules_;
  bool any_ = false, integer_ = true, number_ = true, currency_ = true, date_ = true, sign_ = false;
  size_t longest_ = 0;  // characters
};

// Field names a table can take: characters Access refuses in names
// ('.', '!', '`', '[', ']', control characters) become '_', blanks at the
// start and end are dropped, empty names become F1, F2..., and repeats
// (letter case ignored) get a number. Each name given that had to change is
// told in `renamed`, when given ("The field 'a.b' is named 'a_b'.").
std::vector<std::string> usableFieldNames(const std::vector<std::string>& names,
                                          std::vector<std::string>* renamed = nullptr);

// The same for the names of `columns`, in place.
void makeFieldNamesUsable(std::vector<ResultColumn>& columns, std::vector<std::string>& renamed);

// "yyyy-mm-dd hh:nn:ss" (date only at midnight; ".fff" when there are milliseconds).
std::string dateTimeToText(DateTime d);
size_t utf8Length(std::string_view text);

}  // namespace kevra
