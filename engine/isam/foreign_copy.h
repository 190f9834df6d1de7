// SELECT ... INTO across files, both ways.
//
// ForeignTableCopier is the TableCopier of a connection on an Access
// database: INTO [T] alone stays in the database (the local copier), INTO [T]
// IN "place" "connect;" goes to the connect string's driver, and IN "file.mdb"
// without one makes the table in that Access database, keeping the source
// fields' defaults and required flags when the query is a whole table.
//
// runOnForeignSource carries out "select * into [T] in "target" ["connect;"]
// from [S]" on a connection whose source is a foreign data source: S is read
// through the source's driver and T made by the target's (an Access database
// when no connect string is given; the source itself when there is no IN).
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/isam/foreign_driver.h"
#include "engine/sql/table_copier.h"

namespace kevra {

class Database;

// Told the number of rows copied so far, every few thousand rows.
using CopyProgress = std::function<void(long rows)>;

class ForeignTableCopier : public TableCopier {
 public:
  // `local` makes tables in `source` itself; null when it cannot be changed.
  ForeignTableCopier(std::shared_ptr<Database> source, TableCopier* local);
  long copy(const sql::SelectInto& target, ResultSet& rows) override;
  // What the last copies reported without failing (see ForeignTableWriter).
  const std::vector<std::string>& warnings() const { return warnings_; }
  void setProgress(CopyProgress progress) { progress_ = std::move(progress); }

 private:
  CopyProgress progress_;
  std::shared_ptr<Database> source_;
  TableCopier* local_;
  std::vector<std::string> warnings_;
};

struct ForeignCopyResult {
  long rows = 0;
  std::vector<std::string> warnings;
};

// Throws EngineError for any other statement, naming what is accepted.
ForeignCopyResult runOnForeignSource(ForeignDriver& source, const std::string& dataSource, std::string_view sql,
                                     const CopyProgress& progress = {});

}  // namespace kevra
