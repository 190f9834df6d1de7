// Reading the password field of a database header, or checking a password
// against the encryption verifier of an Office-encrypted file.
#include "database/database_password.h"

#include <fstream>
#include <optional>
#include <vector>

#include "engine/storage/header.h"
#include "engine/storage/page_codec.h"
#include "engine/util/error.h"

namespace kevra::db {

namespace {

constexpr size_t kHeaderPageSize = 4096;

struct HeaderPage {
  std::vector<uint8_t> bytes;
  kevra::DatabaseHeader header;
};

std::optional<HeaderPage> readHeaderPage(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  HeaderPage page;
  page.bytes.resize(kHeaderPageSize);
  file.read(reinterpret_cast<char*>(page.bytes.data()), std::streamsize(page.bytes.size()));
  if (size_t(file.gcount()) < page.bytes.size()) return std::nullopt;
  try {
    page.header = kevra::decodeHeader(ByteSpan(page.bytes.data(), page.bytes.size()));
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return page;
}

bool encryptedWithPassword(const HeaderPage& page) {
  return kevra::needsEncryptionPassword(ByteSpan(page.bytes.data(), page.bytes.size()), page.header);
}

}  // namespace

bool databaseHasPassword(const std::string& path) {
  const std::optional<HeaderPage> page = readHeaderPage(path);
  return page && (page->header.hasPassword() || encryptedWithPassword(*page));
}

bool databasePasswordMatches(const std::string& path, const std::string& password) {
  const std::optional<HeaderPage> page = readHeaderPage(path);
  if (!page) return true;
  if (encryptedWithPassword(*page)) {
    // Only a wrong (or missing) password counts as a mismatch: a scheme that
    // cannot be read is reported when the file is opened.
    try {
      kevra::openPageCodec(ByteSpan(page->bytes.data(), page->bytes.size()), page->header, password, "");
    } catch (const kevra::UnsupportedError&) {
      return true;
    } catch (const kevra::CorruptFileError&) {
      return true;
    } catch (const kevra::EngineError&) {
      return false;
    }
    return true;
  }
  return !page->header.hasPassword() || page->header.password == password;
}

}  // namespace kevra::db
