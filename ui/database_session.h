// DatabaseSession: the open database as the window and its pages share it.
// It holds the shared connection, the catalog bound to it, the statement
// recordset that structure commands run their SQL on and the import
// connection, and what one command leaves for the next: the file's path and
// connection string, the selected table and the field snapshot. The main
// window owns one for its lifetime and hands it to its pages.
#pragma once
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "database/catalog.h"
#include "database/connection.h"
#include "database/recordset.h"

namespace kevra::ui {

// The connection string of a Jet file is this prefix followed by its path.
inline const std::string kJetConnectionPrefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";

class DatabaseSession {
 public:
  DatabaseSession();
  ~DatabaseSession();
  DatabaseSession(const DatabaseSession&) = delete;
  DatabaseSession& operator=(const DatabaseSession&) = delete;

  // Opens the file at `path` on the shared connection and binds the catalog
  // to it; `password` is the database password of a protected file, kept in
  // the connection string for every later connection to it. The path and
  // connection string are taken first, so they name the file even when the
  // open fails; a failure after the connection opened closes it again, so
  // the next open is not refused.
  // `readOnly` opens the file for reading only (as when another program
  // holds it for changes); `codePage` (0: the file's own) reads the text of
  // an Access 97 file in that code page.
  void open(const QString& path, const QString& password = {}, bool readOnly = false, int codePage = 0);
  // Closes the shared connection; one that is already closed is left alone.
  void close();
  // Makes a new, empty database file at `path` through the catalog, which
  // stays bound to it until the next open. The connection string names the
  // new file from then on; the open-database path is left alone.
  void create(const QString& path);
  // After a structure change: the shared connection opened again on the same
  // file (closed first when open) and the catalog bound to it anew.
  void reopen();

  // The catalog bound anew to the open connection: its next read sees what
  // earlier changes in the same command did to any of its objects.
  void rereadCatalog();

  const QString& path() const { return path_; }
  const std::string& connectionString() const { return connectionString_; }
  db::Connection& connection() const { return *connection_; }
  db::Catalog& catalog() const { return *catalog_; }
  db::Recordset& statement() const { return *statement_; }
  // Runs one structure statement on the statement recordset with the shared
  // connection (forward-only, read-only, command text); nothing is read
  // back. The text is kept in statementLog() before it is sent, so a refused
  // statement is listed too.
  void runStatement(const std::string& sql);
  // Every statement runStatement() sent, oldest first.
  const std::vector<std::string>& statementLog() const { return statementLog_; }
  // Made by the import command when it needs one.
  std::unique_ptr<db::Connection>& importConnection() { return importConnection_; }

  // The selected table's position in the catalog's Tables, entries of every
  // type counted: catalog reads of the table go through it.
  int selectedTableIndex() const { return selectedTableIndex_; }
  // Selects the table named `name`. No match leaves the index one past the
  // last entry, so the first read of the table fails with the catalog's
  // message; an empty catalog leaves the index as it was.
  void selectTable(const std::string& name);
  const db::Table& selectedTable() const;
  // The same table, to change through the catalog.
  db::Table& selectedTable();

  // The six texts of the field last shown: name, type, length, nullable
  // ("-1" or "0"), default value, related field.
  const std::vector<std::string>& fieldSnapshot() const { return fieldSnapshot_; }
  void setFieldSnapshot(std::vector<std::string> snapshot) { fieldSnapshot_ = std::move(snapshot); }

 private:
  // Declared in creation order, so they are released in the reverse one:
  // import connection, statement recordset, shared connection, catalog.
  std::unique_ptr<db::Catalog> catalog_;
  std::unique_ptr<db::Connection> connection_;
  std::unique_ptr<db::Recordset> statement_;
  std::unique_ptr<db::Connection> importConnection_;

  QString path_;
  std::string connectionString_;
  int selectedTableIndex_ = 0;
  std::vector<std::string> fieldSnapshot_;
  std::vector<std::string> statementLog_;
};

}  // namespace kevra::ui
