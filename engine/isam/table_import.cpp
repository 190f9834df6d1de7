// Names first, then one transaction over the target for every table.
#include "engine/isam/table_import.h"

#include <cctype>
#include <set>

#include "engine/isam/access_driver.h"
#include "engine/table/database.h"
#include "engine/table/object_names.h"
#include "engine/table/schema_writer.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr long kProgressEvery = 4096;

std::string lowerAscii(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The legal names of the tables, refused as a whole when one is taken.
std::vector<std::string> targetNames(const std::vector<TableToImport>& tables, const Database& db,
                                     std::vector<std::string>& warnings) {
  std::vector<std::string> names;
  std::set<std::string> chosen;
  std::vector<std::string> taken;
  for (const TableToImport& t : tables) {
    std::string name = legalObjectName(t.target);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.empty()) name = "Table";
    if (!chosen.insert(lowerAscii(name)).second)
      throw EngineError("Two of the tables to import would both be named '" + name + "' in '" + db.path() +
                        "'; nothing was imported.");
    if (name != t.target) warnings.push_back("The table '" + t.target + "' is imported as '" + name + "'.");
    if (db.findObject(name)) taken.push_back("'" + name + "'");
    names.push_back(std::move(name));
  }
  if (!taken.empty()) {
    std::string list;
    for (size_t i = 0; i < taken.size(); ++i) list += (i ? ", " : "") + taken[i];
    throw EngineError((taken.size() == 1 ? "A table or query " + list + " already exists in '"
                                         : "Tables or queries " + list + " already exist in '") +
                      db.path() + "'; nothing was imported.");
  }
  return names;
}

long copyRows(ForeignTableReader& reader, TableWriter& writer, const TableDef& def, long before,
              const CopyProgress& progress) {
  std::vector<Value> row;
  std::vector<std::optional<Value>> values;
  long copied = 0;
  while (reader.next(row)) {
    values.assign(row.begin(), row.end());
    writer.insertRow(def, values);
    if (++copied % kProgressEvery == 0 && progress) progress(before + copied);
  }
  return copied;
}

}  // namespace

TableImportResult importTables(const std::vector<TableToImport>& tables, const SourceTableOpener& open,
                               const std::string& targetPath, const CopyProgress& progress) {
  std::shared_ptr<Database> db = openTargetDatabase(targetPath);
  TableImportResult result;
  const std::vector<std::string> names = targetNames(tables, *db, result.warnings);
  TableWriter writer(db);
  writer.begin();
  try {
    SchemaWriter schema(db, writer);
    long total = 0;
    for (size_t i = 0; i < tables.size(); ++i) {
      std::unique_ptr<ForeignTableReader> reader = open(tables[i].source);
      std::vector<ColumnSpec> specs;
      for (const ResultColumn& c : reader->columns()) specs.push_back(columnSpecFor(c));
      const std::vector<FieldRules> rules = reader->fieldRules();
      for (size_t k = 0; k < rules.size() && k < specs.size(); ++k) specs[k].required = rules[k].required;
      schema.createTable(names[i], specs);
      for (size_t k = 0; k < rules.size() && k < specs.size(); ++k)
        if (rules[k].defaultValue && !rules[k].defaultValue->empty())
          schema.setDefaultValue(names[i], specs[k].name, *rules[k].defaultValue);
      const std::shared_ptr<const TableDef> def = db->table(names[i]);
      const long rows = copyRows(*reader, writer, *def, total, progress);
      total += rows;
      for (std::string& w : reader->warnings())
        result.warnings.push_back(tables.size() > 1 ? "In '" + names[i] + "': " + w : w);
      result.tables.push_back({tables[i].source, names[i], rows});
    }
    writer.commit();
  } catch (...) {
    writer.rollback();
    db->reloadCatalog();
    throw;
  }
  db->reloadCatalog();
  return result;
}

}  // namespace kevra
