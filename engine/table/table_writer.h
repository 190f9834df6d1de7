// TableWriter: stores row changes in the file — the engine's RowWriter. One
// begin()/commit() pair is one transaction (see PageFile); every check runs
// before commit, so a refused change leaves the file exactly as it was.
//
// Insert: autonumber and default values, the checks (required fields, sizes,
// unique indexes), long values to LVAL pages, the row on a page with room
// (or a new page recorded in the table's usage maps), one entry per index,
// row count and autonumber counter in the table definition.
// Update: in place when the row still fits its page, else moved to another
// page behind an overflow pointer; index entries replaced.
// Delete: the slot is marked deleted and the page repacked; index entries
// removed; the row count decremented.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/format/value.h"
#include "engine/table/row_writer.h"

namespace kevra {

class Database;
class ReferentialIntegrity;

// A random (version 4) GUID, as GUID autonumbers get.
Guid randomGuid();

class TableWriter : public RowWriter {
 public:
  explicit TableWriter(std::shared_ptr<Database> db);
  ~TableWriter() override;

  // begin() inside an open transaction nests: only the outermost commit()
  // writes, and a rollback() at any depth abandons the whole transaction.
  void begin() override;
  void commit() override;
  void rollback() override;

  void insertRow(const TableDef& table, const std::vector<std::optional<Value>>& values) override;
  void updateRow(const TableDef& table, uint32_t location, const std::vector<Value>& values) override;
  void deleteRow(const TableDef& table, uint32_t location) override;

  // Location (page << 8 | slot) of the row last inserted.
  uint32_t lastInserted() const { return lastInserted_; }

  // For structure changes inside the open transaction. forget() drops what
  // the writer holds for a table (its index pages go into the transaction
  // first), so the next change reads the definition as stored now.
  void forget(uint32_t tdefPage);
  // Stores `values` as the row at `location`, encoded for the table's
  // definition as stored now. No checks, no index or relationship work: for
  // rewriting every row after the definition changed. Memo and OLE fields
  // whose numbers are in `rawLongValues` hold the row bytes a cursor kept
  // raw for them, and are written back as they were (their data stays put).
  void replaceRowBytes(const TableDef& table, uint32_t location, const std::vector<Value>& values,
                       const std::vector<uint16_t>& rawLongValues = {});
  // Moves a large transaction's pages to the file when it holds too many.
  void boundMemory();

 private:
  struct TableState;
  TableState& stateFor(const TableDef& table);
  std::vector<Value> completeRow(TableState& st, const std::vector<std::optional<Value>>& values);
  void checkRow(TableState& st, const std::vector<Value>& row);
  Binary encode(TableState& st, const std::vector<Value>& row);
  uint32_t placeRow(TableState& st, const Binary& bytes, uint16_t flags, uint32_t avoidPage);
  Binary storeLongValue(TableState& st, const ColumnDef& column, const Binary& data);
  // Marks the rows of a stored long value deleted (given the 12 bytes the
  // row held for it), so their pages can take new values.
  void releaseLongValue(TableState& st, const ColumnDef& column, const Binary& raw);
  // The row at `location`; with `rawLongValues`, also the row's own bytes for
  // its Memo and OLE fields (see RowDecoder::keepLongValuesRaw).
  std::vector<Value> readRow(TableState& st, uint32_t location, uint32_t* dataLocation,
                             std::vector<Value>* rawLongValues = nullptr);
  ReferentialIntegrity integrity();
  void addIndexEntries(TableState& st, const std::vector<Value>& row, uint32_t location);
  void removeIndexEntries(TableState& st, const std::vector<Value>& row, uint32_t location);
  void writeCounters(TableState& st);
  // The row's data location (the overflow target, or the row itself).
  uint32_t dataLocationOf(TableState& st, uint32_t location);
  // Puts `bytes` at the header slot `location`, moving the row behind an
  // overflow pointer when it does not fit; `oldData` is deleted when it was
  // a separate overflow row.
  void storeAt(TableState& st, uint32_t location, uint32_t oldData, const Binary& bytes);

  std::shared_ptr<Database> db_;
  std::map<uint32_t, std::unique_ptr<TableState>> tables_;  // by TDEF page
  bool open_ = false;
  int depth_ = 0;
  uint32_t lastInserted_ = 0;
};

// Runs `work` as one transaction of `writer` (nested in one already open, if
// any): committed when it returns, rolled back when it throws.
template <typename Work>
void inOneTransaction(TableWriter& writer, Work&& work) {
  writer.begin();
  try {
    work();
    writer.commit();
  } catch (...) {
    writer.rollback();
    throw;
  }
}

}  // namespace kevra
