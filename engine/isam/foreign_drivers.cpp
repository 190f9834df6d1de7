// The table of installed drivers.
#include "engine/isam/foreign_drivers.h"

#include "engine/isam/access_driver.h"
#include "engine/isam/dbase_driver.h"
#include "engine/isam/excel_driver.h"
#include "engine/isam/html_driver.h"
#include "engine/isam/paradox_driver.h"
#include "engine/isam/text_driver.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

struct DriverEntry {
  const char* keyword;
  std::unique_ptr<ForeignDriver> (*make)();
};

const DriverEntry kDrivers[] = {
    {"Text", [] { return makeTextDriver(); }},
    {"HTML Import", [] { return makeHtmlDriver(); }},
    {"HTML Export", [] { return makeHtmlDriver(); }},
    {"dBase 5.0", [] { return makeDbaseDriver(); }},
    {"Paradox 7.x", [] { return makeParadoxDriver(); }},
    {"Excel 8.0", [] { return makeExcelDriver(); }},
};

}  // namespace

std::string connectKeyword(std::string_view connect) {
  std::string_view k = connect.substr(0, connect.find(';'));
  while (!k.empty() && (k.front() == ' ' || k.front() == '\t')) k.remove_prefix(1);
  while (!k.empty() && (k.back() == ' ' || k.back() == '\t')) k.remove_suffix(1);
  return std::string(k);
}

std::unique_ptr<ForeignDriver> makeForeignDriver(std::string_view connect) {
  std::string keyword = connectKeyword(connect);
  if (keyword.empty()) return makeAccessDriver();
  for (const DriverEntry& d : kDrivers)
    if (namesEqualCaseInsensitive(keyword, d.keyword)) return d.make();
  throw EngineError("No driver is installed for '" + keyword + "' files.");
}

std::vector<std::string> installedDriverKeywords() {
  std::vector<std::string> out;
  for (const DriverEntry& d : kDrivers) out.push_back(d.keyword);
  return out;
}

}  // namespace kevra
