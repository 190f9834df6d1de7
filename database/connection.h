// Connection: one open database file reached through a connection string of the
// form "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=PATH[;...]".
// Recognised properties: Data Source, Mode (Read / Share Deny None / ReadWrite),
// Jet OLEDB:Database Password. Unknown properties are ignored.
#pragma once
#include <memory>
#include <string>

namespace kevra {
class Database;
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

  // The open engine database; throws when closed.
  std::shared_ptr<kevra::Database> engine() const;

 private:
  std::string connectionString_;
  std::shared_ptr<kevra::Database> database_;
};

}  // namespace kevra::db
