// A small JSON reader for comparing the outputs of kevra-cli and mdb-json.
// Numbers keep their text so that exact decimals are compared digit by digit,
// and object members keep their order (column order matters).
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kevra::interop {

struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;  // Number: the literal as written; String: the decoded UTF-8
  std::vector<Json> items;                           // Array
  std::vector<std::pair<std::string, Json>> members;  // Object, in document order

  bool isNull() const { return kind == Kind::Null; }
  bool isObject() const { return kind == Kind::Object; }
  bool isString() const { return kind == Kind::String; }
  bool isNumber() const { return kind == Kind::Number; }
  bool isBool() const { return kind == Kind::Bool; }
  bool isArray() const { return kind == Kind::Array; }
  // Member by exact name; nullptr when absent (or when this is not an object).
  const Json* find(std::string_view name) const;
  // Member by exact name; throws std::runtime_error when absent.
  const Json& at(std::string_view name) const;
  // Compact rendering, for failure messages.
  std::string dump() const;
};

// Parses one complete JSON document; throws std::runtime_error naming the offset on bad input.
Json parseJson(std::string_view text);

}  // namespace kevra::interop
