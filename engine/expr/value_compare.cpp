// Jet comparison rules over kevra::Value.
#include "engine/expr/value_compare.h"

#include <algorithm>

#include "engine/format/extended_date_time.h"
#include "engine/format/value_text.h"
#include "engine/expr/date_literal.h"
#include "engine/expr/numeric_value.h"
#include "engine/expr/text_collation.h"
#include "engine/util/error.h"

namespace kevra::expr {
namespace {

enum class Kind { Null, Number, Date, Text, Binary, Guid, ExtendedDate };

Kind kindOf(const Value& v) {
  if (isNull(v)) return Kind::Null;
  if (std::holds_alternative<DateTime>(v)) return Kind::Date;
  if (std::holds_alternative<std::string>(v)) return Kind::Text;
  if (std::holds_alternative<Binary>(v)) return Kind::Binary;
  if (std::holds_alternative<Guid>(v)) return Kind::Guid;
  if (std::holds_alternative<ExtendedDateTime>(v)) return Kind::ExtendedDate;
  return Kind::Number;
}

template <typename T>
int order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

[[noreturn]] void mismatch() { throw EngineError("Data type mismatch in criteria expression."); }

std::optional<int> compareMixed(const Value& a, Kind ka, const Value& b, Kind kb) {
  // Dates against numbers compare as serials.
  if ((ka == Kind::Date && kb == Kind::Number) || (ka == Kind::Number && kb == Kind::Date)) {
    const double da = ka == Kind::Date ? std::get<DateTime>(a).serial : numericOf(a)->approx;
    const double db = kb == Kind::Date ? std::get<DateTime>(b).serial : numericOf(b)->approx;
    return order(da, db);
  }
  // Extended dates meet ordinary dates and date texts at 100 ns precision.
  if (ka == Kind::ExtendedDate || kb == Kind::ExtendedDate) {
    const bool extendedFirst = ka == Kind::ExtendedDate;
    const Value& other = extendedFirst ? b : a;
    std::optional<ExtendedDateTime> o;
    if (auto* d = std::get_if<DateTime>(&other)) o = extendedFromDateTime(*d);
    if (auto* s = std::get_if<std::string>(&other)) {
      o = extendedDateTimeFromIso(*s);
      if (!o)
        if (auto d = parseDateLiteral(*s)) o = extendedFromDateTime(*d);
    }
    if (!o) mismatch();
    const int r = order(std::get<ExtendedDateTime>(extendedFirst ? a : b), *o);
    return extendedFirst ? r : -r;
  }
  // Text against a number or a date: the text must read as one.
  if (ka == Kind::Text || kb == Kind::Text) {
    const bool textFirst = ka == Kind::Text;
    const std::string& text = std::get<std::string>(textFirst ? a : b);
    const Value& other = textFirst ? b : a;
    const Kind ko = textFirst ? kb : ka;
    int r;
    if (ko == Kind::Number) {
      auto n = numericFromText(text);
      if (!n) mismatch();
      r = compareNumeric(*n, *numericOf(other));
    } else if (ko == Kind::Date) {
      auto d = parseDateLiteral(text);
      if (!d) mismatch();
      r = order(d->serial, std::get<DateTime>(other).serial);
    } else if (ko == Kind::Guid) {
      r = compareTextIgnoringCase(text, guidToString(std::get<Guid>(other)));
    } else {
      mismatch();
    }
    return textFirst ? r : -r;
  }
  mismatch();
}

}  // namespace

// Same-type comparisons of the common scalar types, without conversions.
template <typename T>
std::optional<int> sameType(const Value& a, const Value& b) {
  return order(*std::get_if<T>(&a), *std::get_if<T>(&b));
}

std::optional<int> compareValues(const Value& a, const Value& b) {
  if (a.index() == b.index()) {
    if (std::holds_alternative<int32_t>(a)) return sameType<int32_t>(a, b);
    if (std::holds_alternative<double>(a)) return sameType<double>(a, b);
    if (std::holds_alternative<int16_t>(a)) return sameType<int16_t>(a, b);
    if (std::holds_alternative<uint8_t>(a)) return sameType<uint8_t>(a, b);
    if (auto* c = std::get_if<Currency>(&a)) return order(c->scaled, std::get<Currency>(b).scaled);
  }
  const Kind ka = kindOf(a), kb = kindOf(b);
  if (ka == Kind::Null || kb == Kind::Null) return std::nullopt;
  if (ka != kb) return compareMixed(a, ka, b, kb);
  switch (ka) {
    case Kind::Number:
      return compareNumeric(*numericOf(a), *numericOf(b));
    case Kind::Date:
      return order(std::get<DateTime>(a).serial, std::get<DateTime>(b).serial);
    case Kind::Text:
      return compareTextIgnoringCase(std::get<std::string>(a), std::get<std::string>(b));
    case Kind::Binary:
      return order(std::get<Binary>(a), std::get<Binary>(b));
    case Kind::Guid:
      return order(std::get<Guid>(a).bytes, std::get<Guid>(b).bytes);
    case Kind::ExtendedDate:
      return order(std::get<ExtendedDateTime>(a), std::get<ExtendedDateTime>(b));
    case Kind::Null:
      break;
  }
  return std::nullopt;
}

int compareForSort(const Value& a, const Value& b) {
  const Kind ka = kindOf(a), kb = kindOf(b);
  if (ka == Kind::Null || kb == Kind::Null) return order(ka != Kind::Null, kb != Kind::Null);
  try {
    return *compareValues(a, b);
  } catch (const EngineError&) {
    return order(int(ka), int(kb));
  }
}

}  // namespace kevra::expr
