// kevra-cli sql FILE "STATEMENT": SELECT prints JSON Lines like export;
// INSERT, UPDATE and DELETE change the file in one transaction and print the
// number of rows affected.
#include <cstdio>

#include "cli/commands.h"
#include "engine/table/database.h"
#include "engine/isam/text_export.h"
#include "engine/sql/result_set.h"
#include "engine/sql/statement_runner.h"
#include "engine/table/table_writer.h"

namespace kevra::cli {

int runSql(const Arguments& args) {
  if (args.positional.size() != 2) throw UsageError("'sql' takes FILE and one STATEMENT.");
  OpenOptions options;
  options.password = args.password;
  // Only statements that change rows need the file for writing.
  std::string statement = args.positional[1];
  size_t first = statement.find_first_not_of(" \t\r\n(");
  std::string verb = first == std::string::npos ? "" : statement.substr(first, 6);
  for (char& c : verb) c = char(std::toupper(static_cast<unsigned char>(c)));
  options.readOnly = verb == "SELECT";
  auto db = Database::open(args.positional[0], options);
  TableWriter writer(db);
  StatementResult result = runStatement(db, statement, options.readOnly ? nullptr : &writer);
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
