// dBase tables: the foreign samples (LibreOffice, python3-dbf, FoxPro, GIS
// exports) read with their types and values; every engine type written and
// read back; names, code pages, refusals and damaged files.
#include <gtest/gtest.h>

#include "engine/isam/dbase_driver.h"
#include "engine/util/error.h"
#include "foreign_test_support.h"

namespace kevra {
namespace {

using namespace kevra::test;

const std::string kGenerated = sample("foreign-generated/dbase");
const std::string kForeign = sample("foreign/dbase");

TEST(DbaseRead, LibreOfficeTableWithMemosAndWindows1252Text) {
  auto driver = makeDbaseDriver();
  auto reader = driver->openTable(kGenerated, "people_lo");
  EXPECT_EQ(columnNames(*reader), (std::vector<std::string>{"ID", "NAME", "PRICE", "BORN", "ACTIVE", "NOTES"}));
  const auto& c = reader->columns();
  EXPECT_EQ(c[0].type, ColumnType::Double);
  EXPECT_EQ(c[1].type, ColumnType::Text);
  EXPECT_EQ(c[1].length, 60);
  EXPECT_EQ(c[3].type, ColumnType::DateTime);
  EXPECT_EQ(c[4].type, ColumnType::Boolean);
  EXPECT_EQ(c[5].type, ColumnType::Memo);
  const auto rows = readRows(*reader);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1][1], text("Björn Åberg"));
  EXPECT_EQ(rows[3][1], text(""));
  EXPECT_EQ(asDouble(rows[2][2]), 1234567.89);
  EXPECT_EQ(asDouble(rows[1][2]), -0.25);
  EXPECT_EQ(rows[0][3], date(1990, 2, 28));
  EXPECT_EQ(rows[1][3], date(2000, 2, 29));
  EXPECT_EQ(rows[2][3], null());
  EXPECT_EQ(rows[0][4], Value(true));
  EXPECT_EQ(rows[3][4], Value(false));
  EXPECT_EQ(rows[0][5], text("first memo"));
  EXPECT_EQ(rows[1][5], text("A longer memo, with a comma and \"quotes\", that is longer than the ten characters of a pointer"));
  EXPECT_EQ(rows[2][5], null());
  EXPECT_EQ(rows[3][5], text("x"));
}

TEST(DbaseRead, PythonDbfTableWithSpacePaddedMemoPointersAndNulls) {
  auto driver = makeDbaseDriver();
  auto reader = driver->openTable(kGenerated, "orders_pydbf");
  const auto rows = readRows(*reader);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2][1], text("Zoë"));
  EXPECT_EQ(asDouble(rows[1][3]), 3.1416);
  EXPECT_EQ(rows[2][3], null());
  EXPECT_EQ(rows[2][4], null());
  EXPECT_EQ(rows[2][5], null());  // stored '?'
  EXPECT_EQ(rows[0][6], text("short memo"));
  EXPECT_EQ(rows[1][6], text("Memo line 1\r\nMemo line 2 with ümlaut, comma, \"quote\""));
  EXPECT_EQ(rows[2][6], text(""));
}

TEST(DbaseRead, TableWithoutMemoAndNamesMatchedIgnoringCase) {
  auto driver = makeDbaseDriver();
  auto reader = driver->openTable(kGenerated, "PRODUCTS_LO");
  const auto rows = readRows(*reader);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2][1], text("Café crème"));
  EXPECT_EQ(asDouble(rows[2][2]), -5);
  EXPECT_EQ(asDouble(rows[2][3]), 0.1);
  EXPECT_EQ(rows[1][4], date(2023, 12, 31));
}

TEST(DbaseRead, DeletedRecordsAreSkipped) {
  auto driver = makeDbaseDriver();
  auto people = readRows(*driver->openTable(kForeign, "dbfread_people"));
  ASSERT_EQ(people.size(), 2u);
  EXPECT_EQ(people[0][0], text("Alice"));
  EXPECT_EQ(people[0][1], date(1987, 3, 1));
  // Visual FoxPro: binary memo pointers into an .fpt file.
  auto memo = driver->openTable(kForeign, "dbfread_memotest");
  EXPECT_EQ(memo->columns()[2].type, ColumnType::Memo);
  auto rows = readRows(*memo);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][2], text("Alice memo"));
  EXPECT_EQ(rows[1][2], text("Bob memo"));
}

