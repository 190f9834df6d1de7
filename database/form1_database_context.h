// The database context of the main window: the shared connection, catalog and
// statement recordset through which every command reaches the open file, and
// the state commands hand each other (connection string, selected table
// index, field snapshot). Plain C++; the window owns one for its lifetime.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "database/catalog.h"
#include "database/connection.h"
#include "database/recordset.h"

namespace kevra::db {

struct DatabaseContext {
  // Declared in creation order; members are released in the reverse order:
  // import connection, statement recordset, shared connection, catalog.
  std::unique_ptr<Catalog> catalog;
  std::unique_ptr<Connection> connection;
  std::unique_ptr<Recordset> statement;
  std::unique_ptr<Connection> importConnection;

  // "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path of the open file.
  std::string connectionString;
  // Position of the selected table in the catalog's Tables, all types counted.
  int selectedTableIndex = 0;
  // The six texts of the field last shown: name, type, length, nullable
  // ("-1"/"0"), default value, related field.
  std::vector<std::string> fieldSnapshot;
};

inline const std::string kJetConnectionPrefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";

}  // namespace kevra::db
