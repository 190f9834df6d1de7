// The cells arrive sorted by row and column; those outside the area are
// dropped, the header row is consumed for the names, and next() walks the
// remaining cells row by row.
#include "engine/isam/excel_sheet_table.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <set>

#include "engine/format/value_text.h"
#include "engine/isam/excel_dates.h"
#include "engine/isam/foreign_values.h"
#include "engine/isam/value_conversions.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr int kGuessRows = 8;
constexpr size_t kTextLimit = 255;

bool isEmpty(const ExcelCell& c) { return c.kind == ExcelCell::Kind::Text && c.text.empty(); }

size_t characters(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char ch : utf8)
    if ((ch & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace

ExcelSheetTable::ExcelSheetTable(std::vector<ExcelCell> cells, const std::optional<ExcelRange>& range, bool dates1904)
    : dates1904_(dates1904) {
  uint32_t firstRow = 0, lastRow = 0, lastColumn = 0;
  if (range) {
    firstRow = range->firstRow;
    firstColumn_ = range->firstColumn;
    lastColumn = range->lastColumn;
    lastRow = range->lastRow;
  } else {
    firstRow = UINT32_MAX;
    uint32_t firstColumn = UINT32_MAX;
    for (const auto& c : cells) {
      if (isEmpty(c)) continue;
      firstRow = std::min<uint32_t>(firstRow, c.row);
      firstColumn = std::min<uint32_t>(firstColumn, c.column);
      lastRow = std::max<uint32_t>(lastRow, c.row);
      lastColumn = std::max<uint32_t>(lastColumn, c.column);
    }
    if (firstRow == UINT32_MAX) {
      // Nothing in the sheet: one text field, no rows.
      columns_.push_back({"F1", ColumnType::Text, 510});
      return;
    }
    firstColumn_ = uint16_t(firstColumn);
  }
  // Keep the cells of the area; on a sheet the last filled row ends it.
  uint32_t lastFilled = firstRow;
  size_t kept = 0;
  for (size_t i = 0; i < cells.size(); ++i) {
    ExcelCell& c = cells[i];
    if (c.row < firstRow || c.row > lastRow || c.column < firstColumn_ || c.column > lastColumn || isEmpty(c)) continue;
    lastFilled = std::max<uint32_t>(lastFilled, c.row);
    if (kept != i) cells[kept] = std::move(c);
    ++kept;
  }
  cells.resize(kept);
  cells_ = std::move(cells);
  lastRow_ = range ? lastRow : lastFilled;  // a named range keeps its empty rows
  const size_t width = lastColumn - firstColumn_ + 1;

  // Field names from the first row.
  std::vector<std::string> names(width);
  while (cursor_ < cells_.size() && cells_[cursor_].row == firstRow) {
    const ExcelCell& c = cells_[cursor_++];
    std::string& name = names[c.column - firstColumn_];
    switch (c.kind) {
      case ExcelCell::Kind::Text: name = c.text; break;
      case ExcelCell::Kind::Number: name = doubleToShortest(c.number); break;
      case ExcelCell::Kind::Boolean: name = c.boolean ? "TRUE" : "FALSE"; break;
      case ExcelCell::Kind::Error: break;
    }
  }
  names = usableFieldNames(names, &warnings_);

  // Types from the first filled values below the header.
  std::vector<std::array<int, 5>> votes(width, std::array<int, 5>{});
  std::vector<int> seen(width, 0);
  std::vector<bool> longText(width, false);
  for (size_t i = cursor_; i < cells_.size(); ++i) {
    const ExcelCell& c = cells_[i];
    const size_t col = c.column - firstColumn_;
    if (c.kind == ExcelCell::Kind::Text && characters(c.text) > kTextLimit) longText[col] = true;
    const Kind kind = kindOf(c);
    if (kind == Kind::None) continue;
    const bool withinGuessRows = c.row <= firstRow + kGuessRows;
    if (withinGuessRows || seen[col] == 0) {
      ++votes[col][size_t(kind)];
      ++seen[col];
    }
  }
  for (size_t i = 0; i < width; ++i) {
    size_t best = size_t(Kind::Text);
    int bestVotes = 0;
    for (size_t k = 0; k < 5; ++k) {
      if (votes[i][k] > bestVotes) {
        best = k;
        bestVotes = votes[i][k];
      }
    }
    ResultColumn column;
    column.name = names[i];
    switch (Kind(best)) {
      case Kind::Number: column.type = ColumnType::Double; column.length = 8; break;
      case Kind::Currency: column.type = ColumnType::Currency; column.length = 8; break;
      case Kind::Date: column.type = ColumnType::DateTime; column.length = 8; break;
      case Kind::Boolean: column.type = ColumnType::Boolean; column.length = 1; break;
      default:
        if (longText[i]) {
          column.type = ColumnType::Memo;
        } else {
          column.type = ColumnType::Text;
          column.length = 2 * kTextLimit;
        }
        break;
    }
    columns_.push_back(column);
  }
  currentRow_ = firstRow + 1;
  empty_ = false;
}

ExcelSheetTable::Kind ExcelSheetTable::kindOf(const ExcelCell& c) const {
  switch (c.kind) {
    case ExcelCell::Kind::Text: return c.text.empty() ? Kind::None : Kind::Text;
    case ExcelCell::Kind::Boolean: return Kind::Boolean;
    case ExcelCell::Kind::Error: return Kind::None;
    case ExcelCell::Kind::Number:
      switch (c.numberKind) {
        case NumberKind::Date: return Kind::Date;
        case NumberKind::Currency: return Kind::Currency;
        default: return Kind::Number;
      }
  }
  return Kind::None;
}

Value ExcelSheetTable::convert(const ExcelCell& c, ColumnType type) const {
  if (c.kind == ExcelCell::Kind::Error) return std::monostate{};
  const bool isDate = c.kind == ExcelCell::Kind::Number && c.numberKind == NumberKind::Date;
  switch (type) {
    case ColumnType::Text:
    case ColumnType::Memo: {
      std::string text;
      if (c.kind == ExcelCell::Kind::Text) text = c.text;
      else if (c.kind == ExcelCell::Kind::Boolean) text = c.boolean ? "TRUE" : "FALSE";
      else if (isDate) text = valueToText(DateTime{excelSerialToOle(c.number, dates1904_)});
      else text = doubleToShortest(c.number);
      if (type == ColumnType::Text && characters(text) > kTextLimit) {
        // Cut at a character boundary; only longer values make a Memo column.
        size_t n = 0, at = 0;
        for (; at < text.size(); ++at)
          if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && n++ == kTextLimit) break;
        text.resize(at);
      }
      return text;
    }
    case ColumnType::Boolean:
      if (c.kind == ExcelCell::Kind::Boolean) return c.boolean;
      if (c.kind == ExcelCell::Kind::Number) return c.number != 0;
      if (auto b = valueAsBool(Value(c.text))) return *b;
      return std::monostate{};
    case ColumnType::DateTime:
      if (c.kind == ExcelCell::Kind::Number) return DateTime{excelSerialToOle(c.number, dates1904_)};
      if (c.kind == ExcelCell::Kind::Text && !c.text.empty()) {
        if (auto serial = valueAsDateSerial(Value(c.text)); serial && std::isnan(*serial) == false &&
                                                            c.text.find('-') != std::string::npos)
          return DateTime{*serial};
      }
      return std::monostate{};
    case ColumnType::Currency: {
      std::optional<double> v;
      if (c.kind == ExcelCell::Kind::Number) v = c.number;
      else if (c.kind == ExcelCell::Kind::Text) v = valueAsDouble(Value(c.text));
      if (!v || !(std::fabs(*v) < 922337203685477.0)) return std::monostate{};
      return Currency{int64_t(std::llround(*v * 10000.0))};
    }
    default: {
      if (c.kind == ExcelCell::Kind::Number) return isDate ? excelSerialToOle(c.number, dates1904_) : c.number;
      if (c.kind == ExcelCell::Kind::Text) {
        if (auto v = valueAsDouble(Value(c.text))) return *v;
      }
      return std::monostate{};
    }
  }
}

bool ExcelSheetTable::next(std::vector<Value>& row) {
  if (empty_ || currentRow_ > lastRow_) return false;
  row.assign(columns_.size(), std::monostate{});
  while (cursor_ < cells_.size() && cells_[cursor_].row == currentRow_) {
    const ExcelCell& c = cells_[cursor_++];
    const size_t col = c.column - firstColumn_;
    row[col] = convert(c, columns_[col].type);
  }
  ++currentRow_;
  return true;
}

}  // namespace kevra