TEST(DbaseRead, ForeignSamplesOfOtherWriters) {
  auto driver = makeDbaseDriver();
  auto meza = driver->openTable(kForeign, "meza_test");
  EXPECT_EQ(meza->columns().size(), 12u);
  auto rows = readRows(*meza);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[0][3], text("Congressional District 8"));
  EXPECT_EQ(rows[7][1], text("03"));
  EXPECT_EQ(asDouble(rows[7][8]), 1203647438);

  // No code-page mark, UTF-8 text: taken as UTF-8.
  rows = readRows(*driver->openTable(kForeign, "tika_testdbf"));
  ASSERT_EQ(rows.size(), 20u);
  EXPECT_EQ(rows[1][0], text("普林斯顿大学"));
  EXPECT_EQ(rows[2][0], text("جامعة برنستون"));
  EXPECT_EQ(asDouble(rows[3][1]), 3.1);
  EXPECT_EQ(rows[19][2], date(2016, 6, 12));

  auto gis = driver->openTable(kForeign, "catesri_posted_text");
  ASSERT_EQ(gis->columns().size(), 22u);
  EXPECT_EQ(gis->columns()[6].length, 2 * 254);
  EXPECT_EQ(gis->columns()[12].type, ColumnType::Boolean);
  rows = readRows(*gis);
  ASSERT_EQ(rows.size(), 77u);
  EXPECT_EQ(rows[5][6], text("100 Ac."));
  EXPECT_EQ(asDouble(rows[5][4]), 12452040);
  EXPECT_EQ(rows[5][12], Value(false));
}

TEST(DbaseRead, ListsTheDbfFilesOfTheFolder) {
  auto tables = makeDbaseDriver()->listTables(kGenerated);
  std::vector<std::string> names;
  for (auto& t : tables) {
    names.push_back(t.name);
    EXPECT_EQ(t.type, "TABLE");
  }
  EXPECT_EQ(names, (std::vector<std::string>{"orders_pydbf", "people_lo", "products_lo"}));
}

TEST(DbaseWrite, EveryTypeRoundTrips) {
  ScratchFolder dir;
  auto driver = makeDbaseDriver();
  std::vector<std::string> warnings;
  writeTable(*driver, dir.path(), "everything", everyTypeColumns(), everyTypeRows(), &warnings);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"everything.dbf", "everything.dbt"}));
  auto reader = driver->openTable(dir.path(), "everything");
  EXPECT_EQ(columnNames(*reader), (std::vector<std::string>{"Id", "Name", "Notes", "Small", "Count", "Ratio",
                                                            "Amount", "Price", "Born", "Active"}));
  const auto rows = readRows(*reader);
  const auto sent = everyTypeRows();
  ASSERT_EQ(rows.size(), sent.size());
  EXPECT_EQ(asDouble(rows[1][0]), -2147483647);
  EXPECT_EQ(rows[1][1], sent[1][1]);
  EXPECT_EQ(rows[1][2], sent[1][2]);
  EXPECT_EQ(rows[2][2], sent[2][2]);
  EXPECT_EQ(asDouble(rows[1][3]), 255);
  EXPECT_EQ(asDouble(rows[0][4]), -32768);
  EXPECT_EQ(asDouble(rows[1][5]), -1.25);
  EXPECT_EQ(asDouble(rows[1][6]), -0.0001);
  EXPECT_EQ(asDouble(rows[2][6]), 1234567.125);
  EXPECT_EQ(asDouble(rows[0][7]), 12.3456);
  EXPECT_EQ(asDouble(rows[2][7]), 92233720368547.0);
  EXPECT_EQ(rows[1][8], sent[1][8]);
  EXPECT_EQ(rows[2][8], sent[2][8]);
  EXPECT_EQ(rows[0][9], Value(true));
  EXPECT_EQ(rows[1][9], Value(false));
  for (size_t c = 0; c < rows[3].size(); ++c) {
    if (c == 0) continue;
    if (c == 1) EXPECT_EQ(rows[3][c], text("")) << "dBase has no NULL text";
    else EXPECT_EQ(rows[3][c], null()) << c;
  }
  EXPECT_TRUE(warnings.empty()) << warnings.front();
}

