// Paradox tables: samples of versions 3.5 to 7 (pxlib, Gnumeric and older
// writers) read with their types and values, memos from .mb files included;
// every engine type written as version 7 and read back; refusals and damage.
#include <gtest/gtest.h>

#include "engine/isam/paradox_driver.h"
#include "engine/util/error.h"
#include "foreign_test_support.h"

namespace kevra {
namespace {

using namespace kevra::test;

const std::string kGenerated = sample("foreign-generated/paradox");
const std::string kForeign = sample("foreign/paradox");

Value timeOfDay(int h, int m, int s) { return DateTime{(h * 3600 + m * 60 + s) / 86400.0}; }

TEST(ParadoxRead, PxlibTableWithEveryScalarTypeAndNulls) {
  auto reader = makeParadoxDriver()->openTable(kGenerated, "people");
  EXPECT_EQ(columnNames(*reader), (std::vector<std::string>{"ID", "Name", "Qty", "Price", "Amount", "Born", "AtTime",
                                                            "Stamp", "Active", "Counter"}));
  const std::vector<ColumnType> types{ColumnType::Long,     ColumnType::Text,     ColumnType::Integer,
                                      ColumnType::Double,   ColumnType::Double,   ColumnType::DateTime,
                                      ColumnType::DateTime, ColumnType::DateTime, ColumnType::Boolean,
                                      ColumnType::Long};
  for (size_t i = 0; i < types.size(); ++i) EXPECT_EQ(reader->columns()[i].type, types[i]) << i;
  EXPECT_EQ(reader->columns()[1].length, 60);
  const auto rows = readRows(*reader);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1], (std::vector<Value>{int32_t(2), text("Björn Åberg"), int16_t(-32767), 1.75, 1234.5678,
                                         date(2000, 2, 29), timeOfDay(23, 59, 59), date(1999, 12, 31, 23, 59, 59),
                                         true, int32_t(2)}));
  EXPECT_EQ(rows[2][3], Value(-0.0001));
  EXPECT_EQ(rows[2][5], date(1900, 1, 1));
  EXPECT_EQ(rows[2][6], timeOfDay(0, 0, 0)) << "midnight is a time, not NULL";
  EXPECT_EQ(rows[0][7], date(2001, 1, 15, 0, 30, 0));
  EXPECT_EQ(rows[0][4], Value(0.0));
  EXPECT_EQ(rows[3], (std::vector<Value>{int32_t(4), null(), null(), 1e300, 922337203685477.5, null(), null(), null(),
                                         null(), int32_t(4)}));
}

TEST(ParadoxRead, GnumericTable) {
  const auto rows = readRows(*makeParadoxDriver()->openTable(kGenerated, "PRODUCTS"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2], (std::vector<Value>{int32_t(3), text("Carol, \"CJ\""), int16_t(32767), -0.0001, -0.01,
                                         date(1900, 1, 1), true}));
}

TEST(ParadoxRead, OlderVersionsKeyedTablesBcdAndCodePages) {
  auto driver = makeParadoxDriver();
  auto orders = driver->openTable(kForeign, "orders");  // 7, keyed, code page 437, 8 blocks
  EXPECT_EQ(orders->columns()[0].name, "Order No");
  auto rows = readRows(*orders);
  ASSERT_EQ(rows.size(), 224u);
  EXPECT_EQ(rows[0][0], Value(1001.0));
  EXPECT_EQ(rows[0][2], date(1988, 4, 3));
  EXPECT_EQ(rows[0][4], text("UPS"));
  EXPECT_EQ(rows[0][5], Value(7320.0));

  rows = readRows(*driver->openTable(kForeign, "date35"));  // version 3.5 header
  EXPECT_EQ(rows, (std::vector<std::vector<Value>>{{date(2018, 1, 1)}, {date(2018, 2, 1)}, {date(2018, 1, 2)}}));

  rows = readRows(*driver->openTable(kForeign, "bcd"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][0], Value(1.23));
  EXPECT_EQ(rows[1][0], Value(-1.23));
  EXPECT_EQ(rows[1][1], Value(-1.0));
  EXPECT_NEAR(asDouble(rows[0][2]), 0.123, 1e-12);
  EXPECT_EQ(rows[2][0], Value(0.0));
  EXPECT_EQ(rows[2][1], null());

  rows = readRows(*driver->openTable(kForeign, "general"));  // 5, code page 936 header
  EXPECT_EQ(rows[2], (std::vector<Value>{int32_t(333333333), text("Elizabet"), 75.0}));
  rows = readRows(*driver->openTable(kForeign, "timestamp"));
  EXPECT_EQ(rows, (std::vector<std::vector<Value>>{{null()}, {date(2020, 2, 1, 1, 0, 1)}}));
  rows = readRows(*driver->openTable(kForeign, "logical"));
  EXPECT_EQ(rows, (std::vector<std::vector<Value>>{{true}, {false}, {true}, {true}}));
  rows = readRows(*driver->openTable(kForeign, "long"));
  EXPECT_EQ(rows[2], (std::vector<Value>{int32_t(3), null()}));
}

