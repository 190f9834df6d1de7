// Parsing "key=value;key=value" connection strings. Keys compare
// case-insensitively; values may be quoted with " or '. A piece without '='
// belongs to the value before it (a path may hold ';').
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace kevra::db {

class ConnectionString {
 public:
  explicit ConnectionString(const std::string& text);
  std::optional<std::string> get(const std::string& key) const;

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
};

}  // namespace kevra::db
