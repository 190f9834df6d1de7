// Recordset: the result of one SQL statement run on a connection. A SELECT
// keeps a cursor over the engine's rows that can be read at any position; rows
// are decoded when asked for, so a table of any size opens at once.
// Other statements run when opened and keep no rows.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/value.h"

namespace kevra {
class Database;
class ResultSet;
}

namespace kevra::db {

class Connection;

class Recordset {
 public:
  Recordset();
  ~Recordset();

  // Runs `source` on `connection`; on a connection to a foreign data source
  // only "select * into [T] in \"target\" from [S]" runs. cursorType, lockType and options are kept
  // for callers that pass them; every cursor can be read at any position.
  void Open(const std::string& source, const Connection& connection, int cursorType = 0,
            int lockType = 1, int options = 1);
  void Close();  // no-op when closed
  int State() const;

  int fieldCount() const;
  const std::string& fieldName(int field) const;
  int fieldType(int field) const;  // DataTypeEnum
  // Number of rows in the result.
  long recordCount() const;
  // The number of rows, counted no further than `limit`: min(rows, limit).
  // A filtered or sorted result reads only as far as it must, and keeps what
  // it read for later fetches, so a big result can be counted a step at a
  // time.
  long countUpTo(long limit) const;
  // The number of rows the table definition stores, when the result is every
  // row of one table in storage order (no condition, order or grouping):
  // known at once, without walking the table's pages. Kept up to date by the
  // changes made through this recordset. Other results give nullopt.
  std::optional<long> storedRowCount() const;
  // The number of rows when it is known without reading them: the stored
  // count above, or every row of one table in the order of an index that
  // holds them all (read from either end). nullopt for other results.
  std::optional<long> knownRowCount() const;
  // Reads `count` rows from `position` (0-based) into `out`, each row one value
  // per field; returns how many were read.
  long fetch(long position, long count, std::vector<std::vector<kevra::Value>>& out) const;
  // Changing rows of a recordset that shows whole rows of one table (as
  // "select * from [T]" does). Each call is one transaction: it lands whole
  // or throws with the file unchanged. Afterwards positions and the count
  // reflect the change. Whole rows in storage order follow it in place: an
  // added row takes its storage position and the rows after it move down one,
  // a removed row's followers move up one, nothing else moves and nothing is
  // counted again. Any other result (filtered, sorted) runs its statement
  // again, and then rows may have moved anywhere.
  bool editable() const;
  // What a new row holds before anything is typed into it, one entry per
  // field: the value its default gives it now (NULL without one), and
  // whether the engine numbers it (an autonumber, Long or GUID).
  struct NewRowField {
    kevra::Value defaultValue;
    bool autoNumber = false;
  };
  std::vector<NewRowField> newRowFields() const;
  // `values` has one entry per field; nullopt leaves the field to its default
  // value or autonumber. Returns the position of the new row.
  long insertRow(const std::vector<std::optional<kevra::Value>>& values);
  void updateRow(long position, const std::vector<kevra::Value>& values);
  void deleteRow(long position);
  // What deleting the row at `position` (`values` null), or storing
  // `*values` there, would do to rows of other tables through enforced
  // relationships that cascade: per table reached, how many of its rows
  // would be deleted or changed. Nothing is written. Throws the refusal the
  // change itself would give.
  struct CascadeCount {
    std::string table;
    long deleted = 0;
    long changed = 0;
  };
  std::vector<CascadeCount> cascadeEffects(long position, const std::vector<kevra::Value>* values) const;
  // Whether the last change was followed in place (see above) rather than by
  // running the statement again.
  bool followedLastChange() const { return followedLastChange_; }

  // Rows changed by the last non-SELECT statement.
  long rowsAffected() const { return rowsAffected_; }
  // What the last SELECT ... INTO another file reported without failing
  // (characters the target could not hold, fields left out).
  const std::vector<std::string>& warnings() const { return warnings_; }
  // Called during a SELECT ... INTO with the rows copied so far (every few
  // thousand), for a progress display.
  void setProgress(std::function<void(long rows)> progress) { progress_ = std::move(progress); }

 private:
  std::shared_ptr<kevra::Database> db_;
  void reopen();
  void takeStoredRowCount();
  uint32_t locationAt(long position) const;
  // Brings the result up to date after a row change at `location`; returns
  // the row's position when the result followed it in place.
  std::optional<long> follow(uint32_t location, int liveRows);
  bool cascadesIntoItself(bool deleting) const;
  std::unique_ptr<kevra::ResultSet> result_;
  std::string source_;
  std::optional<long> storedRowCount_;
  long rowsAffected_ = 0;
  std::vector<std::string> warnings_;
  std::function<void(long)> progress_;
  bool followedLastChange_ = false;
};

}  // namespace kevra::db
