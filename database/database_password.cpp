// Reading the password field of a database header.
#include "database/database_password.h"

#include <fstream>
#include <optional>
#include <vector>

#include "engine/storage/header.h"

namespace kevra::db {

namespace {

constexpr size_t kHeaderPageSize = 4096;

std::optional<std::string> headerPassword(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::vector<uint8_t> page(kHeaderPageSize);
  file.read(reinterpret_cast<char*>(page.data()), std::streamsize(page.size()));
  if (size_t(file.gcount()) < page.size()) return std::nullopt;
  try {
    return kevra::decodeHeader(ByteSpan(page.data(), page.size())).password;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

bool databaseHasPassword(const std::string& path) {
  const std::optional<std::string> password = headerPassword(path);
  return password && !password->empty();
}

bool databasePasswordMatches(const std::string& path, const std::string& password) {
  const std::optional<std::string> stored = headerPassword(path);
  return !stored || stored->empty() || *stored == password;
}

}  // namespace kevra::db
