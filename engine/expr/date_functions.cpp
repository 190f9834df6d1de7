// Date function implementations over OLE date serials; "now" is the local time.
#include "engine/expr/date_functions.h"

#include <cmath>
#include <ctime>

#include "engine/format/value_text.h"
#include "engine/expr/date_literal.h"
#include "engine/expr/function_arguments.h"

namespace kevra::expr {
namespace {

DateTime dateArgument(const Value& v, std::string_view function) {
  if (auto* d = std::get_if<DateTime>(&v)) return *d;
  if (auto* s = std::get_if<std::string>(&v)) {
    if (auto d = parseDateLiteral(*s)) return *d;
    throw EngineError("Data type mismatch in the arguments of " + std::string(function) + ": '" + *s +
                      "' is not a date.");
  }
  return DateTime{numberArgument(v, function).approx};
}

DateTime now() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return dateSerial(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

// Whole days of a serial (dates before 1899-12-30 carry their time as a
// positive fraction below the negative day number).
double dayPart(double serial) { return std::trunc(serial); }

}  // namespace

std::optional<Value> callDateFunction(std::string_view name, const std::vector<Value>& args) {
  auto is = [&](const char* n) { return sameFunctionName(name, n); };
  if (is("Now") || is("Date") || is("Time")) {
    requireArgumentCount(name, args, 0, 0);
    const DateTime t = now();
    if (is("Now")) return t;
    const double day = dayPart(t.serial);
    return is("Date") ? DateTime{day} : DateTime{t.serial - day};
  }
  if (is("DateSerial")) {
    requireArgumentCount(name, args, 3, 3);
    for (const Value& a : args)
      if (isNull(a)) return Value{};
    const double y = numberArgument(args[0], name).approx, m = numberArgument(args[1], name).approx,
                 d = numberArgument(args[2], name).approx;
    if (!(y >= 100 && y <= 9999 && m >= -1200 && m <= 1200 && d >= -100000 && d <= 100000))
      throw EngineError("An argument of DateSerial is out of range.");
    // Months and days outside their range roll over, as in VBA.
    int year = int(y), month = int(m);
    year += (month - 1 >= 0 ? (month - 1) / 12 : -((12 - month) / 12));
    month = ((month - 1) % 12 + 12) % 12 + 1;
    return DateTime{dateSerial(year, month, 1, 0, 0, 0).serial + std::trunc(d) - 1};
  }
  if (is("DateValue")) {
    requireArgumentCount(name, args, 1, 1);
    if (isNull(args[0])) return Value{};
    return DateTime{dayPart(dateArgument(args[0], name).serial)};
  }
  static const char* const parts[] = {"Year", "Month", "Day", "Hour", "Minute", "Second", "Weekday"};
  for (const char* part : parts) {
    if (!is(part)) continue;
    requireArgumentCount(name, args, 1, 1);
    if (isNull(args[0])) return Value{};
    const DateTime d = dateArgument(args[0], name);
    // Years 100 to 9999, as dates can be stored.
    if (!(d.serial >= -657434.0 && d.serial < 2958466.0))
      throw EngineError("The argument of " + std::string(name) + " is not a date between the years 100 and 9999.");
    const CivilDateTime c = toCivil(d);
    if (is("Year")) return int32_t(c.year);
    if (is("Month")) return int32_t(c.month);
    if (is("Day")) return int32_t(c.day);
    if (is("Hour")) return int32_t(c.hour);
    if (is("Minute")) return int32_t(c.minute);
    if (is("Second")) return int32_t(c.second);
    // 1899-12-30 (serial 0) was a Saturday (7).
    const int64_t days = int64_t(std::floor(d.serial < 0 ? dayPart(d.serial) : d.serial));
    return int32_t(((days + 6) % 7 + 7) % 7 + 1);
  }
  return std::nullopt;
}

}  // namespace kevra::expr
