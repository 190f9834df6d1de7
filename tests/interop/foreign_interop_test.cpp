// Foreign files written by our drivers, read by independent readers:
// python3-dbfread for dBase, python3-xlrd and Gnumeric's ssconvert for Excel,
// pxlib for Paradox (scalar fields; it cannot open blob files). Each check is
// skipped when its reader is not installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/format/value_text.h"
#include "engine/isam/dbase_driver.h"
#include "engine/isam/excel_driver.h"
#include "engine/isam/paradox_driver.h"
#include "process.h"

namespace kevra {
namespace {

using interop::runProcess;
using interop::splitLines;

const std::string kOracles = KEVRA_FOREIGN_ORACLES;
const std::string kPython = "/usr/bin/python3";

class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/kevra-foreign-interop-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  ~Scratch() { std::filesystem::remove_all(dir_); }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }
  const std::string& path() const { return dir_; }

 private:
  std::string dir_;
};

bool pythonHas(const char* module) {
  if (!std::filesystem::exists(kPython)) return false;
  return runProcess({kPython, "-c", std::string("import ") + module}).exitCode == 0;
}

bool onPath(const char* program) { return runProcess({"sh", "-c", std::string("command -v ") + program}).exitCode == 0; }

Value date(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) { return fromCivil({y, m, d, hh, mm, ss, 0}); }

const std::vector<ResultColumn> kColumns{
    {"Id", ColumnType::Long, 4},        {"Name", ColumnType::Text, 2 * 50},  {"Notes", ColumnType::Memo, 0},
    {"Small", ColumnType::Byte, 1},     {"Count", ColumnType::Integer, 2},   {"Ratio", ColumnType::Single, 4},
    {"Amount", ColumnType::Double, 8},  {"Price", ColumnType::Currency, 8},  {"Born", ColumnType::DateTime, 8},
    {"Active", ColumnType::Boolean, 1},
};

std::vector<std::vector<Value>> rows() {
  return {
      {int32_t(1), std::string("Alice"), std::string("first memo"), uint8_t(0), int16_t(-32767), 0.5f, 2.5,
       Currency{123456}, date(1990, 2, 28), true},
      {int32_t(-2147483647), std::string("Björn Åberg, \"quoted\""), std::string("Memo ü\r\nline two"), uint8_t(255),
       int16_t(32767), -1.25f, -0.0001, Currency{-1}, date(2000, 2, 29, 13, 45, 30), false},
      {int32_t(4), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value()},
  };
}

void write(ForeignDriver& driver, const std::string& source, const std::string& table,
           const std::vector<ResultColumn>& columns, const std::vector<std::vector<Value>>& data) {
  auto writer = driver.createTable(source, table, columns);
  for (const auto& row : data) writer->write(row);
  writer->finish();
}

std::vector<std::string> run(const std::vector<std::string>& argv) {
  const auto result = runProcess(argv);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return splitLines(result.out);
}

TEST(ForeignInterop, DbaseTableReadByDbfread) {
  if (!pythonHas("dbfread")) GTEST_SKIP() << "python3-dbfread is not installed";
  Scratch dir;
  auto driver = makeDbaseDriver();
  write(*driver, dir.path(), "people", kColumns, rows());
  const auto lines = run({kPython, kOracles + "/read_dbf.py", dir.file("people.dbf")});
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Id:N:11:0 Name:C:50:0 Notes:M:10:0 Small:N:3:0 Count:N:6:0 Ratio:N:20:2 Amount:N:20:4 "
                       "Price:N:20:4 Born:D:8:0 Active:L:1:0",
                       "codepage 0x57 version 0x83",
                       "1 | Alice | first memo | 0 | -32767 | 0.5 | 2.5 | 12.3456 | 1990-02-28 | True",
                       "-2147483647 | Björn Åberg, \"quoted\" | Memo ü\\r\\nline two | 255 | 32767 | -1.25 | -0.0001 | "
                       "-0.0001 | 2000-02-29 | False",
                       "4 |  | None | None | None | None | None | None | None | None",
                   }));
}

