// Excel workbooks: the LibreOffice, Gnumeric and older samples read as
// tables with guessed types; every engine type written to a new workbook and
// read back; names, refusals and damaged files.
#include <gtest/gtest.h>

#include "engine/isam/biff8_workbook.h"
#include "engine/isam/excel_dates.h"
#include "engine/isam/excel_driver.h"
#include "engine/util/error.h"
#include "foreign_test_support.h"

namespace kevra {
namespace {

using namespace kevra::test;

const std::string kGenerated = sample("foreign-generated/excel");
const std::string kForeign = sample("foreign/xls");

std::vector<std::string> tableNames(ForeignDriver& driver, const std::string& source) {
  std::vector<std::string> out;
  for (auto& t : driver.listTables(source)) {
    EXPECT_EQ(t.type, "TABLE");
    out.push_back(t.name);
  }
  return out;
}

class GeneratedWorkbook : public testing::TestWithParam<const char*> {};

TEST_P(GeneratedWorkbook, SheetsReadWithGuessedTypes) {
  auto driver = makeExcelDriver();
  const std::string path = kGenerated + "/" + GetParam();
  EXPECT_EQ(tableNames(*driver, path), (std::vector<std::string>{"Products", "Orders"})) << "built-in names are skipped";

  auto products = driver->openTable(path, "Products$");
  EXPECT_EQ(columnNames(*products), (std::vector<std::string>{"ID", "Name", "Price", "Qty", "Added", "InStock", "Notes"}));
  const std::vector<ColumnType> types{ColumnType::Double,   ColumnType::Text,    ColumnType::Double, ColumnType::Double,
                                      ColumnType::DateTime, ColumnType::Boolean, ColumnType::Memo};
  for (size_t i = 0; i < types.size(); ++i) EXPECT_EQ(products->columns()[i].type, types[i]) << i;
  auto rows = readRows(*products);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (std::vector<Value>{1.0, text("Widget"), 2.5, 10.0, date(2024, 1, 15), true, text("plain")}));
  EXPECT_EQ(rows[2][1], text("Ünïcödé – café ✓"));
  EXPECT_EQ(rows[1][6], text("has \"quotes\" and, comma"));
  EXPECT_EQ(rows[3][4], null());
  EXPECT_EQ(rows[3][5], null());
  EXPECT_EQ(rows[4][4], date(2000, 2, 29));
  EXPECT_EQ(rows[4][2], Value(1000000.0));
  std::string note = "Long note: ";
  for (int i = 0; i < 30; ++i) note += "abcdefghij";
  EXPECT_EQ(rows[4][6], Value(note));

  auto orders = driver->openTable(path, "orders");
  EXPECT_EQ(orders->columns()[2].type, ColumnType::DateTime);
  EXPECT_EQ(orders->columns()[3].type, ColumnType::Currency);
  EXPECT_EQ(orders->columns()[4].type, ColumnType::Double);
  rows = readRows(*orders);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1], (std::vector<Value>{1002.0, text("Bob"), date(2024, 3, 2, 17, 5, 30), Currency{5000}, null(), false}))
      << "the minority text 'n/a' of the number column Mixed is NULL";
  EXPECT_EQ(rows[3][3], Value(Currency{-123400}));
  EXPECT_EQ(valueToText(rows[3][2]), "2024-03-04T23:59:59") << "stored one unit off the exact serial";
  EXPECT_EQ(rows[2][1], text("Zoë"));
  EXPECT_EQ(rows[3][1], null());
}

INSTANTIATE_TEST_SUITE_P(Writers, GeneratedWorkbook, testing::Values("workbook.xls", "workbook_gnumeric.xls"));

TEST(ExcelRead, WorkbooksOfOtherWriters) {
  auto driver = makeExcelDriver();
  auto rows = readRows(*driver->openTable(kForeign + "/tika_test-columnar.xls", "testing"));
  ASSERT_EQ(rows.size(), 11u);
  EXPECT_EQ(rows[3][1], Value(9.0));
  EXPECT_EQ(rows[3][2], text("This is row            3 of           10"));
  EXPECT_EQ(rows[2][5], date(1960, 1, 17));
  EXPECT_EQ(rows[2][6], date(1960, 1, 1, 0, 1, 40));

  // Excel for Mac: RK and MULRK numbers, booleans, times, a sparse header.
  auto sheet2 = driver->openTable(kForeign + "/meza_test.xls", "Sheet2");
  EXPECT_EQ(columnNames(*sheet2), (std::vector<std::string>{"text", "date", "integer", "boolean", "float", "time",
                                                            "datetime", "empty_column", "F9"}));
  rows = readRows(*sheet2);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[1][0], text("Chicago Sun-Times"));
  EXPECT_EQ(rows[1][3], Value(true));
  EXPECT_EQ(rows[0][4], Value(41800000.01));
  EXPECT_EQ(rows[1][6], date(1943, 12, 31, 14, 57, 13));
  EXPECT_EQ(rows[1][8], text("Extra data past headers will be trimmed"));
  EXPECT_EQ(rows[4][0], text("Unicode! Σ"));

  rows = readRows(*driver->openTable(kForeign + "/tika_testexcel_dateformats.xls", "Munka1"));
  EXPECT_EQ(rows, (std::vector<std::vector<Value>>{{date(2018, 9, 20)}, {date(1996, 8, 10)}}));

  const std::string french = kForeign + "/tika_testexcel.xls";
  EXPECT_EQ(tableNames(*driver, french), (std::vector<std::string>{"Feuil1", "Feuil2", "Feuil3"}));
  EXPECT_EQ(readRows(*driver->openTable(french, "Feuil2")).size(), 0u) << "an empty sheet is an empty table";
  EXPECT_EQ(readRows(*driver->openTable(french, "Feuil1")).size(), 21u);
}

