// Property lookups by name.
#include "database/properties.h"

#include "engine/format/value_text.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra::db {

const Property& Properties::Item(int position) const {
  if (position < 0 || position >= Count())
    throw EngineError("There is no property at position " + std::to_string(position) + ".");
  return items_[size_t(position)];
}

const Property* Properties::find(const std::string& name) const {
  for (const auto& p : items_)
    if (namesEqualCaseInsensitive(p.Name, name)) return &p;
  return nullptr;
}

const Property& Properties::Item(const std::string& name) const {
  if (const Property* p = find(name)) return *p;
  throw EngineError("There is no property named '" + name + "'.");
}

std::string propertyText(const kevra::Value& v) { return valueToText(v); }

}  // namespace kevra::db
