// A worksheet or named range as a table. On a sheet the data area starts at
// the upper-most, left-most filled cell and ends at the last filled row and
// column; a named range is taken as it stands. The area's first row names the
// fields (F1, F2... for empty cells, a number appended to repeated names,
// characters a field name cannot hold as '_', each such change a warning).
//
// Each column takes the type most of its first 8 filled values have (ties:
// Number, Currency, Date, Text, Yes/No). Values of another type are
// converted when that loses nothing (numbers into a text column, numeric text
// into a number column) and are NULL otherwise. A text column with a value
// over 255 characters becomes Memo.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "engine/isam/biff8_workbook.h"
#include "engine/isam/foreign_driver.h"

namespace kevra {

class ExcelSheetTable : public ForeignTableReader {
 public:
  ExcelSheetTable(std::vector<ExcelCell> cells, const std::optional<ExcelRange>& range, bool dates1904);
  const std::vector<ResultColumn>& columns() const override { return columns_; }
  bool next(std::vector<Value>& row) override;
  std::vector<std::string> warnings() const override { return warnings_; }

 private:
  enum class Kind { Number, Currency, Date, Text, Boolean, None };
  Kind kindOf(const ExcelCell& c) const;
  Value convert(const ExcelCell& c, ColumnType type) const;

  std::vector<ExcelCell> cells_;
  bool dates1904_ = false;
  uint16_t firstColumn_ = 0;
  std::vector<ResultColumn> columns_;
  std::vector<std::string> warnings_;  // renamed fields
  size_t cursor_ = 0;        // the first cell not handed out yet
  uint32_t currentRow_ = 0;  // the next row to hand out
  uint32_t lastRow_ = 0;
  bool empty_ = true;
};

}  // namespace kevra
