// Listing linked tables, finding the files they name, and pointing a link at
// another file.
#include "engine/table/linked_tables.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/catalog/catalog_object.h"
#include "engine/table/catalog_rows.h"
#include "engine/table/database.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

namespace fs = std::filesystem;

LinkedTable describe(const CatalogObject& o) {
  LinkedTable link;
  link.name = o.name;
  link.datasource = o.database;
  link.foreignName = o.foreignName.empty() ? o.name : o.foreignName;
  link.connect = o.connect;
  link.odbc = o.type == int16_t(ObjectType::LinkedOdbc);
  return link;
}

// "C:\data\x.mdb" or "\\server\share\x.mdb" as this system writes paths.
std::string localSeparators(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

bool hasDriveLetter(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

bool isFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

fs::path linkingFolder(const Database& db) { return fs::path(db.path()).parent_path(); }

std::string fileNameOf(const std::string& datasource) {
  const std::string path = localSeparators(datasource);
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (slash == std::string::npos && hasDriveLetter(name)) name = name.substr(2);  // "C:x.mdb"
  return name;
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

std::vector<LinkedTable> linkedTables(const Database& db) {
  std::vector<LinkedTable> links;
  for (const CatalogObject& o : db.objects())
    if (o.isLink() && o.parentId == kTablesContainerId) links.push_back(describe(o));
  std::stable_sort(links.begin(), links.end(), [](const LinkedTable& a, const LinkedTable& b) {
    return compareNamesCaseInsensitive(a.name, b.name) < 0;
  });
  return links;
}

LinkedTable linkedTable(const Database& db, const std::string& name) {
  const CatalogObject* o = db.findObject(name);
  if (!o || !o->isLink()) throw EngineError("There is no linked table named " + quoted(name) + ".");
  return describe(*o);
}

std::optional<std::string> findLinkTarget(const Database& db, const std::string& datasource) {
  if (datasource.empty()) return std::nullopt;
  const std::string given = localSeparators(datasource);
  if (!hasDriveLetter(given)) {
    fs::path path(given);
    if (path.is_relative()) path = linkingFolder(db) / path;
    if (isFile(path)) return path.lexically_normal().string();
  }
  const std::string name = fileNameOf(datasource);
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  const fs::path beside = linkingFolder(db) / name;
  if (isFile(beside)) return beside.lexically_normal().string();
  return std::nullopt;
}

std::string missingLinkTargetMessage(const Database& db, const LinkedTable& link) {
  if (link.datasource.empty())
    return "The linked table " + quoted(link.name) + " names no file to read it from.";
  std::string message = "The linked table " + quoted(link.name) + " points to " + quoted(link.datasource) +
                        ", which cannot be found";
  const std::string name = fileNameOf(link.datasource);
  if (!name.empty())
    message += " (nor is there a " + quoted(name) + " beside " + quoted(fs::path(db.path()).filename().string()) + ")";
  return message + ".";
}

void relinkTable(const std::shared_ptr<Database>& db, const std::string& name, const std::string& path) {
  const LinkedTable link = linkedTable(*db, name);
  if (link.odbc)
    throw UnsupportedError("The linked table " + quoted(link.name) +
                           " reads an ODBC data source; it cannot be pointed at a file.");
  if (path.empty()) throw EngineError("No file was given for the linked table " + quoted(link.name) + ".");
  // A relative path is kept as given and read from the linking file's
  // folder, as findLinkTarget reads it.
  fs::path file(path);
  if (file.is_relative()) file = linkingFolder(*db) / file;
  if (!isFile(file))
    throw EngineError("The file " + quoted(path) + " for the linked table " + quoted(link.name) + " does not exist.");
  {
    OpenOptions options;
    options.readOnly = true;
    std::shared_ptr<Database> target = Database::open(file.string(), options);
    Database::ReadScope reading(*target);
    const CatalogObject* o = target->findObject(link.foreignName);
    if (!o || !o->isLocalTable())
      throw EngineError("The file " + quoted(path) + " has no table " + quoted(link.foreignName) +
                        " for the linked table " + quoted(link.name) + ".");
  }
  const uint32_t rowLocation = db->findObject(name)->rowLocation;
  TableWriter writer(db);
  try {
    inOneTransaction(writer, [&] { CatalogRows(db, writer).setObjectFields(rowLocation, {{"Database", Value(path)}}); });
  } catch (...) {
    db->reloadCatalog();
    throw;
  }
  db->reloadCatalog();
}

}  // namespace kevra
