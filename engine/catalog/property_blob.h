// Property blobs (MSysObjects.LvProp): table and column properties such as
// DefaultValue, Required, Description.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "engine/format/value.h"
#include "engine/util/bytes.h"

namespace kevra {

struct PropertyRecord {
  std::string name;
  uint8_t ddlFlag = 0;
  ColumnType type = ColumnType::Binary;
  uint8_t rawType = 0;  // the type code as stored
  Value value;
  Bytes raw;  // the value's bytes as stored; written back when `value` is unchanged
};

struct PropertySet {
  std::vector<PropertyRecord> records;
  const PropertyRecord* find(std::string_view name) const;  // case-insensitive
  // Sets (adds or replaces) a property the engine defines (DDL flag 1).
  void set(const std::string& name, ColumnType type, Value value);
  // Removes the property; false when there was none.
  bool remove(std::string_view name);
};

struct PropertyBlob {
  PropertySet table;                          // the object's own properties
  std::map<std::string, PropertySet> columns;  // keyed by column name as stored
  const PropertySet* column(std::string_view name) const;  // case-insensitive
  // The column's set, created when missing (under `name` as given).
  PropertySet& columnForChange(const std::string& name);
  // Moves a column's properties to its new name; drops them with the column.
  void renameColumn(std::string_view from, const std::string& to);
  void dropColumn(std::string_view name);
  bool empty() const;
};

// Parses an "MR2\0" blob, or the "KKD\0" blob of an Access 97 file whose
// names and texts are single bytes of `codePage` (1252 when 0); an empty
// span gives an empty blob.
PropertyBlob parsePropertyBlob(ByteSpan data, uint16_t codePage = 0);

// Encodes a blob as Jet stores it: "MR2\0", the name pool, the table's own
// chunk, then one chunk per column that has properties. Values keep their
// stored bytes unless they were changed; new values are encoded by type
// (text as UTF-16, Yes/No as one byte, numbers little-endian, binary raw).
Bytes encodePropertyBlob(const PropertyBlob& blob);

}  // namespace kevra