TEST(ParadoxRead, MemosInTheRecordAndInSharedAndLoneBlobChunks) {
  auto driver = makeParadoxDriver();
  auto rows = readRows(*driver->openTable(kForeign, "memo"));
  ASSERT_EQ(rows.size(), 2u);
  const std::string first = std::get<std::string>(rows[0][1]);
  EXPECT_EQ(first.size(), 555u);
  EXPECT_EQ(first.substr(0, 16), "0123456789001234");
  EXPECT_EQ(rows[1][1], text("01234567890\n"));

  auto customer = driver->openTable(kForeign, "customer");
  EXPECT_EQ(customer->columns()[8].type, ColumnType::Memo);
  rows = readRows(*customer);
  ASSERT_EQ(rows.size(), 20u);
  EXPECT_EQ(rows[0][8], text("Small comment (less 100 symbols)"));
  EXPECT_EQ(std::get<std::string>(rows[3][8]).size(), 56864u);
  EXPECT_EQ(std::get<std::string>(rows[3][8]).substr(0, 27), " The PARADOX File Structure");
  EXPECT_EQ(rows[5][8], null());
}

TEST(ParadoxRead, EncryptedTablesAreRefused) {
  try {
    makeParadoxDriver()->openTable(kForeign, "encrypted");
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("encrypted.db' is password-protected"), std::string::npos) << e.what();
  }
}

TEST(ParadoxWrite, EveryTypeRoundTripsWithMemosInTheBlobFile) {
  ScratchFolder dir;
  auto driver = makeParadoxDriver();
  auto columns = everyTypeColumns();
  columns.push_back({"Blob", ColumnType::OLE, 0});
  columns.push_back({"Raw", ColumnType::Binary, 4});
  auto sent = everyTypeRows();
  const Binary bigBlob(5000, 0xAB);
  sent[0].push_back(bigBlob);
  sent[0].push_back(Binary{1, 2, 3, 4});
  for (size_t r = 1; r < sent.size(); ++r) {
    sent[r].push_back(r == 1 ? Value(Binary{9}) : null());
    sent[r].push_back(null());
  }
  std::vector<std::string> warnings;
  writeTable(*driver, dir.path(), "everything", columns, sent, &warnings);
  // -32768 is the one Short that Paradox cannot hold: its bytes would read as NULL.
  EXPECT_EQ(warnings, (std::vector<std::string>{"1 value(s) of 'Count' did not fit the field and were left empty."}));
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"everything.db", "everything.mb"}));
  const auto bytes = fileBytes(dir.file("everything.db"));
  EXPECT_EQ(bytes[0x39], 0x0C);  // version 7
  EXPECT_EQ(bytes[4], 2);        // non-indexed
  auto reader = driver->openTable(dir.path(), "everything");
  EXPECT_EQ(reader->columns()[3].type, ColumnType::Integer);
  EXPECT_EQ(reader->columns()[7].type, ColumnType::Double);
  const auto rows = readRows(*reader);
  ASSERT_EQ(rows.size(), sent.size());
  EXPECT_EQ(rows[0], (std::vector<Value>{int32_t(1), text("Alice"), text("first memo"), int16_t(0), null(),
                                         0.5, 2.5, 12.3456, date(1990, 2, 28), true, bigBlob, Binary{1, 2, 3, 4}}));
  EXPECT_EQ(rows[1][1], sent[1][1]);
  EXPECT_EQ(rows[1][2], sent[1][2]);  // 615 bytes: in the .mb file
  EXPECT_EQ(rows[1][3], Value(int16_t(255)));
  EXPECT_EQ(rows[1][6], Value(-0.0001));
  EXPECT_EQ(rows[1][10], Value(Binary{9}));
  EXPECT_EQ(rows[2][1], null()) << "Paradox stores an empty text as NULL";
  EXPECT_EQ(rows[2][2], sent[2][2]);
  EXPECT_EQ(rows[2][8], sent[2][8]);
  EXPECT_EQ(rows[2][9], Value(true));
  for (size_t c = 1; c < rows[3].size(); ++c) EXPECT_EQ(rows[3][c], null()) << c;
}

