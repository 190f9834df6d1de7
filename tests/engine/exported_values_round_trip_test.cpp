// Every value text that export writes (CSV and JSON lines share the value
// texts) is taken back by INSERT, as a literal and as quoted text, and stores
// the very value it came from: the ends of every numeric type's range, the
// smallest Singles and Doubles, and the first and last dates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "engine/format/value_text.h"
#include "engine/isam/text_export.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

struct Extreme {
  const char* column;
  Value value;
  bool literal = true;  // also written bare (numbers), not only as 'text'
};

Decimal decimal(bool negative, const char* digits, uint8_t scale) {
  Decimal d;
  d.negative = negative;
  for (const char* p = digits; *p; ++p) d.magnitude = d.magnitude * 10 + unsigned(*p - '0');
  d.precision = 28;
  d.scale = scale;
  return d;
}

std::vector<Extreme> extremes() {
  using F = std::numeric_limits<float>;
  using D = std::numeric_limits<double>;
  const char* nines = "9999999999999999999999999999";  // 28 digits
  return {
      {"b", uint8_t(0)},
      {"b", uint8_t(255)},
      {"i", int16_t(-32768)},
      {"i", int16_t(32767)},
      {"l", std::numeric_limits<int32_t>::min()},
      {"l", std::numeric_limits<int32_t>::max()},
      {"s", F::max()},
      {"s", -F::max()},
      {"s", F::min()},
      {"s", F::denorm_min()},
      {"s", -F::denorm_min()},
      {"s", 0.1f},
      {"d", D::max()},
      {"d", -D::max()},
      {"d", D::min()},
      {"d", D::denorm_min()},
      {"d", 0.30000000000000004},
      {"c", Currency{std::numeric_limits<int64_t>::max()}},
      {"c", Currency{std::numeric_limits<int64_t>::min()}},
      {"w", decimal(false, nines, 0)},
      {"w", decimal(true, nines, 0)},
      {"f", decimal(true, nines, 28)},
      {"f", decimal(false, "1", 28)},
      {"t", DateTime{-657434.0}, false},                          // 0100-01-01
      {"t", DateTime{2958465.0 + 86399.0 / 86400.0}, false},  // 9999-12-31 23:59:59
      {"y", true, false},
      {"y", false, false},
      {"d", D::infinity(), false},
      {"s", -F::infinity(), false},
  };
}

bool sameValue(const Value& a, const Value& b) {
  if (a.index() != b.index()) return false;
  if (auto* d = std::get_if<DateTime>(&a)) return std::fabs(d->serial - std::get<DateTime>(b).serial) < 1e-9;
  if (auto* x = std::get_if<Decimal>(&a)) {
    const Decimal& y = std::get<Decimal>(b);
    return x->magnitude == y.magnitude && x->negative == y.negative && x->scale == y.scale;
  }
  return a == b;
}

}  // namespace

TEST(ExportedValuesRoundTrip, InsertTakesBackEveryExtremeValueText) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE Extremes (n LONG, b BYTE, i SHORT, l LONG, s SINGLE, d DOUBLE, c CURRENCY, "
             "w DECIMAL(28, 0), f DECIMAL(28, 28), t DATETIME, y BIT)");
  const std::vector<std::string> columns = {"n", "b", "i", "l", "s", "d", "c", "w", "f", "t", "y"};
  int n = 0;
  std::vector<std::pair<int, Extreme>> expected;
  for (const Extreme& e : extremes()) {
    // The text the CSV writer gives, and the one JSON lines gives.
    std::string csv, json;
    appendValueText(csv, e.value);
    appendJsonValue(json, e.value);
    if (json.front() == '"') json = json.substr(1, json.size() - 2);
    EXPECT_EQ(json, csv) << e.column;
    std::vector<std::string> forms = {"'" + csv + "'"};
    if (e.literal) forms.push_back(csv);
    if (std::holds_alternative<DateTime>(e.value)) forms.push_back("#" + csv + "#");
    for (const std::string& form : forms) {
      ++n;
      const std::string sql = "INSERT INTO Extremes (n, " + std::string(e.column) + ") VALUES (" +
                              std::to_string(n) + ", " + form + ")";
      try {
        runSql(db, sql);
        expected.emplace_back(n, e);
      } catch (const EngineError& error) {
        ADD_FAILURE() << sql << ": " << error.what();
      }
    }
  }
  std::map<int, std::vector<Value>> rows;
  for (auto& row : allRows(db, "Extremes")) rows[std::get<int32_t>(row[0])] = row;
  for (const auto& [number, e] : expected) {
    const size_t at = size_t(std::find(columns.begin(), columns.end(), e.column) - columns.begin());
    const Value& got = rows.at(number)[at];
    EXPECT_TRUE(sameValue(got, e.value)) << "row " << number << " column " << e.column << ": wrote "
                                         << valueToText(e.value) << ", read " << valueToText(got);
  }
  EXPECT_EQ(checkFile(copy.path()), "clean");
}

// A Single's shortest text read as a double lies a little past the largest
// Single; it still rounds to it, while the next power of two does not.
TEST(ExportedValuesRoundTrip, TheLargestSingleIsTakenAndWhatLiesPastItIsNot) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  runSql(db, "CREATE TABLE S (s SINGLE)");
  runSql(db, "INSERT INTO S VALUES (3.4028235e+38)");
  runSql(db, "INSERT INTO S VALUES (-3.4028235E38)");
  runSql(db, "INSERT INTO S VALUES (CDbl('3.40282356e38'))");
  const auto before = copy.bytes();
  expectRefusedUnchanged(db, copy, before, "INSERT INTO S VALUES (3.40282357e38)", "cannot be stored in field 's'");
  expectRefusedUnchanged(db, copy, before, "INSERT INTO S VALUES ('3.5e38')", "cannot be stored in field 's'");
  expectRefusedUnchanged(db, copy, before, "INSERT INTO S VALUES (1e300)", "cannot be stored in field 's'");
  for (const auto& row : allRows(db, "S")) EXPECT_EQ(std::fabs(std::get<float>(row[0])), std::numeric_limits<float>::max());
}
