// Linked tables: catalog entries (MSysObjects Type 6, or 4 for an ODBC
// source) that stand for a table kept in another file. The link keeps the
// other file's path as it was written, often a Windows path of the machine
// that made it, so finding the file tries that path first and then a file of
// the same name beside the linking database.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kevra {

class Database;

struct LinkedTable {
  std::string name;         // in the linking database
  std::string datasource;   // the other file's path as stored (MSysObjects.Database)
  std::string foreignName;  // its name in the other file (MSysObjects.ForeignName)
  std::string connect;      // connect string; for an ODBC link, the whole source
  bool odbc = false;        // an ODBC link (no file to open here)
};

// The links of `db`, in name order (case-insensitive).
std::vector<LinkedTable> linkedTables(const Database& db);
// The link named `name`; throws EngineError naming it when there is no such link.
LinkedTable linkedTable(const Database& db, const std::string& name);

// The file `datasource` names, looked for as `db`'s link would be: the path
// as given (backslashes read as separators, a relative one taken from the
// linking database's folder), then the same file name beside the linking
// database. Nullopt when neither is an existing regular file.
std::optional<std::string> findLinkTarget(const Database& db, const std::string& datasource);

// The message for a link whose file cannot be found, naming the link, the
// path it stores and where else it was looked for.
std::string missingLinkTargetMessage(const Database& db, const LinkedTable& link);

// Points the link `name` at the database file `path`: its MSysObjects row's
// Database column becomes `path` (a relative one read from the linking
// file's folder, and kept relative), in one transaction. Refused, the file left
// as it was, when `name` is not an Access link, when `path` cannot be opened
// as a database, or when that file has no local table of the link's foreign
// name (a link there does not count).
void relinkTable(const std::shared_ptr<Database>& db, const std::string& name, const std::string& path);

}  // namespace kevra
