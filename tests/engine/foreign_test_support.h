// Helpers for the foreign-file tests: scratch folders, reading a foreign
// table whole, a database with a field of every type, value shorthands and
// the rows every driver writer test sends.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/format/value_text.h"
#include "engine/isam/foreign_driver.h"
#include "write_test_support.h"

namespace kevra::test {

inline std::string foreignSample(const std::string& relative) {
  return sample("foreign-generated/" + relative);
}

// An empty temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/kevra-foreign-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  ~ScratchFolder() { std::filesystem::remove_all(dir_); }
  const std::string& path() const { return dir_; }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(file(name), std::ios::binary) << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (auto& e : std::filesystem::directory_iterator(dir_)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  std::string dir_;
};

struct ForeignTable {
  std::vector<ResultColumn> columns;
  std::vector<std::vector<Value>> rows;
  size_t column(const std::string& name) const {
    for (size_t i = 0; i < columns.size(); ++i)
      if (columns[i].name == name) return i;
    ADD_FAILURE() << "no column " << name;
    return 0;
  }
  const Value& at(size_t row, const std::string& name) const { return rows.at(row).at(column(name)); }
};

inline ForeignTable readWhole(ForeignDriver& driver, const std::string& source, const std::string& table) {
  ForeignTable t;
  auto reader = driver.openTable(source, table);
  t.columns = reader->columns();
  std::vector<Value> row;
  while (reader->next(row)) t.rows.push_back(row);
  return t;
}

inline std::string text(const Value& v) { return valueToText(v); }

// A copy of empty.mdb holding AllTypes: a field of every type and three rows
// (ordinary values, edge values, NULLs).
class AllTypesDatabase {
 public:
  AllTypesDatabase() : copy_("empty.mdb") {
    db_ = openForWriting(copy_.path());
    runSql(db_,
           "CREATE TABLE AllTypes (Id COUNTER, Name TEXT(40), Notes MEMO, Small BYTE, Short SHORT, Big LONG, "
           "Ratio SINGLE, Amount DOUBLE, Price CURRENCY, Exact DECIMAL(12,3), Stamp DATETIME, Flag BIT, "
           "Tag GUID, Blob LONGBINARY)");
    runSql(db_,
           "INSERT INTO AllTypes (Name, Notes, Small, Short, Big, Ratio, Amount, Price, Exact, Stamp, Flag, Tag) "
           "VALUES ('Widget', 'plain note', 1, -2, 100000, 0.5, 2.25, 19.99, 123.456, #2024-01-15#, True, "
           "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}')");
    runSql(db_,
           "INSERT INTO AllTypes (Name, Notes, Small, Short, Big, Ratio, Amount, Price, Exact, Stamp, Flag) "
           "VALUES ('Quote \"q\", comma <b>&amp;', 'line one\r\nline two ü €', 255, 32767, "
           "-2147483648, -1.5, 0.1, -12.3456, -0.001, #1999-12-31 23:59:59#, False)");
    runSql(db_, "INSERT INTO AllTypes (Name) VALUES (NULL)");
  }
  const std::string& path() const { return copy_.path(); }
  std::shared_ptr<Database> db() const { return db_; }

 private:
  ScratchCopy copy_;
  std::shared_ptr<Database> db_;
};

inline std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<std::vector<Value>> readRows(ForeignTableReader& reader) {
  std::vector<std::vector<Value>> rows;
  std::vector<Value> row;
  while (reader.next(row)) rows.push_back(row);
  return rows;
}

inline std::vector<std::string> columnNames(const ForeignTableReader& reader) {
  std::vector<std::string> out;
  for (auto& c : reader.columns()) out.push_back(c.name);
  return out;
}

inline Value date(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  return fromCivil({y, m, d, hh, mm, ss, 0});
}
inline Value text(const char* s) { return std::string(s); }
inline Value null() { return std::monostate{}; }

inline double asDouble(const Value& v) {
  if (auto* d = std::get_if<double>(&v)) return *d;
  ADD_FAILURE() << "not a double: " << valueToText(v);
  return NAN;
}

// A column of each engine type, and rows with ordinary, extreme and NULL values.
inline std::vector<ResultColumn> everyTypeColumns() {
  return {
      {"Id", ColumnType::Long, 4},
      {"Name", ColumnType::Text, 2 * 50},
      {"Notes", ColumnType::Memo, 0},
      {"Small", ColumnType::Byte, 1},
      {"Count", ColumnType::Integer, 2},
      {"Ratio", ColumnType::Single, 4},
      {"Amount", ColumnType::Double, 8},
      {"Price", ColumnType::Currency, 8},
      {"Born", ColumnType::DateTime, 8},
      {"Active", ColumnType::Boolean, 1},
  };
}

inline std::vector<std::vector<Value>> everyTypeRows() {
  const std::string longNote = "Long note: " + std::string(600, 'x') + " end";
  return {
      {int32_t(1), text("Alice"), text("first memo"), uint8_t(0), int16_t(-32768), 0.5f, 2.5, Currency{123456},
       date(1990, 2, 28), true},
      {int32_t(-2147483647), text("Björn Åberg, \"quoted\""), Value(longNote), uint8_t(255), int16_t(32767), -1.25f,
       -0.0001, Currency{-1}, date(2000, 2, 29), false},
      {int32_t(3), text(""), text("line one\r\nline two"), uint8_t(7), int16_t(0), 0.0f, 1234567.125,
       Currency{9223372036854775807LL / 100000 * 10000}, date(1899, 12, 30), true},
      {int32_t(4), null(), null(), null(), null(), null(), null(), null(), null(), null()},
  };
}

inline void writeTable(ForeignDriver& driver, const std::string& source, const std::string& table,
                       const std::vector<ResultColumn>& columns, const std::vector<std::vector<Value>>& rows,
                       std::vector<std::string>* warnings = nullptr) {
  auto writer = driver.createTable(source, table, columns);
  for (auto& row : rows) writer->write(row);
  writer->finish();
  if (warnings) *warnings = writer->warnings();
}

}  // namespace kevra::test
