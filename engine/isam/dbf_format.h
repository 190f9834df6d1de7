// The .dbf table header: version byte, record count and size, language driver
// (code page) and the field descriptors, as dBase III to 5 and FoxPro write
// them. All integers little-endian.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/isam/foreign_file.h"

namespace kevra {

struct DbfField {
  std::string name;      // as stored (code page bytes decoded), NUL-trimmed
  char type = 'C';       // C N F L D M, G B I O T Y @ ...
  uint32_t length = 0;   // bytes in the record
  uint8_t decimals = 0;
  uint32_t offset = 0;   // within the record, after the deletion flag
};

struct DbfHeader {
  uint8_t version = 0;
  uint32_t recordCount = 0;
  uint16_t headerLength = 0;
  uint16_t recordLength = 0;
  uint8_t languageDriver = 0;
  std::vector<DbfField> fields;

  bool isFoxPro() const { return version == 0x30 || version == 0x31 || version == 0x32 || version == 0xF5 || version == 0xFB; }
};

// Reads and checks the header of `file`; CorruptFileError naming the file when
// it is not a .dbf table or its counts do not fit the file.
DbfHeader readDbfHeader(InputFile& file);

// The code page a language-driver byte stands for; 0 when the byte is 0 or
// unknown (no code page declared).
int codePageOfLanguageDriver(uint8_t id);

}  // namespace kevra
