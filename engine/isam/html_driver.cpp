// HTML tables read through HtmlTables, written as one captioned table.
#include "engine/isam/html_driver.h"


#include <charconv>

#include "engine/format/value_text.h"
#include "engine/isam/foreign_values.h"
#include "engine/isam/html_tables.h"
#include "engine/isam/file_helpers.h"
#include "engine/isam/staged_file.h"
#include "engine/isam/table_file_name.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

std::vector<std::string> tableNames(const HtmlDocument& doc) {
  std::vector<std::string> names;
  for (size_t i = 0; i < doc.tables.size(); ++i) {
    const std::string& caption = doc.tables[i].caption;
    if (!caption.empty()) names.push_back(caption);
    else if (doc.tables.size() == 1 && !doc.title.empty()) names.push_back(doc.title);
    else names.push_back("Table" + std::to_string(i + 1));
  }
  return names;
}

using HtmlRow = std::vector<HtmlCell>;

bool holdsText(const HtmlRow& row) {
  for (auto& c : row)
    if (!c.text.empty()) return true;
  return false;
}

// Every cell of the row is a header cell, and together they reach `width`.
bool allHeader(const HtmlRow& row, size_t width) {
  if (row.empty() || row.back().column + row.back().span < width) return false;
  for (auto& c : row)
    if (c.column < width && !c.header) return false;
  return true;
}

class HtmlTableReader : public ForeignTableReader {
 public:
  HtmlTableReader(HtmlTable&& table, const std::string& name, const std::string& where) {
    if (table.tooWide)
      throw EngineError("The table '" + name + "' in '" + where + "' has a row of more than " +
                        std::to_string(HtmlLimits{}.columns) + " columns; an Access table holds at most that many fields.");
    for (auto& r : table.rows)
      if (holdsText(r)) rows_.push_back(std::move(r));
    // Columns empty in every row (trailing filler cells) are dropped.
    size_t width = 0;
    for (auto& r : rows_)
      for (auto& c : r)
        if (!c.text.empty()) width = std::max(width, c.column + 1);
    if (width == 0) throw EngineError("The table in '" + where + "' holds no data.");

    std::vector<std::string> names(width);
    size_t first = 0;
    if (allHeader(rows_[0], width) || firstRowNamesColumns(width)) {
      for (auto& c : rows_[0])
        if (c.column < width) names[c.column] = c.text;
      first = 1;
    }
    names = usableFieldNames(names, &warnings_);
    std::vector<ColumnGuess> guesses(width, ColumnGuess(rules_));
    for (size_t r = first; r < rows_.size(); ++r)
      for (auto& c : rows_[r])
        if (c.column < width && !c.text.empty()) guesses[c.column].see(c.text);
    for (size_t i = 0; i < width; ++i) columns_.push_back(guesses[i].column(names[i]));
    at_ = first;
  }

  const std::vector<ResultColumn>& columns() const override { return columns_; }
  std::vector<std::string> warnings() const override { return warnings_; }

  bool next(std::vector<Value>& row) override {
    if (at_ >= rows_.size()) return false;
    row.assign(columns_.size(), Value(std::monostate{}));
    for (auto& c : rows_[at_]) {
      if (c.column >= columns_.size() || c.text.empty()) continue;
      auto v = readTextAs(columns_[c.column].type, c.text, rules_);
      if (v) row[c.column] = std::move(*v);
    }
    HtmlRow().swap(rows_[at_++]);
    return true;
  }

 private:
  // A first row of texts (none empty, none a number or date) above at least
  // one column whose cells below are of another kind.
  bool firstRowNamesColumns(size_t width) const {
    if (rows_.size() < 2) return false;
    size_t named = 0;
    for (auto& c : rows_[0]) {
      if (c.column >= width) break;
      if (c.column != named || c.text.empty()) return false;  // a gap: an empty or spanned column
      ColumnGuess g(rules_);
      g.see(c.text);
      if (g.column("").type != ColumnType::Text) return false;
      ++named;
    }
    if (named < width) return false;
    std::vector<ColumnGuess> below(width, ColumnGuess(rules_));
    std::vector<bool> anyValue(width, false);
    for (size_t r = 1; r < rows_.size(); ++r)
      for (auto& c : rows_[r])
        if (c.column < width && !c.text.empty()) {
          below[c.column].see(c.text);
          anyValue[c.column] = true;
        }
    for (size_t i = 0; i < width; ++i) {
      ColumnType t = below[i].column("").type;
      if (t != ColumnType::Text && t != ColumnType::Memo && anyValue[i]) return true;
    }
    return false;
  }

  TextValueRules rules_;
  std::vector<ResultColumn> columns_;
  std::vector<std::string> warnings_;
  std::vector<HtmlRow> rows_;
  size_t at_ = 0;
};

