// A BIFF8 workbook read from an .xls file: its sheets, defined names, number
// formats and shared strings, and on request the cells of one sheet.
// Excel 5/95 workbooks (BIFF5) and encrypted ones are refused by name.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/isam/excel_number_format.h"
#include "engine/util/bytes.h"

namespace kevra {

struct ExcelCell {
  enum class Kind : uint8_t { Number, Text, Boolean, Error };
  uint16_t row = 0;
  uint16_t column = 0;
  Kind kind = Kind::Number;
  NumberKind numberKind = NumberKind::Plain;  // for numbers, from the cell's format
  double number = 0;  // as stored (a date's Excel day number)
  bool boolean = false;
  std::string text;
};

struct ExcelSheetInfo {
  std::string name;
  uint32_t offset = 0;  // of its BOF record in the stream
  bool worksheet = true;
};

struct ExcelRange {
  size_t sheet = 0;
  uint16_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
};

struct ExcelName {
  std::string name;
  ExcelRange range;
};

class Biff8Workbook {
 public:
  // Reads the container and the workbook globals of `path`.
  explicit Biff8Workbook(const std::string& path);
  const std::vector<ExcelSheetInfo>& sheets() const { return sheets_; }
  bool dates1904() const { return dates1904_; }
  const std::string& path() const { return path_; }
  // User-defined names that cover a cell range of a worksheet.
  const std::vector<ExcelName>& names() const { return names_; }
  // The cells of a sheet sorted by row then column (the last record of a
  // position wins); empty cells are not listed. A cell's text is its own
  // copy even when the file shares one string among many cells, so a sheet
  // whose texts come to more than `textLimit` bytes is refused.
  static constexpr size_t kSheetTextLimit = size_t(512) << 20;
  std::vector<ExcelCell> cells(size_t sheet, size_t textLimit = kSheetTextLimit) const;

 private:
  void readGlobals();
  NumberKind kindOfXf(uint16_t xf) const;

  std::string path_;
  Bytes stream_;
  bool dates1904_ = false;
  std::vector<ExcelSheetInfo> sheets_;
  std::vector<std::string> strings_;
  std::vector<uint16_t> xfFormats_;
  std::vector<std::pair<uint16_t, std::string>> formats_;
  std::vector<NumberKind> xfKinds_;
  std::vector<ExcelName> names_;
};

}  // namespace kevra
