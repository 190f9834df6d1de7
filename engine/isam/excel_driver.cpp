// The Excel driver: tables of a workbook, a new workbook per export.
#include "engine/isam/excel_driver.h"

#include "engine/isam/biff8_workbook.h"
#include "engine/isam/biff8_writer.h"
#include "engine/isam/excel_sheet_table.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

std::string withoutDollar(const std::string& name) {
  if (!name.empty() && name.back() == '$') return name.substr(0, name.size() - 1);
  return name;
}

class ExcelDriver : public ForeignDriver {
 public:
  explicit ExcelDriver(FileSystem& fs) : fs_(fs) {}

  std::vector<ForeignTableInfo> listTables(const std::string& dataSource) override {
    Biff8Workbook book(dataSource);
    std::vector<ForeignTableInfo> out;
    auto listed = [&](const std::string& name) {
      for (const auto& t : out)
        if (namesEqualCaseInsensitive(t.name, name)) return true;
      return false;
    };
    for (const auto& n : book.names())
      if (!listed(n.name)) out.push_back({n.name, "TABLE"});
    for (const auto& s : book.sheets())
      if (s.worksheet && !listed(s.name)) out.push_back({s.name, "TABLE"});
    return out;
  }

  std::unique_ptr<ForeignTableReader> openTable(const std::string& dataSource, const std::string& table) override {
    Biff8Workbook book(dataSource);
    for (const auto& n : book.names())
      if (namesEqualCaseInsensitive(n.name, table))
        return std::make_unique<ExcelSheetTable>(book.cells(n.range.sheet), n.range, book.dates1904());
    const std::string sheet = withoutDollar(table);
    for (size_t i = 0; i < book.sheets().size(); ++i)
      if (book.sheets()[i].worksheet && namesEqualCaseInsensitive(book.sheets()[i].name, sheet))
        return std::make_unique<ExcelSheetTable>(book.cells(i), std::nullopt, book.dates1904());
    throw EngineError("The workbook '" + dataSource + "' has no sheet or named range '" + table + "'.");
  }

  std::unique_ptr<ForeignTableWriter> createTable(const std::string& dataSource, const std::string& table,
                                                  const std::vector<ResultColumn>& columns) override {
    if (fs_.kindOf(dataSource)) {
      bool hasSheet = false;
      try {
        Biff8Workbook book(dataSource);
        const std::string sheet = excelSheetName(table);
        for (const auto& s : book.sheets()) hasSheet = hasSheet || namesEqualCaseInsensitive(s.name, sheet);
        for (const auto& n : book.names()) hasSheet = hasSheet || namesEqualCaseInsensitive(n.name, table);
      } catch (const EngineError&) {
      }
      if (hasSheet)
        throw EngineError("The workbook '" + dataSource + "' already has a sheet '" + table + "'.");
      throw EngineError("The file '" + dataSource +
                        "' already exists; export writes a new workbook, so choose another name or remove it first.");
    }
    return std::make_unique<Biff8WorkbookWriter>(dataSource, table, columns, fs_);
  }

 private:
  FileSystem& fs_;
};

}  // namespace

std::unique_ptr<ForeignDriver> makeExcelDriver(FileSystem& fs) { return std::make_unique<ExcelDriver>(fs); }

}  // namespace kevra
