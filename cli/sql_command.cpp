// kevra-cli sql FILE "STATEMENT": SELECT prints JSON Lines like export;
// INSERT, UPDATE, DELETE, SELECT ... INTO and the structure statements
// (CREATE, ALTER, DROP) change the file in one transaction and print the
// number of rows affected. With --plan nothing runs: each line says how a
// table would be read (which index, whether ORDER BY sorts).
#include <cstdio>

#include "cli/commands.h"
#include "cli/open_database.h"
#include "engine/table/database.h"
#include "engine/isam/foreign_copy.h"
#include "engine/isam/text_export.h"
#include "engine/sql/local_services.h"
#include "engine/sql/parser.h"
#include "engine/sql/result_set.h"

namespace kevra::cli {

int runSql(const Arguments& args) {
  if (args.positional.size() != 2) throw UsageError("'sql' takes FILE and one STATEMENT.");
  OpenOptions options;
  options.password = args.password;
  options.codePage = codePageArgument(args);
  // Only statements that change something need the file for writing (a
  // syntax error is reported here, before the file is opened).
  const std::string& statement = args.positional[1];
  if (args.plan) {
    options.readOnly = true;
    auto db = Database::open(args.positional[0], options);
    Database::ReadScope reading(*db);  // one state of the file throughout
    for (const std::string& line : explainStatement(db, statement)) std::printf("%s\n", line.c_str());
    return 0;
  }
  const sql::Statement parsed = sql::parseStatement(statement);
  const auto* select = std::get_if<sql::SelectStatement>(&parsed);
  // SELECT ... INTO another file ("in" a path) leaves this one as it is.
  options.readOnly = select && (!select->into || select->into->externalPath);
  auto db = Database::open(args.positional[0], options);
  Database::ReadScope reading(*db);  // one state of the file throughout
  LocalServices local(db);
  StatementServices services;
  if (!options.readOnly) services = local.services();
  ForeignTableCopier copier(db, services.copier);
  services.copier = &copier;
  StatementResult result = runStatement(db, statement, services);
  for (const auto& w : copier.warnings()) std::fprintf(stderr, "kevra-cli: %s\n", w.c_str());
  if (!result.rows) {
    std::printf("%ld\n", result.rowsAffected);
    return 0;
  }
  TextSink sink(stdout);
  auto out = makeJsonLinesWriter(sink);
  std::vector<std::string> names;
  for (const auto& c : result.rows->columns()) names.push_back(c.name);
  out->begin(names);
  std::vector<std::vector<Value>> block;
  for (uint64_t pos = 0;; pos += block.size()) {
    if (result.rows->fetch(pos, 1024, block) == 0) break;
    for (const auto& row : block) out->row(row);
  }
  sink.flush();
  return 0;
}

}  // namespace kevra::cli
