// GUID and Decimal columns, which no foreign format has as such, written by
// each driver and read back: GUIDs as their braced text, decimals as numbers.
#include <gtest/gtest.h>

#include "engine/isam/dbase_driver.h"
#include "engine/isam/excel_driver.h"
#include "engine/isam/paradox_driver.h"
#include "foreign_test_support.h"

namespace kevra {
namespace {

using namespace kevra::test;

TEST(ForeignWrite, GuidAndDecimalColumnsInEveryFormat) {
  Guid guid;
  for (uint8_t i = 0; i < 16; ++i) guid.bytes[i] = uint8_t(0x10 + i);
  Decimal amount;
  amount.negative = true;
  amount.magnitude = 12345678;  // -1234.5678
  amount.precision = 12;
  amount.scale = 4;
  const std::vector<ResultColumn> columns{{"Key", ColumnType::Guid, 16}, {"Amount", ColumnType::Decimal, 16, 12, 4}};
  const std::vector<std::vector<Value>> rows{{guid, amount}, {null(), null()}};
  const std::string guidText = guidToString(guid);

  struct Target {
    std::unique_ptr<ForeignDriver> driver;
    bool fileSource;
  };
  Target targets[] = {{makeDbaseDriver(), false}, {makeParadoxDriver(), false}, {makeExcelDriver(), true}};
  for (auto& target : targets) {
    ScratchFolder dir;
    const std::string source = target.fileSource ? dir.file("keys.xls") : dir.path();
    writeTable(*target.driver, source, "keys", columns, rows);
    const auto read = readRows(*target.driver->openTable(source, "keys"));
    ASSERT_EQ(read.size(), 2u) << source;
    EXPECT_EQ(read[0][0], Value(guidText)) << source;
    EXPECT_EQ(read[0][1], Value(-1234.5678)) << source;
    EXPECT_EQ(read[1][1], null()) << source;
  }
}

}  // namespace
}  // namespace kevra