TEST(ParadoxWrite, ManyRecordsSpanBlocksAndNamesAreMadeUnique) {
  ScratchFolder dir;
  auto driver = makeParadoxDriver();
  std::vector<ResultColumn> columns{{"A rather long field name over 25 chars", ColumnType::Long, 4},
                                    {"A rather long field name over 25 chars too", ColumnType::Text, 2 * 200},
                                    {"Price", ColumnType::Currency, 8}};
  auto writer = driver->createTable(dir.path(), "many", columns);
  for (int i = 0; i < 5000; ++i)
    writer->write({int32_t(i), Value("row " + std::to_string(i) + " ✓"), Currency{int64_t(i) * 10001}});
  writer->finish();
  auto warnings = writer->warnings();
  ASSERT_FALSE(warnings.empty());
  EXPECT_NE(warnings.back().find("5000 character(s) in 'A rather long field name over 25 chars too'"), std::string::npos)
      << warnings.back();
  auto reader = driver->openTable(dir.path(), "many");
  // The name cut to 25 characters ends in a blank, which reading drops (and tells).
  EXPECT_EQ(columnNames(*reader),
            (std::vector<std::string>{"A rather long field name", "A rather long field nam~1", "Price"}));
  EXPECT_EQ(reader->warnings(),
            std::vector<std::string>{"The field 'A rather long field name ' is named 'A rather long field name'."});
  const auto rows = readRows(*reader);
  ASSERT_EQ(rows.size(), 5000u);
  EXPECT_EQ(rows[4321], (std::vector<Value>{int32_t(4321), text("row 4321 ?"), Value(4321 * 1.0001)}));
}

TEST(ParadoxWrite, ExistingTargetIsRefusedAndUnfinishedWriterLeavesNothing) {
  ScratchFolder dir;
  auto driver = makeParadoxDriver();
  {
    auto writer = driver->createTable(dir.path(), "t", everyTypeColumns());
    writer->write(everyTypeRows()[1]);
  }
  EXPECT_TRUE(dir.names().empty());
  writeTable(*driver, dir.path(), "t", everyTypeColumns(), {});
  EXPECT_EQ(readRows(*driver->openTable(dir.path(), "t")).size(), 0u);
  try {
    driver->createTable(dir.path(), "T", everyTypeColumns());
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("t.db' already exists"), std::string::npos) << e.what();
  }
}

TEST(ParadoxRead, DamagedFilesGiveErrorsNamingThem) {
  ScratchFolder dir;
  const auto good = fileBytes(kForeign + "/customer.db");
  auto expectCorrupt = [&](const std::vector<uint8_t>& bytes, const char* what, bool withBlobs = true) {
    writeBytes(dir.file("bad.db"), bytes);
    std::filesystem::remove(dir.file("bad.mb"));
    if (withBlobs) std::filesystem::copy_file(kForeign + "/customer.mb", dir.file("bad.mb"));
    try {
      readRows(*makeParadoxDriver()->openTable(dir.path(), "bad"));
      ADD_FAILURE() << what << ": read without error";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find("bad."), std::string::npos) << what << ": " << e.what();
    }
  };
  for (size_t cut : {size_t(30), size_t(1000), size_t(5000), good.size() - 100})
    expectCorrupt(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)), "truncated");
  auto loop = good;
  loop[2048] = 1;  // block 1 points to itself
  loop[2049] = 0;
  expectCorrupt(loop, "block cycle");
  auto wide = good;
  wide[0] = 0xFF;
  wide[1] = 0x7F;
  expectCorrupt(wide, "record size");
  expectCorrupt(good, "missing .mb", false);
  auto blob = good;
  blob[2048 + 6 + 394 * 3 + 380 + 5] = 0x7F;  // a lone blob's length far past the file
  expectCorrupt(blob, "blob length");
}

}  // namespace
}  // namespace kevra
