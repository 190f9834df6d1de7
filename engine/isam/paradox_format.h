// The Paradox table header (.db): record and block sizes, the block chain,
// field types and sizes, names and code page, for file versions 3.0 to 7.
// Header integers are little-endian; field values are not (paradox_values.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/isam/foreign_file.h"

namespace kevra {

enum class ParadoxType : uint8_t {
  Alpha = 0x01,
  Date = 0x02,
  Short = 0x03,
  Long = 0x04,
  Money = 0x05,
  Number = 0x06,
  Logical = 0x09,
  Memo = 0x0C,
  Blob = 0x0D,
  FormattedMemo = 0x0E,
  Ole = 0x0F,
  Graphic = 0x10,
  Time = 0x14,
  Timestamp = 0x15,
  AutoIncrement = 0x16,
  Bcd = 0x17,
  Bytes = 0x18,
};

bool isParadoxBlob(ParadoxType type);

struct ParadoxField {
  std::string name;
  ParadoxType type = ParadoxType::Alpha;
  uint8_t declaredSize = 0;  // as in the header (a BCD field's digit count after the point)
  uint32_t size = 0;         // bytes in the record
  uint32_t offset = 0;
};

struct ParadoxHeader {
  uint16_t recordSize = 0;
  uint16_t headerSize = 0;
  uint8_t fileType = 0;
  uint32_t blockSize = 0;
  uint32_t recordCount = 0;
  uint16_t fileBlocks = 0;
  uint16_t firstBlock = 0;
  uint8_t version = 0;     // 3 = 3.0, 4 = 3.5, 5-9 = 4.x, 10-11 = 5.x, 12 = 7
  bool encrypted = false;
  int codePage = 0;        // 0 when the header has none (before 4.x)
  uint32_t nextAutoIncrement = 0;
  std::vector<ParadoxField> fields;
};

// Reads and checks the header of `file`; CorruptFileError naming the file when
// its sizes or counts contradict the file.
ParadoxHeader readParadoxHeader(InputFile& file);

// The version 7 header of a new non-indexed table, `headerSize` bytes.
struct ParadoxLayout {
  std::string tableName;
  std::vector<ParadoxField> fields;
  uint16_t recordSize = 0;
  uint32_t blockSize = 4096;
  uint32_t recordCount = 0;
  uint16_t blockCount = 0;
  uint32_t nextAutoIncrement = 0;
  int codePage = 1252;
};
Bytes buildParadoxHeader(const ParadoxLayout& layout, uint16_t& headerSize);

}  // namespace kevra
