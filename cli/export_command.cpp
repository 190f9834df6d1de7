// kevra-cli export FILE TABLE [--format csv|jsonl] [--output PATH]
#include <cstdio>
#include <optional>

#include "cli/commands.h"
#include "cli/open_database.h"
#include "engine/isam/text_export.h"
#include "engine/storage/write_target.h"
#include "engine/table/attachment_files.h"
#include "engine/table/database.h"
#include "engine/table/table_cursor.h"

namespace kevra::cli {

int runExport(const Arguments& args) {
  if (args.positional.size() != 2) throw UsageError("'export' takes FILE and TABLE.");
  std::string format = args.format.empty() ? "csv" : args.format;
  if (format != "csv" && format != "jsonl") throw UsageError("Unknown format '" + format + "'; use csv or jsonl.");
  auto db = openForReading(args);
  Database::ReadScope reading(*db);  // one state of the file throughout
  auto table = db->table(args.positional[1]);
  auto cursor = db->openCursor(table);
  if (!args.attachments.empty()) {
    size_t saved = saveAttachmentFiles(*db, table, args.attachments);
    std::fprintf(stderr, "%zu attachment file%s saved under '%s'.\n", saved, saved == 1 ? "" : "s",
                 args.attachments.c_str());
  }

  // A file of that name is replaced whole at the end, so a failed export
  // never leaves a truncated one; a device or pipe (/dev/null, /dev/stdout)
  // is written directly, and a symbolic link keeps pointing where it did.
  std::optional<TargetFile> target;
  if (!args.output.empty()) target.emplace(realFileSystem(), args.output, ExistingTarget::Replace);
  {
    std::optional<TextSink> sink;
    if (target) sink.emplace(*target);
    else sink.emplace(stdout);
    auto writer = format == "csv" ? makeCsvWriter(*sink) : makeJsonLinesWriter(*sink);
    std::vector<std::string> names;
    for (const auto& c : table->columns) names.push_back(c.name);
    writer->begin(names);
    std::vector<Value> row;
    while (cursor->next(row)) writer->row(row);
    sink->flush();
  }
  if (target) target->commit();
  else std::fflush(stdout);
  return 0;
}

}  // namespace kevra::cli
