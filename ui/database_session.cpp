// Opening, closing and reopening the shared connection, and finding the
// selected table in the catalog.
#include "ui/database_session.h"

#include "database/ado_types.h"

namespace kevra::ui {

namespace {
const std::string kUser = "admin";
}

DatabaseSession::DatabaseSession()
    : catalog_(std::make_unique<db::Catalog>()),
      connection_(std::make_unique<db::Connection>()),
      statement_(std::make_unique<db::Recordset>()) {}

DatabaseSession::~DatabaseSession() = default;

void DatabaseSession::open(const QString& path, const QString& password, bool readOnly, int codePage) {
  path_ = path;
  connectionString_ = kJetConnectionPrefix + path.toStdString();
  if (readOnly) connectionString_ += ";Mode=Read";
  if (codePage > 0) connectionString_ += ";Jet OLEDB:Code Page=" + std::to_string(codePage);
  if (!password.isEmpty()) {
    const char quote = password.contains(QLatin1Char('"')) ? '\'' : '"';
    connectionString_ += ";Jet OLEDB:Database Password=" + std::string(1, quote) + password.toStdString() + quote;
  }
  connection_->Open(connectionString_, kUser, "", -1);
  try {
    catalog_->ActiveConnection(*connection_);
  } catch (...) {
    close();
    throw;
  }
}

void DatabaseSession::create(const QString& path) {
  connectionString_ = kJetConnectionPrefix + path.toStdString();
  catalog_->Create(connectionString_);
}

void DatabaseSession::close() {
  if (connection_->State() != db::adStateClosed) connection_->Close();
  // The catalog and the statement's rows hold the file too: a closed file is
  // let go of (its lock released for other programs, its open options
  // dropped for the next open).
  catalog_ = std::make_unique<db::Catalog>();
  statement_->Close();
}

void DatabaseSession::reopen() {
  close();
  connection_->Open(connectionString_, kUser, "", 0);
  catalog_->ActiveConnection(*connection_);
}

void DatabaseSession::rereadCatalog() { catalog_->ActiveConnection(*connection_); }

void DatabaseSession::runStatement(const std::string& sql) {
  statementLog_.push_back(sql);
  statement_->Open(sql, *connection_, 0, 1, 1);
}

void DatabaseSession::selectTable(const std::string& name) {
  const db::Tables& tables = catalog_->Tables();
  const int count = tables.Count();
  if (count == 0) return;
  int position = 0;
  while (position < count && tables.Item(position).Name() != name) ++position;
  selectedTableIndex_ = position;
}

const db::Table& DatabaseSession::selectedTable() const { return catalog_->Tables().Item(selectedTableIndex_); }

db::Table& DatabaseSession::selectedTable() { return catalog_->Tables().Item(selectedTableIndex_); }

}  // namespace kevra::ui
