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
  Value value;
};

struct PropertySet {
  std::vector<PropertyRecord> records;
  const PropertyRecord* find(std::string_view name) const;  // case-insensitive
};

struct PropertyBlob {
  PropertySet table;                          // the object's own properties
  std::map<std::string, PropertySet> columns;  // keyed by column name as stored
  const PropertySet* column(std::string_view name) const;  // case-insensitive
};

// Parses an "MR2\0" blob; an empty span gives an empty blob.
PropertyBlob parsePropertyBlob(ByteSpan data);

}  // namespace kevra
