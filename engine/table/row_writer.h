// RowWriter: what INSERT, UPDATE and DELETE need from the write path. The
// statement executor finds the rows and computes their values; a RowWriter
// stores them. One statement is one transaction: the executor calls begin()
// first, then the row calls, then commit(); when anything throws it calls
// rollback() and lets the error go on.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/format/value.h"

namespace kevra {

class RowWriter {
 public:
  virtual ~RowWriter() = default;

  virtual void begin() = 0;
  virtual void commit() = 0;
  virtual void rollback() = 0;

  // Adds a row. `values` has one entry per column of `table`, in column
  // order, already converted to the column's type; nullopt means the
  // statement gave no value (default value or autonumber applies), a NULL
  // Value means an explicit NULL.
  virtual void insertRow(const TableDef& table, const std::vector<std::optional<Value>>& values) = 0;
  // Replaces the row at `location` (page << 8 | slot, as TableCursor::lastLocation
  // reports it) with `values`, one per column of `table`.
  virtual void updateRow(const TableDef& table, uint32_t location, const std::vector<Value>& values) = 0;
  virtual void deleteRow(const TableDef& table, uint32_t location) = 0;
};

}  // namespace kevra