TEST(ExcelRead, OlderFormatsAndMissingTablesAreRefusedByName) {
  auto driver = makeExcelDriver();
  try {
    driver->listTables(kForeign + "/tika_testexcel_95.xls");
    FAIL();
  } catch (const UnsupportedError& e) {
    EXPECT_NE(std::string(e.what()).find("Excel 5.0/95"), std::string::npos) << e.what();
  }
  try {
    driver->openTable(kGenerated + "/workbook.xls", "Customers");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("no sheet or named range 'Customers'"), std::string::npos) << e.what();
  }
  EXPECT_THROW(driver->listTables(sample("foreign-generated/dbase/people_lo.dbf")), EngineError);
}

TEST(ExcelWrite, EveryTypeRoundTripsThroughTheNamedRange) {
  ScratchFolder dir;
  auto driver = makeExcelDriver();
  auto columns = everyTypeColumns();
  columns.push_back({"Picture", ColumnType::OLE, 0});
  auto sent = everyTypeRows();
  for (auto& row : sent) row.push_back(Binary{1, 2});
  // Long enough to need CONTINUE records in the shared string table.
  sent[1][2] = Value(std::string(9000, 'z') + "ü" + std::string(9000, 'y'));
  sent[2][2] = Value(std::string(20000, 'w') + "€");
  const std::string path = dir.file("Order Details.xls");
  std::vector<std::string> warnings;
  writeTable(*driver, path, "Order Details", columns, sent, &warnings);
  EXPECT_EQ(warnings, (std::vector<std::string>{"The field 'Picture' was left out: Excel cells cannot hold binary data."}));
  EXPECT_EQ(tableNames(*driver, path), (std::vector<std::string>{"Order_Details", "Order Details"}));

  for (const char* table : {"Order_Details", "Order Details"}) {
    auto reader = driver->openTable(path, table);
    EXPECT_EQ(columnNames(*reader), (std::vector<std::string>{"Id", "Name", "Notes", "Small", "Count", "Ratio", "Amount",
                                                              "Price", "Born", "Active"}));
    const std::vector<ColumnType> types{ColumnType::Double, ColumnType::Text,   ColumnType::Memo,
                                        ColumnType::Double, ColumnType::Double, ColumnType::Double,
                                        ColumnType::Double, ColumnType::Currency, ColumnType::DateTime,
                                        ColumnType::Boolean};
    for (size_t i = 0; i < types.size(); ++i) EXPECT_EQ(reader->columns()[i].type, types[i]) << i;
    const auto rows = readRows(*reader);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<Value>{1.0, text("Alice"), text("first memo"), 0.0, -32768.0, 0.5, 2.5,
                                           Currency{123456}, date(1990, 2, 28), true}));
    EXPECT_EQ(rows[1][0], Value(-2147483647.0));
    EXPECT_EQ(rows[1][1], sent[1][1]);
    EXPECT_EQ(rows[1][2], sent[1][2]);
    EXPECT_EQ(rows[2][2], sent[2][2]);
    EXPECT_EQ(rows[1][6], Value(-0.0001));
    EXPECT_EQ(rows[2][6], Value(1234567.125));
    EXPECT_EQ(rows[1][7], Value(Currency{-1}));
    EXPECT_EQ(rows[1][8], date(2000, 2, 29));
    EXPECT_EQ(rows[2][8], date(1899, 12, 30));
    EXPECT_EQ(rows[2][1], null()) << "an empty text is an empty cell";
    for (size_t c = 1; c < rows[3].size(); ++c) EXPECT_EQ(rows[3][c], null()) << c;
  }
}

TEST(ExcelWrite, DatesBeforeMarch1900AndTimesOfDaySurvive) {
  ScratchFolder dir;
  auto driver = makeExcelDriver();
  const std::string path = dir.file("dates.xls");
  const std::vector<std::vector<Value>> sent{{date(1850, 7, 4)},       {date(1850, 7, 4, 18, 30)}, {date(1899, 12, 29, 6, 0)},
                                             {date(1899, 12, 31)},     {date(1900, 1, 1)},         {date(1900, 2, 28, 6, 0)},
                                             {date(1900, 3, 1)},       {date(2024, 2, 29, 23, 59, 59)}};
  writeTable(*driver, path, "dates", {{"When", ColumnType::DateTime, 8}}, sent);
  EXPECT_EQ(readRows(*driver->openTable(path, "dates")), sent);
}

