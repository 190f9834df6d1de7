// Properties: the provider properties of a column, by name (case-insensitive),
// e.g. "Autoincrement" (bool), "Default" (text of the default expression or
// NULL), "Nullable", "Description", "Jet OLEDB:Allow Zero Length".
#pragma once
#include <string>
#include <vector>

#include "engine/format/value.h"

namespace kevra::db {

struct Property {
  std::string Name;
  kevra::Value Value;
};

class Properties {
 public:
  Properties() = default;
  explicit Properties(std::vector<Property> items) : items_(std::move(items)) {}
  int Count() const { return int(items_.size()); }
  const Property& Item(int position) const;
  const Property& Item(const std::string& name) const;  // throws when missing
  const Property* find(const std::string& name) const;

 private:
  std::vector<Property> items_;
};

// Text form of a property value as a caller would show it ("" for NULL).
std::string propertyText(const kevra::Value& v);

}  // namespace kevra::db