TEST(ForeignInterop, DbaseNumbersKeepEveryDigitReadByDbfread) {
  if (!pythonHas("dbfread")) GTEST_SKIP() << "python3-dbfread is not installed";
  Scratch dir;
  auto driver = makeDbaseDriver();
  write(*driver, dir.path(), "pi", {{"Amount", ColumnType::Double, 8}, {"Ratio", ColumnType::Single, 4}},
        {{3.14159265358979, 0.1f}, {1e-10, Value()}, {1e25, -1.25f}});
  EXPECT_EQ(run({kPython, kOracles + "/read_dbf.py", dir.file("pi.dbf")}),
            (std::vector<std::string>{"Amount:N:20:14 Ratio:N:20:2", "codepage 0x57 version 0x3",
                                      "3.14159265358979 | 0.1", "1e-10 | None", "1e+25 | -1.25"}));
}

TEST(ForeignInterop, ExcelWorkbookReadByXlrd) {
  if (!pythonHas("xlrd")) GTEST_SKIP() << "python3-xlrd is not installed";
  Scratch dir;
  auto driver = makeExcelDriver();
  write(*driver, dir.file("people.xls"), "people", kColumns, rows());
  const auto lines = run({kPython, kOracles + "/read_xls.py", dir.file("people.xls")});
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "biff 80 sheets people",
                       "name people sheet=people rows=0-4 cols=0-10",
                       "sheet people 4 10",
                       "text:Id | text:Name | text:Notes | text:Small | text:Count | text:Ratio | text:Amount | "
                       "text:Price | text:Born | text:Active",
                       "number:1.0 | text:Alice | text:first memo | number:0.0 | number:-32767.0 | number:0.5 | "
                       "number:2.5 | money:12.3456 | date:1990-02-28T00:00:00 | bool:True",
                       "number:-2147483647.0 | text:Björn Åberg, \"quoted\" | text:Memo ü\\r\\nline two | number:255.0 | "
                       "number:32767.0 | number:-1.25 | number:-0.0001 | money:-0.0001 | date:2000-02-29T13:45:30 | "
                       "bool:False",
                       "number:4.0 | empty | empty | empty | empty | empty | empty | empty | empty | empty",
                   }));
}

TEST(ForeignInterop, ExcelTextsLongerThanARecordReadByXlrd) {
  if (!pythonHas("xlrd")) GTEST_SKIP() << "python3-xlrd is not installed";
  Scratch dir;
  auto driver = makeExcelDriver();
  // Shared strings run over several CONTINUE records, some as UTF-16, some
  // as Latin-1, with the split inside a string's characters.
  std::vector<std::vector<Value>> data;
  std::vector<std::string> expected{"biff 80 sheets long", "name long sheet=long rows=0-13 cols=0-1", "sheet long 13 1",
                                    "text:Memo"};
  for (int i = 0; i < 12; ++i) {
    std::string text = std::string(3000 + 997 * i, char('a' + i)) + (i % 2 ? "€" : "é") + std::string(50 * i, 'z');
    data.push_back({Value(text)});
    expected.push_back("text:" + text);
  }
  write(*driver, dir.file("long.xls"), "long", {{"Memo", ColumnType::Memo, 0}}, data);
  EXPECT_EQ(run({kPython, kOracles + "/read_xls.py", dir.file("long.xls")}), expected);
}

TEST(ForeignInterop, ExcelWorkbookReadByGnumeric) {
  if (!onPath("ssconvert")) GTEST_SKIP() << "Gnumeric's ssconvert is not installed";
  Scratch dir;
  auto driver = makeExcelDriver();
  write(*driver, dir.file("people.xls"), "people", kColumns, rows());
  const auto result = runProcess({"ssconvert", "-S", dir.file("people.xls"), dir.file("sheet_%s.csv")});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  std::ifstream in(dir.file("sheet_people.csv"), std::ios::binary);
  const std::string csv((std::istreambuf_iterator<char>(in)), {});
  // ssconvert prints the stored doubles in full and dates in its own style.
  EXPECT_EQ(splitLines(csv), (std::vector<std::string>{
                                 "Id,Name,Notes,Small,Count,Ratio,Amount,Price,Born,Active",
                                 "1,Alice,\"first memo\",0,-32767,0.5,2.5,12.345599999999999241,1990/02/28,TRUE",
                                 "-2147483647,\"Björn Åberg, \"\"quoted\"\"\",\"Memo ü",
                                 "line two\",255,32767,-1.25,-0.00010000000000000000479,-0.00010000000000000000479,"
                                 "\"2000/02/29 13:45:30\",FALSE",
                                 "4,,,,,,,,,",
                             }));
}