void appendEscaped(std::string& out, std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\r':
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += "<br>";
        break;
      case '\n': out += "<br>"; break;
      default: out.push_back(c);
    }
  }
}

bool isNumeric(ColumnType t) {
  switch (t) {
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::Currency:
    case ColumnType::Decimal: return true;
    default: return false;
  }
}

std::string cellText(const Value& v) {
  if (auto* b = std::get_if<bool>(&v)) return *b ? "Yes" : "No";
  if (auto* d = std::get_if<DateTime>(&v)) return dateTimeToText(*d);
  return valueToText(v);
}

class HtmlTableWriter : public ForeignTableWriter {
 public:
  HtmlTableWriter(const std::string& path, const std::string& caption, const std::vector<ResultColumn>& columns,
                  FileSystem& fs)
      : file_(path, fs) {
    std::string head = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
    appendEscaped(head, caption);
    head += "</title>\n</head>\n<body>\n<table border=\"1\">\n<caption>";
    appendEscaped(head, caption);
    head += "</caption>\n<thead>\n<tr>";
    for (size_t i = 0; i < columns.size(); ++i) {
      if (columns[i].type == ColumnType::OLE || columns[i].type == ColumnType::Binary) {
        warnings_.push_back("Field '" + columns[i].name + "' was left out: an HTML page cannot hold binary data.");
        continue;
      }
      kept_.push_back(i);
      numeric_.push_back(isNumeric(columns[i].type));
      head += "<th>";
      appendEscaped(head, columns[i].name);
      head += "</th>";
    }
    if (kept_.empty()) throw EngineError("The table has no field an HTML page can hold.");
    head += "</tr>\n</thead>\n<tbody>\n";
    file_.append(head);
  }

  void write(const std::vector<Value>& row) override {
    line_ = "<tr>";
    for (size_t k = 0; k < kept_.size(); ++k) {
      line_ += numeric_[k] ? "<td align=\"right\">" : "<td>";
      appendEscaped(line_, cellText(row[kept_[k]]));
      line_ += "</td>";
    }
    line_ += "</tr>\n";
    file_.append(line_);
  }

  void finish() override {
    file_.append("</tbody>\n</table>\n</body>\n</html>\n");
    file_.commit();
  }

  std::vector<std::string> warnings() const override { return warnings_; }

 private:
  StagedFile file_;
  std::vector<size_t> kept_;
  std::vector<bool> numeric_;
  std::vector<std::string> warnings_;
  std::string line_;
};

bool endsWithCaseInsensitive(const std::string& s, std::string_view end) {
  return s.size() >= end.size() && namesEqualCaseInsensitive(std::string_view(s).substr(s.size() - end.size()), end);
}

class HtmlDriver : public ForeignDriver {
 public:
  explicit HtmlDriver(FileSystem& fs) : fs_(fs) {}

  std::vector<ForeignTableInfo> listTables(const std::string& file) override {
    std::vector<ForeignTableInfo> out;
    for (auto& n : tableNames(readHtmlFile(file))) out.push_back({n});
    return out;
  }

  std::unique_ptr<ForeignTableReader> openTable(const std::string& file, const std::string& table) override {
    HtmlDocument doc = readHtmlFile(file);
    if (doc.tables.empty()) throw EngineError("The HTML file '" + file + "' holds no table.");
    std::vector<std::string> names = tableNames(doc);
    size_t chosen = 0;
    for (size_t i = 0; i < names.size(); ++i)
      if (namesEqualCaseInsensitive(names[i], table)) {
        chosen = i;
        break;
      }
    return std::make_unique<HtmlTableReader>(std::move(doc.tables[chosen]), names[chosen], file);
  }

  std::unique_ptr<ForeignTableWriter> createTable(const std::string& folder, const std::string& table,
                                                  const std::vector<ResultColumn>& columns) override {
    if (!folderExists(folder, fs_))
      throw EngineError("The folder '" + folder + "' does not exist.");
    std::string fileName = table, caption = table;
    if (endsWithCaseInsensitive(table, ".html")) caption = table.substr(0, table.size() - 5);
    else if (endsWithCaseInsensitive(table, ".htm")) caption = table.substr(0, table.size() - 4);
    else fileName = table + ".html";
    checkTableFileName(caption, "html");
    return std::make_unique<HtmlTableWriter>(joinPath(folder, fileName), caption, columns, fs_);
  }

 private:
  FileSystem& fs_;
};

}  // namespace

std::unique_ptr<ForeignDriver> makeHtmlDriver(FileSystem& fs) { return std::make_unique<HtmlDriver>(fs); }

}  // namespace kevra
