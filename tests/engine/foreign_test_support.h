// Helpers for the foreign-file driver tests: a scratch folder, reading a
// whole foreign table, value shorthands and the rows every writer test sends.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/format/value_text.h"
#include "engine/isam/foreign_driver.h"
#include "sample_files.h"

namespace kevra::test {

class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/kevra-foreign-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  ~ScratchFolder() { std::filesystem::remove_all(dir_); }
  const std::string& path() const { return dir_; }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (auto& e : std::filesystem::directory_iterator(dir_)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  std::string dir_;
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