// Numbers are written with every digit they need, the decimals of a Single
// or Double field being the most any value needed; what cannot fit the
// 20 characters dBase allows is rounded and counted in a warning.
TEST(DbaseWrite, NumbersKeepTheirDigitsAndRoundingIsReported) {
  ScratchFolder dir;
  auto driver = makeDbaseDriver();
  const std::vector<ResultColumn> columns{{"Amount", ColumnType::Double, 8},
                                          {"Ratio", ColumnType::Single, 4},
                                          {"Price", ColumnType::Currency, 8}};
  const std::vector<std::vector<Value>> sent{
      {3.14159265358979, 0.1f, Currency{9000000000000001234}},
      {1e-10, 16777216.0f, Currency{-1}},
      {1e25, -1.25f, Currency{-9223372036854775807LL}},
      {1.2345678901234568e-06, null(), Currency{50000}},
      {-1.7976931348623157e308, null(), null()},
  };
  std::vector<std::string> warnings;
  writeTable(*driver, dir.path(), "numbers", columns, sent, &warnings);
  const auto rows = readRows(*driver->openTable(dir.path(), "numbers"));
  ASSERT_EQ(rows.size(), sent.size());
  EXPECT_EQ(asDouble(rows[0][0]), 3.14159265358979);
  EXPECT_EQ(asDouble(rows[1][0]), 1e-10);
  EXPECT_EQ(asDouble(rows[2][0]), 1e25) << "the exponent form holds it exactly";
  EXPECT_NEAR(asDouble(rows[3][0]), 1.2345678901234568e-06, 1e-19);
  EXPECT_NE(asDouble(rows[3][0]), 1.2345678901234568e-06);
  EXPECT_EQ(asDouble(rows[0][1]), 0.1) << "a Single as the shortest text that reads back as it";
  EXPECT_EQ(asDouble(rows[1][1]), 16777216.0);
  EXPECT_EQ(asDouble(rows[0][2]), 900000000000000.1234);
  const auto bytes = fileBytes(dir.file("numbers.dbf"));
  auto lengthAndDecimals = [&](size_t field) {
    return std::pair<int, int>(bytes[32 + 32 * field + 16], bytes[32 + 32 * field + 17]);
  };
  EXPECT_EQ(lengthAndDecimals(0), std::pair(20, 14)) << "3.14159265358979 needs 14 decimals";
  EXPECT_EQ(lengthAndDecimals(1), std::pair(20, 2));
  EXPECT_EQ(lengthAndDecimals(2), std::pair(20, 4));
  const std::string file(bytes.begin(), bytes.end());
  EXPECT_NE(file.find(std::string(14, ' ') + "5.0000"), std::string::npos) << "Currency with its four decimals";
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "2 value(s) of 'Amount' were rounded to fit a dBase number of 20 characters.",
                          "1 value(s) of 'Price' were rounded to fit a dBase number of 20 characters."}));
}

