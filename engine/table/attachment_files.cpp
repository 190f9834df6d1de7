#include "engine/table/attachment_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "engine/table/complex_columns.h"
#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/util/error.h"

namespace kevra {
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

std::vector<size_t> attachmentColumns(const Database& db, const TableDef& table) {
  std::vector<size_t> columns;
  auto complex = db.complexColumns();
  for (size_t i = 0; i < table.columns.size(); ++i)
    if (complex && complex->isAttachmentColumn(table.columns[i])) columns.push_back(i);
  return columns;
}

}  // namespace

bool hasAttachmentColumns(const Database& db, const TableDef& table) { return !attachmentColumns(db, table).empty(); }

size_t saveAttachmentFiles(const Database& db, const std::shared_ptr<const TableDef>& table, const std::string& folder) {
  const std::vector<size_t> columns = attachmentColumns(db, *table);
  if (columns.empty()) throw EngineError("Table '" + table->name + "' has no attachment column.");
  auto complex = db.complexColumns();
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
      std::filesystem::path dir =
          std::filesystem::path(folder) / safeFileName(table->columns[i].name) / std::to_string(number);
      std::filesystem::create_directories(dir);
      for (const auto& file : files) {
        writeNewFile(dir / safeFileName(file.name), file.bytes);
        ++saved;
      }
    }
  }
  return saved;
}

}  // namespace kevra
