// Helpers for the foreign-file tests: scratch folders, reading a foreign
// table whole, and a database with a field of every type.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
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

}  // namespace kevra::test
