// Connection-string parsing.
#include "database/connection_string.h"

#include "engine/util/utf.h"

namespace kevra::db {
namespace {

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

std::string unquote(const std::string& s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) return s.substr(1, s.size() - 2);
  return s;
}

}  // namespace

ConnectionString::ConnectionString(const std::string& text) {
  std::vector<std::string> pieces;
  std::string current;
  char quote = 0;
  for (char c : text) {
    if (quote) {
      if (c == quote) quote = 0;
      current.push_back(c);
    } else if (c == ';') {
      pieces.push_back(current);
      current.clear();
    } else {
      if ((c == '"' || c == '\'') && trim(current).size() > 0 && trim(current).back() == '=') quote = c;
      current.push_back(c);
    }
  }
  pieces.push_back(current);
  for (const auto& piece : pieces) {
    size_t eq = piece.find('=');
    if (eq == std::string::npos) {
      if (!pairs_.empty() && !trim(piece).empty()) pairs_.back().second += ";" + piece;
      continue;
    }
    pairs_.emplace_back(trim(piece.substr(0, eq)), piece.substr(eq + 1));
  }
  for (auto& [k, v] : pairs_) v = unquote(trim(v));
}

std::optional<std::string> ConnectionString::get(const std::string& key) const {
  for (const auto& [k, v] : pairs_)
    if (namesEqualCaseInsensitive(k, key)) return v;
  return std::nullopt;
}

}  // namespace kevra::db