// Excel's day numbers before 1900-03-01 count a 29 February 1900 that never
// was; both readers must see the dates that were written.
TEST(ForeignInterop, ExcelDatesBeforeMarch1900ReadByXlrdAndGnumeric) {
  Scratch dir;
  auto driver = makeExcelDriver();
  write(*driver, dir.file("old.xls"), "old", {{"When", ColumnType::DateTime, 8}},
        {{date(1850, 7, 4)}, {date(1899, 12, 29, 6, 0)}, {date(1900, 2, 28)}, {date(1900, 3, 1)}});
  if (pythonHas("xlrd")) {
    EXPECT_EQ(run({kPython, kOracles + "/read_xls.py", dir.file("old.xls")}),
              (std::vector<std::string>{"biff 80 sheets old", "name old sheet=old rows=0-5 cols=0-1", "sheet old 5 1",
                                        "text:When", "date:1850-07-04T00:00:00", "date:1899-12-29T06:00:00",
                                        "date:1900-02-28T00:00:00", "date:1900-03-01T00:00:00"}));
  }
  if (onPath("ssconvert")) {
    const auto result = runProcess({"ssconvert", "-S", dir.file("old.xls"), dir.file("sheet_%s.csv")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::ifstream in(dir.file("sheet_old.csv"), std::ios::binary);
    const std::string csv((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(splitLines(csv), (std::vector<std::string>{"When", "1850/07/04", "\"1899/12/29 06:00:00\"", "1900/02/28",
                                                         "1900/03/01"}));
  }
}

TEST(ForeignInterop, ParadoxTableReadByPxlib) {
  const std::string oracle = KEVRA_PARADOX_ORACLE;
  if (oracle.empty()) GTEST_SKIP() << "pxlib is not installed";
  Scratch dir;
  auto driver = makeParadoxDriver();
  // pxlib cannot open blob files: the scalar columns only.
  std::vector<ResultColumn> columns;
  std::vector<std::vector<Value>> data = rows();
  for (size_t i = 0; i < kColumns.size(); ++i)
    if (kColumns[i].type != ColumnType::Memo) columns.push_back(kColumns[i]);
  for (auto& row : data) row.erase(row.begin() + 2);
  write(*driver, dir.path(), "people", columns, data);
  const auto lines = run({oracle, dir.file("people.db")});
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "version 70 type 2 codepage 1252");
  EXPECT_EQ(lines[1], "Id:4:4 Name:1:50 Small:3:2 Count:3:2 Ratio:6:8 Amount:6:8 Price:5:8 Born:21:8 Active:9:1");
  EXPECT_EQ(lines[2], "1 | Alice | 0 | -32767 | 0.5 | 2.5 | 12.345599999999999 | 1990-02-28 00:00:00 | true");
  EXPECT_EQ(lines[3], "-2147483647 | Björn Åberg, \"quoted\" | 255 | 32767 | -1.25 | -0.0001 | -0.0001 | "
                      "2000-02-29 13:45:30 | false");
  // pxlib reports zero (NULL) numbers as 0 and NULL timestamps as garbage; the
  // fields it does report as NULL must be NULL.
  EXPECT_EQ(lines[4].substr(0, 28), "4 | NULL | NULL | NULL | 0 |") << lines[4];
  EXPECT_EQ(lines[4].substr(lines[4].size() - 7), " | NULL") << lines[4];
}

}  // namespace
}  // namespace kevra