TEST(DbaseWrite, NamesAreCutUniqueAndUnrepresentableCharactersReported) {
  ScratchFolder dir;
  auto driver = makeDbaseDriver();
  std::vector<ResultColumn> columns{{"Customer Number", ColumnType::Long, 4},
                                    {"Customer Name", ColumnType::Text, 20},
                                    {"Picture", ColumnType::OLE, 0},
                                    {"When", ColumnType::DateTime, 8}};
  std::vector<std::string> warnings;
  writeTable(*driver, dir.path(), "names", columns,
             {{int32_t(1), text("Zoë ✓ €"), Value(Binary{1, 2}), date(2024, 3, 1, 9, 30)}}, &warnings);
  auto reader = driver->openTable(dir.path(), "names");
  EXPECT_EQ(columnNames(*reader), (std::vector<std::string>{"Customer_N", "Customer~1", "When"}));
  const auto rows = readRows(*reader);
  EXPECT_EQ(rows[0][1], text("Zoë ? €"));
  EXPECT_EQ(rows[0][2], date(2024, 3, 1));
  auto mentions = [&](const std::string& part) {
    for (auto& w : warnings)
      if (w.find(part) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(mentions("1 character(s) in 'Customer Name'"));
  EXPECT_TRUE(mentions("'Picture' was left out"));
  EXPECT_TRUE(mentions("time(s) of day in 'When'"));
  EXPECT_EQ(fileBytes(dir.file("names.dbf"))[29], 0x57);
}

TEST(DbaseWrite, ExistingTargetIsRefusedAndUnfinishedWriterLeavesNothing) {
  ScratchFolder dir;
  auto driver = makeDbaseDriver();
  {
    auto writer = driver->createTable(dir.path(), "orders", everyTypeColumns());
    writer->write(everyTypeRows()[0]);
  }
  EXPECT_TRUE(dir.names().empty());
  writeTable(*driver, dir.path(), "orders", everyTypeColumns(), {});
  const auto before = fileBytes(dir.file("orders.dbf"));
  try {
    driver->createTable(dir.path(), "ORDERS", everyTypeColumns());
    FAIL() << "an existing table was overwritten";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("orders.dbf"), std::string::npos) << e.what();
  }
  EXPECT_EQ(fileBytes(dir.file("orders.dbf")), before);
  EXPECT_EQ(readRows(*driver->openTable(dir.path(), "orders")).size(), 0u);
  EXPECT_THROW(driver->createTable(dir.path(), "../escape", everyTypeColumns()), EngineError);
  EXPECT_THROW(driver->openTable(dir.path(), "missing"), EngineError);
}

// Other programs' field names may hold what a Jet name cannot ("A.B"):
// the reader renames and tells.
TEST(DbaseRead, FieldNamesJetRefusesAreRenamedAndReported) {
  ScratchFolder dir;
  auto driver = makeDbaseDriver();
  writeTable(*driver, dir.path(), "dotted", {{"AxB", ColumnType::Long, 4}, {"A_B", ColumnType::Long, 4}},
             {{int32_t(1), int32_t(2)}});
  auto bytes = fileBytes(dir.file("dotted.dbf"));
  ASSERT_EQ(bytes[32 + 1], 'x');
  bytes[32 + 1] = '.';
  writeBytes(dir.file("dotted.dbf"), bytes);
  auto reader = driver->openTable(dir.path(), "dotted");
  EXPECT_EQ(columnNames(*reader), (std::vector<std::string>{"A_B", "A_B1"}));
  EXPECT_EQ(reader->warnings(), (std::vector<std::string>{"The field 'A.B' is named 'A_B'.",
                                                          "The field 'A_B' is named 'A_B1'."}));
}

TEST(DbaseRead, DamagedFilesGiveErrorsNamingThem) {
  ScratchFolder dir;
  const auto good = fileBytes(kGenerated + "/people_lo.dbf");
  auto expectCorrupt = [&](const std::vector<uint8_t>& bytes, const char* what) {
    writeBytes(dir.file("bad.dbf"), bytes);
    try {
      auto reader = makeDbaseDriver()->openTable(dir.path(), "bad");
      readRows(*reader);
      ADD_FAILURE() << what << ": read without error";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find("bad."), std::string::npos) << what << ": " << e.what();
    }
  };
  for (size_t cut : {size_t(10), size_t(100), good.size() - 40})
    expectCorrupt(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)), "truncated");
  auto huge = good;
  huge[4] = huge[5] = huge[6] = 0xFF;  // millions of records promised
  expectCorrupt(huge, "record count");
  auto noEnd = good;
  for (size_t i = 32; i < noEnd.size(); ++i) noEnd[i] = 'A';
  expectCorrupt(noEnd, "field list");
  // The memo pointer points past the memo file.
  std::filesystem::copy_file(kGenerated + "/people_lo.dbt", dir.file("bad.dbt"));
  std::filesystem::resize_file(dir.file("bad.dbt"), 600);
  expectCorrupt(good, "memo file");
}

}  // namespace
}  // namespace kevra
