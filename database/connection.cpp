// Connection: opening and closing the engine database named by a
// connection string.
#include "database/connection.h"

#include "database/ado_types.h"
#include "database/connection_string.h"
#include "engine/isam/foreign_drivers.h"
#include "engine/storage/file_system.h"
#include "engine/table/database.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra::db {

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::Open(const std::string& connectionString, const std::string& /*userId*/,
                      const std::string& password, int /*options*/) {
  if (database_ || foreign_)
    throw EngineError("The connection is already open; close it before opening it again.");
  kevra::db::ConnectionString cs(connectionString);
  if (auto provider = cs.get("Provider");
      provider && !namesEqualCaseInsensitive(*provider, "Microsoft.Jet.OLEDB.4.0"))
    throw EngineError("The provider '" + *provider + "' is not available; use Microsoft.Jet.OLEDB.4.0.");
  auto source = cs.get("Data Source");
  if (!source || source->empty()) throw EngineError("The connection string names no database file (Data Source).");
  if (auto extended = cs.get("Extended Properties"); extended && !connectKeyword(*extended).empty()) {
    if (!kevra::realFileSystem().exists(*source)) throw EngineError("'" + *source + "' does not exist.");
    foreign_ = makeForeignDriver(*extended);
    foreignKeyword_ = connectKeyword(*extended);
    foreignSource_ = *source;
    connectionString_ = connectionString;
    return;
  }
  OpenOptions options;
  options.password = cs.get("Jet OLEDB:Database Password").value_or(password);
  // Access 97 files whose text is in another code page than the header says.
  if (auto codePage = cs.get("Jet OLEDB:Code Page"); codePage && !codePage->empty()) {
    if (codePage->find_first_not_of("0123456789") != std::string::npos || codePage->size() > 5)
      throw EngineError("Jet OLEDB:Code Page takes a code page number such as 1252, not '" + *codePage + "'.");
    options.codePage = std::stoi(*codePage);
  }
  std::string mode = cs.get("Mode").value_or("");
  bool readRequested = namesEqualCaseInsensitive(mode, "Read");
  options.readOnly = readRequested || !kevra::realFileSystem().isWritable(*source);
  database_ = Database::open(*source, options);
  connectionString_ = connectionString;
}

void Connection::Close() {
  if (!database_ && !foreign_) throw EngineError("The connection is already closed.");
  database_.reset();
  foreign_.reset();
  foreignKeyword_.clear();
  foreignSource_.clear();
}

bool Connection::readOnly() const { return database_ && database_->readOnly(); }

std::string Connection::readOnlyReason() const { return database_ ? database_->readOnlyReason() : std::string(); }

int Connection::State() const { return database_ || foreign_ ? adStateOpen : adStateClosed; }

std::shared_ptr<kevra::Database> Connection::engine() const {
  if (foreign_)
    throw EngineError("The connection is open on '" + foreignSource_ + "' through the '" + foreignKeyword_ +
                      "' driver, not on an Access database.");
  if (!database_) throw EngineError("The connection is closed; open a database first.");
  return database_;
}

}  // namespace kevra::db
