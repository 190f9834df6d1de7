// kevra-cli import FILE SOURCE [TABLE...] and export FILE TABLE --to FORMAT DIR:
// the Convert menu's statements run from a terminal.
#include <cstdio>
#include <filesystem>

#include "cli/commands.h"
#include "cli/open_database.h"
#include "database/catalog.h"
#include "database/connection.h"
#include "database/conversion_statements.h"
#include "database/recordset.h"
#include "database/table_import.h"
#include "engine/util/error.h"

namespace kevra::cli {
namespace {

std::string absolute(const std::string& path) { return std::filesystem::absolute(path).lexically_normal().string(); }

long runConversion(const db::Connection& connection, const std::string& statement) {
  db::Recordset r;
  r.Open(statement, connection, 0, 3, 0);
  for (const auto& w : r.warnings()) std::fprintf(stderr, "kevra-cli: %s\n", w.c_str());
  return r.rowsAffected();
}

}  // namespace

int runForeignExport(const Arguments& args) {
  if (args.positional.size() != 3) throw UsageError("'export --to' takes FILE, TABLE and DIR.");
  static const std::pair<const char*, const char*> kFormats[] = {
      {"dbase", "dBase"}, {"excel", "Excel"}, {"html", "HTML"}, {"paradox", "Paradox"}, {"text", "Text"}};
  std::string format;
  for (auto& [word, name] : kFormats)
    if (args.to == word) format = name;
  if (format.empty()) throw UsageError("Unknown kind '" + args.to + "'; use dbase, excel, html, paradox or text.");
  std::string dir = absolute(args.positional[2]);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  db::Connection connection;
  std::string cs = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + args.positional[0] + ";Mode=Read";
  if (!args.password.empty()) cs += ";Jet OLEDB:Database Password=" + args.password;
  if (int codePage = codePageArgument(args)) cs += ";Jet OLEDB:Code Page=" + std::to_string(codePage);
  connection.Open(cs, "admin", "", 0);
  const std::string& table = args.positional[1];
  long rows = runConversion(connection, *db::exportStatement(format, table, dir));
  std::printf("%s: %ld rows to %s\n", table.c_str(), rows, db::exportedFileName(format, table, dir)->c_str());
  return 0;
}

int runImport(const Arguments& args) {
  if (args.positional.size() < 2) throw UsageError("'import' takes FILE, SOURCE and, for .mdb and .xls, TABLEs.");
  const std::string target = absolute(args.positional[0]);
  const std::string file = absolute(args.positional[1]);
  auto source = db::importSourceFor(file);
  if (!source)
    throw UsageError("'" + args.positional[1] +
                     "' is not a kind of file that can be imported (.mdb, .xls, .db, .dbf, .htm, .html, .txt, .csv).");
  db::Connection connection;
  connection.Open(source->connectionString, source->user, "", 0);
  std::vector<std::string> tables(args.positional.begin() + 2, args.positional.end());
  std::vector<db::TableToImport> chosen;
  if (!source->choosesTables) {
    if (!tables.empty()) throw UsageError("A " + args.positional[1] + " file holds one table; name no TABLE.");
    chosen.push_back({source->sourceTable, source->baseName});
  } else {
    if (tables.empty()) {
      db::Catalog catalog;
      catalog.ActiveConnection(connection);
      for (int i = 0; i < catalog.Tables().Count(); ++i)
        if (catalog.Tables().Item(i).Type() == "TABLE") tables.push_back(catalog.Tables().Item(i).Name());
    }
    for (const auto& t : tables) chosen.push_back({t, t});
  }
  // All the tables in one transaction: a failure imports none of them.
  const db::ImportOutcome outcome = db::importTables(connection, chosen, target);
  for (const auto& w : outcome.warnings) std::fprintf(stderr, "kevra-cli: %s\n", w.c_str());
  for (const auto& t : outcome.tables) std::printf("%s: %ld rows\n", t.table.c_str(), t.rows);
  return 0;
}

}  // namespace kevra::cli
