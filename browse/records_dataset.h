// The records dataset: the rows of the selected table, reached through a
// connection of its own (separate from the window's shared connection) with a
// command text such as "select * from [Orders]". The grid reads it through
// RecordsModel; listeners hear when it opens or closes.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/connection.h"
#include "database/recordset.h"

namespace kevra::browse {

class RecordsDataset {
 public:
  RecordsDataset();
  ~RecordsDataset();

  void setConnectionString(const std::string& text) { connectionString_ = text; }
  const std::string& ConnectionString() const { return connectionString_; }
  void setCommandText(const std::string& text) { commandText_ = text; }
  const std::string& CommandText() const { return commandText_; }

  // Opens its connection and runs the command text. Throws kevra::EngineError;
  // a failed open leaves the dataset closed.
  void Open();
  // Closes the rows and the connection; nothing happens when already closed.
  void Close();
  bool Active() const { return active_; }

  // The open rows; only valid while Active().
  const kevra::db::Recordset& rows() const { return *recordset_; }
  kevra::db::Recordset& rows() { return *recordset_; }
  // Rows can be inserted, changed and deleted: open on whole rows of one
  // table of a file opened for writing, and not set read-only.
  bool CanModify() const;
  // Keeps the rows read-only whatever the statement, as for a saved query's
  // rows; takes effect at the next Open.
  void setReadOnly(bool readOnly) { readOnly_ = readOnly; }

  // Called after every Open and Close.
  using Listener = std::function<void()>;
  void setStateListener(Listener listener) { listener_ = std::move(listener); }

 private:
  void notify();
  std::string connectionString_;
  std::string commandText_;
  std::unique_ptr<kevra::db::Connection> connection_;
  std::unique_ptr<kevra::db::Recordset> recordset_;
  bool active_ = false;
  bool readOnly_ = false;
  Listener listener_;
};

}  // namespace kevra::browse
