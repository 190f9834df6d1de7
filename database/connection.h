// Connection: one open database file reached through a connection string of the
// form "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=PATH[;...]".
// Recognised properties: Data Source, Mode (Read / Share Deny None / ReadWrite),
// Jet OLEDB:Database Password, Jet OLEDB:Code Page (the code page of an Access 97
// file's text, when its header names the wrong one), Extended Properties. Unknown properties are
// ignored. Extended Properties naming a driver ("Text", "dBase 5.0", "HTML
// Import"...) open a foreign data source instead of an Access database: its
// tables can be listed (Catalog) and copied into a database with
// "select * into [T] in \"file.mdb\" from [S]" (Recordset).
#pragma once
#include <memory>
#include <string>

namespace kevra {
class Database;
class ForeignDriver;
}

namespace kevra::db {

class Connection {
 public:
  Connection();
  ~Connection();

  // Opens the file named by the connection string. Throws kevra::EngineError
  // when the string names no file, the file cannot be opened, or this
  // connection is already open.
  void Open(const std::string& connectionString, const std::string& userId = "",
            const std::string& password = "", int options = -1);
  // Throws when the connection is not open.
  void Close();
  int State() const;  // adStateClosed or adStateOpen
  const std::string& ConnectionString() const { return connectionString_; }
  // The file was opened read-only (Mode=Read, or not writable); false when closed.
  bool readOnly() const;
  // Why a file asked for writing opened read-only (its format is read but
  // not written yet); empty otherwise.
  std::string readOnlyReason() const;

  // The open engine database; throws when closed or open on a foreign source.
  std::shared_ptr<kevra::Database> engine() const;
  // The driver of a foreign data source, and that source (the folder or file
  // of Data Source); null and empty for an Access database.
  kevra::ForeignDriver* foreignDriver() const { return foreign_.get(); }
  const std::string& foreignSource() const { return foreignSource_; }

 private:
  std::string connectionString_;
  std::shared_ptr<kevra::Database> database_;
  std::shared_ptr<kevra::ForeignDriver> foreign_;
  std::string foreignKeyword_, foreignSource_;
};

}  // namespace kevra::db
