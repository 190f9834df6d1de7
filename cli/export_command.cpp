// kevra-cli export FILE TABLE [--format csv|jsonl] [--output PATH]
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/open_database.h"
#include "engine/isam/text_export.h"
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

  std::FILE* out = stdout;
  std::string partial;
  if (!args.output.empty()) {
    // Write beside the target and rename at the end, so a failed export never
    // leaves a truncated file under the requested name.
    partial = args.output + ".partial";
    out = std::fopen(partial.c_str(), "wb");
    if (!out) throw EngineError("Could not create '" + args.output + "': " + std::strerror(errno) + ".");
  }
  try {
    {
      TextSink sink(out);
      auto writer = format == "csv" ? makeCsvWriter(sink) : makeJsonLinesWriter(sink);
      std::vector<std::string> names;
      for (const auto& c : table->columns) names.push_back(c.name);
      writer->begin(names);
      std::vector<Value> row;
      while (cursor->next(row)) writer->row(row);
      sink.flush();
    }
    if (out != stdout) {
      if (std::fclose(out) != 0) {
        out = nullptr;
        throw EngineError("Could not write '" + args.output + "': " + std::strerror(errno) + ".");
      }
      out = nullptr;
      if (std::rename(partial.c_str(), args.output.c_str()) != 0)
        throw EngineError("Could not create '" + args.output + "': " + std::strerror(errno) + ".");
    } else {
      std::fflush(stdout);
    }
  } catch (...) {
    if (out && out != stdout) std::fclose(out);
    if (!partial.empty()) std::remove(partial.c_str());
    throw;
  }
  return 0;
}

}  // namespace kevra::cli
