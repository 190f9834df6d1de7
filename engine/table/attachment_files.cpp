#include "engine/table/attachment_files.h"

#include <vector>

#include "engine/storage/write_target.h"
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

std::string joined(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// A file that did not exist, a symbolic link of that name included: written
// under a temporary name made with O_EXCL|O_NOFOLLOW and renamed into place
// by a rename that never replaces, so nothing is written through a link.
void writeNewFile(FileSystem& fs, const std::string& path, const Binary& bytes) {
  if (fs.kindOf(path)) throw EngineError("'" + path + "' exists already; it was not replaced.");
  TargetFile file(fs, path, ExistingTarget::Refuse);
  file.append(bytes.data(), bytes.size());
  file.commit();
}

// The folder `name` inside `parent`, made when missing. A symbolic link
// there is refused: it could lead the files anywhere.
std::string subfolder(FileSystem& fs, const std::string& parent, const std::string& name) {
  const std::string path = joined(parent, name);
  const std::optional<FileKind> kind = fs.kindOf(path);
  if (kind == FileKind::Link)
    throw EngineError("'" + path + "' is a symbolic link; attachments are not saved through links.");
  if (kind && kind != FileKind::Folder) throw EngineError("'" + path + "' exists and is not a folder.");
  if (!kind) fs.createFolder(path);
  return path;
}

// The chosen folder, made with its missing parents; links in it are the
// user's own and followed.
void makeChosenFolder(FileSystem& fs, const std::string& folder) {
  if (fs.kindOf(folder, true) == FileKind::Folder) return;
  std::string path;
  size_t at = 0;
  while (at <= folder.size()) {
    size_t slash = folder.find('/', at);
    if (slash == std::string::npos) slash = folder.size();
    path = folder.substr(0, slash);
    at = slash + 1;
    if (path.empty() || path == "." || path == "..") continue;
    if (fs.kindOf(path, true) != FileKind::Folder) fs.createFolder(path);
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

size_t saveAttachmentFiles(const Database& db, const std::shared_ptr<const TableDef>& table, const std::string& folder,
                           FileSystem& fs) {
  const std::vector<size_t> columns = attachmentColumns(db, *table);
  if (columns.empty()) throw EngineError("Table '" + table->name + "' has no attachment column.");
  auto complex = db.complexColumns();
  if (folder.empty()) throw EngineError("No folder was given to save the attachments in.");
  makeChosenFolder(fs, folder);
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
      const std::string column = subfolder(fs, folder, safeFileName(table->columns[i].name));
      const std::string dir = subfolder(fs, column, std::to_string(number));
      for (const auto& file : files) {
        writeNewFile(fs, joined(dir, safeFileName(file.name)), file.bytes);
        ++saved;
      }
    }
  }
  return saved;
}

}  // namespace kevra
