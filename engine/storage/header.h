// The database header (page 0): format version, code page, sort order,
// creation date and the obfuscated database password.
#pragma once
#include <cstdint>
#include <string>

#include "engine/util/bytes.h"

namespace kevra {

enum class FileFormat { Jet3, Jet4, Ace12, Ace14, Ace16, Ace17, Unknown };

const char* fileFormatName(FileFormat f);

struct DatabaseHeader {
  FileFormat format = FileFormat::Unknown;
  uint8_t versionByte = 0;
  uint16_t codePage = 0;
  uint32_t encryptionKey = 0;
  uint32_t engineBuild = 0;
  uint16_t sortOrder = 0;
  uint8_t sortOrderVersion = 0;
  double createdSerial = 0;  // creation date as a Jet date serial (days since 1899-12-30)
  std::string password;  // empty when none is set

  bool hasPassword() const { return !password.empty(); }
};

// Decodes page 0. Throws CorruptFileError when the page is not a Jet header.
DatabaseHeader decodeHeader(ByteSpan page0);

// RC4 key stream XOR, used for the masked header region.
void rc4Xor(const uint8_t* key, size_t keyLength, uint8_t* data, size_t length);

}  // namespace kevra