TEST(ExcelDates, DaysBeforeMarch1900CountTheLeapDayThatNeverWas) {
  auto serialOf = [](const Value& v) { return oleToExcelSerial(std::get<DateTime>(v).serial); };
  // Excel numbers as Excel's own date system (and readers following it) place them.
  const std::pair<Value, double> known[] = {
      {date(2024, 2, 29), 45351},     {date(1900, 3, 1), 61},     {date(1900, 2, 28), 59},
      {date(1900, 1, 1), 1},          {date(1899, 12, 31), 0},    {date(1899, 12, 30), -1},
      {date(1850, 7, 4), -18077},     {date(1850, 7, 4, 18, 0), -18076.25},
      {date(1899, 12, 29, 6, 0), -1.75},
  };
  for (const auto& [when, serial] : known) {
    EXPECT_EQ(serialOf(when), serial) << valueToText(when);
    EXPECT_EQ(Value(DateTime{excelSerialToOle(serial, false)}), when) << serial;
  }
  EXPECT_EQ(Value(DateTime{excelSerialToOle(60, false)}), date(1900, 2, 28)) << "the day that never was";
  EXPECT_EQ(Value(DateTime{excelSerialToOle(0, true)}), date(1904, 1, 1));
  EXPECT_EQ(Value(DateTime{excelSerialToOle(-1.25, true)}), date(1903, 12, 30, 18, 0));
}

TEST(ExcelWrite, ExistingWorkbookIsRefusedAndFullSheetFailsWithoutAFile) {
  ScratchFolder dir;
  auto driver = makeExcelDriver();
  const std::string path = dir.file("t.xls");
  writeTable(*driver, path, "t", {{"A", ColumnType::Long, 4}}, {{int32_t(1)}});
  const auto before = fileBytes(path);
  try {
    driver->createTable(path, "t", {{"A", ColumnType::Long, 4}});
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("already has a sheet 't'"), std::string::npos) << e.what();
  }
  EXPECT_THROW(driver->createTable(path, "other", {{"A", ColumnType::Long, 4}}), EngineError);
  EXPECT_EQ(fileBytes(path), before);

  const std::string big = dir.file("big.xls");
  auto writer = driver->createTable(big, "big", {{"A", ColumnType::Long, 4}});
  int written = 0;
  try {
    for (; written < 70000; ++written) writer->write({int32_t(written)});
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("65,535 records"), std::string::npos) << e.what();
  }
  EXPECT_EQ(written, 65535);
  writer.reset();
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"t.xls"}));
}

// One shared string in many cells costs the file a few bytes per cell but
// the reader a copy each: the copies of a sheet are bounded.
TEST(ExcelRead, SharedStringsExpandOnlyUpToTheSheetTextLimit) {
  ScratchFolder dir;
  auto driver = makeExcelDriver();
  const std::string path = dir.file("shared.xls");
  const Value note(std::string(30000, 'n'));
  writeTable(*driver, path, "shared", {{"Notes", ColumnType::Memo, 0}}, std::vector<std::vector<Value>>(200, {note}));
  EXPECT_LT(fileBytes(path).size(), 100000u);
  Biff8Workbook book(path);
  EXPECT_EQ(book.cells(0).size(), 201u);
  try {
    book.cells(0, 1 << 20);
    ADD_FAILURE() << "6 MB of copies read under a 1 MB limit";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("'shared' of '" + path + "' holds more than 1048576 bytes"), std::string::npos)
        << e.what();
  }
}

TEST(ExcelRead, DamagedWorkbooksGiveErrorsNamingThem) {
  ScratchFolder dir;
  const auto good = fileBytes(kGenerated + "/workbook.xls");
  auto expectError = [&](const std::vector<uint8_t>& bytes, const char* what) {
    writeBytes(dir.file("bad.xls"), bytes);
    try {
      auto driver = makeExcelDriver();
      for (auto& t : driver->listTables(dir.file("bad.xls"))) readRows(*driver->openTable(dir.file("bad.xls"), t.name));
      ADD_FAILURE() << what << ": read without error";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find("bad.xls"), std::string::npos) << what << ": " << e.what();
    }
  };
  for (size_t cut : {size_t(100), size_t(600), good.size() / 2, good.size() - 600})
    expectError(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)), "truncated");
  auto cyclic = good;
  // Every FAT entry of the first FAT sector points at sector 0: chains loop.
  const uint32_t fatSector = uint32_t(cyclic[0x4C]) | uint32_t(cyclic[0x4D]) << 8;
  for (size_t i = 0; i < 512; i += 4) {
    const size_t at = (fatSector + 1) * 512 + i;
    cyclic[at] = cyclic[at + 1] = cyclic[at + 2] = cyclic[at + 3] = 0;
  }
  expectError(cyclic, "sector cycle");
  auto huge = good;
  huge[0x2C] = huge[0x2D] = huge[0x2E] = 0xFF;  // millions of FAT sectors
  expectError(huge, "FAT count");
}

}  // namespace
}  // namespace kevra
