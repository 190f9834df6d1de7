// Writes a new Excel 97-2003 workbook (BIFF8 in a compound file) holding one
// worksheet: a header row of field names, then one row per record with typed
// cells (numbers, dates with a date or date-time format, money with a
// currency format, booleans, text through the shared string table), and a
// workbook name over the header and data so the table can be found again.
//
// Binary and OLE columns are left out; text over 32,767 characters is cut;
// both are reported by warnings(). A sheet holds 65,535 records at most.
#pragma once
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/isam/foreign_driver.h"
#include "engine/storage/file_system.h"
#include "engine/util/bytes.h"

namespace kevra {

class Biff8WorkbookWriter : public ForeignTableWriter {
 public:
  Biff8WorkbookWriter(const std::string& path, const std::string& table, const std::vector<ResultColumn>& columns,
                      FileSystem& fs = realFileSystem());
  void write(const std::vector<Value>& row) override;
  void finish() override;
  std::vector<std::string> warnings() const override;

 private:
  struct Column {
    size_t source = 0;
    ColumnType type = ColumnType::Text;
    std::string name;
    size_t cut = 0;
  };
  uint32_t stringIndex(const std::u16string& text);
  void addText(uint16_t row, uint16_t column, std::string_view utf8, size_t* cut);
  Bytes globals(uint32_t sheetOffset) const;

  std::string path_;
  FileSystem& fs_;
  std::string sheetName_;
  std::string rangeName_;
  size_t columnCount_ = 0;
  std::vector<Column> columns_;
  std::vector<std::string> leftOut_;
  std::vector<std::u16string> strings_;
  std::unordered_map<std::u16string, uint32_t> stringIndexes_;
  uint32_t stringReferences_ = 0;
  Bytes cells_;
  uint32_t rows_ = 0;
  bool finished_ = false;
};

// The sheet name Excel accepts for a table: at most 31 characters, none of
// []:*?/\ (replaced by '_').
std::string excelSheetName(const std::string& table);

}  // namespace kevra
