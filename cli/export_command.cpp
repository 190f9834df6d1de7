// kevra-cli export FILE TABLE [--format csv|jsonl] [--output PATH]
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli/commands.h"
#include "cli/open_database.h"
#include "engine/isam/text_export.h"
#include "engine/table/complex_columns.h"
#include "engine/table/database.h"
#include "engine/table/table_cursor.h"

namespace kevra::cli {
namespace {

// A file name as stored, made safe to use inside one folder.
std::string safeFileName(const std::string& name) {
  std::string safe;
  for (char c : name) safe.push_back(c == '/' || c == '\\' || c == '\0' ? '_' : c);
  if (safe.empty() || safe == "." || safe == "..") safe = "attachment";
  return safe;
}

void writeNewFile(const std::filesystem::path& path, const Binary& bytes) {
  if (std::filesystem::exists(path)) throw EngineError("'" + path.string() + "' exists already; it was not replaced.");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw EngineError("Could not create '" + path.string() + "': " + std::strerror(errno) + ".");
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::remove(path.c_str());
    throw EngineError("Could not write '" + path.string() + "': " + std::strerror(errno) + ".");
  }
}

// Saves every file of the table's attachment columns under `dir`; returns
// how many were saved.
size_t saveAttachments(const Database& db, const std::shared_ptr<const TableDef>& table, const std::string& dir) {
  auto complex = db.complexColumns();
  std::vector<size_t> columns;
  for (size_t i = 0; i < table->columns.size(); ++i)
    if (complex && complex->isAttachmentColumn(table->columns[i])) columns.push_back(i);
  if (columns.empty()) throw EngineError("Table '" + table->name + "' has no attachment column.");
  auto cursor = db.openCursor(table);
  cursor->keepComplexKeys();
  std::vector<Value> row;
  size_t saved = 0;
  for (uint64_t number = 1; cursor->next(row); ++number) {
    for (size_t i : columns) {
      const int32_t* key = std::get_if<int32_t>(&row[i]);
      if (!key) continue;
      auto files = complex->attachments(table->columns[i], *key);
      if (files.empty()) continue;
      std::filesystem::path folder =
          std::filesystem::path(dir) / safeFileName(table->columns[i].name) / std::to_string(number);
      std::filesystem::create_directories(folder);
      for (const auto& file : files) {
        writeNewFile(folder / safeFileName(file.name), file.bytes);
        ++saved;
      }
    }
  }
  return saved;
}

}  // namespace

int runExport(const Arguments& args) {
  if (args.positional.size() != 2) throw UsageError("'export' takes FILE and TABLE.");
  std::string format = args.format.empty() ? "csv" : args.format;
  if (format != "csv" && format != "jsonl") throw UsageError("Unknown format '" + format + "'; use csv or jsonl.");
  auto db = openForReading(args);
  Database::ReadScope reading(*db);  // one state of the file throughout
  auto table = db->table(args.positional[1]);
  auto cursor = db->openCursor(table);
  if (!args.attachments.empty()) {
    size_t saved = saveAttachments(*db, table, args.attachments);
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
