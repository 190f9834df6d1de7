// ResultSet: rows produced by a SELECT, readable at any position.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/table_def.h"
#include "engine/format/value.h"

namespace kevra {

struct ResultColumn {
  std::string name;
  ColumnType type = ColumnType::Text;
  uint16_t length = 0;  // bytes, as in the column definition
  uint8_t precision = 0;
  uint8_t scale = 0;
};

class ResultSet {
 public:
  virtual ~ResultSet() = default;
  virtual const std::vector<ResultColumn>& columns() const = 0;
  // Total rows; may read the whole source the first time it is called.
  virtual uint64_t rowCount() = 0;
  // Rows [position, position + count) into `out` (cleared first); returns how
  // many were read.
  virtual size_t fetch(uint64_t position, size_t count, std::vector<std::vector<Value>>& out) = 0;

  // Editable results are whole rows of one table, columns in table order.
  // For those: the table, and the storage location (page << 8 | slot) of the
  // row at `position`. Other results return null / nullopt.
  virtual std::shared_ptr<const TableDef> sourceTable() const { return nullptr; }
  virtual std::optional<uint32_t> rowLocation(uint64_t /*position*/) { return std::nullopt; }
  // A writer added (+1), rewrote (0) or removed (-1) the row of sourceTable()
  // at `location`. A result that can follow the change without running again
  // does so and returns the row's position (for a removed row, the one it
  // had); the others return nullopt and must be run again.
  virtual std::optional<uint64_t> followRowChange(uint32_t /*location*/, int /*liveRows*/) { return std::nullopt; }
};

}  // namespace kevra
