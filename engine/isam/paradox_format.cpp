// Header layout: fixed part (0x00-0x57), a 4.x+ extension (0x58-0x77) with the
// code page, field type/size pairs, a name pointer and one pointer per field
// (in-memory values, ignored), the table name (79 bytes, 261 in version 7),
// NUL-terminated field names, field numbers and the sort order name.
#include "engine/isam/paradox_format.h"

#include <cstring>
#include <ctime>

#include "engine/util/code_page.h"

namespace kevra {
namespace {

constexpr uint8_t kVersion7 = 0x0C;

bool validBlockKb(uint8_t kb) { return kb == 1 || kb == 2 || kb == 3 || kb == 4 || kb == 8 || kb == 16 || kb == 32; }

uint32_t recordBytes(ParadoxType type, uint8_t declared) {
  switch (type) {
    case ParadoxType::Bcd: return 17;
    default: return declared;
  }
}

bool knownType(uint8_t t) {
  switch (ParadoxType(t)) {
    case ParadoxType::Alpha: case ParadoxType::Date: case ParadoxType::Short: case ParadoxType::Long:
    case ParadoxType::Money: case ParadoxType::Number: case ParadoxType::Logical: case ParadoxType::Memo:
    case ParadoxType::Blob: case ParadoxType::FormattedMemo: case ParadoxType::Ole: case ParadoxType::Graphic:
    case ParadoxType::Time: case ParadoxType::Timestamp: case ParadoxType::AutoIncrement: case ParadoxType::Bcd:
    case ParadoxType::Bytes:
      return true;
  }
  return false;
}

}  // namespace

bool isParadoxBlob(ParadoxType type) {
  return type == ParadoxType::Memo || type == ParadoxType::Blob || type == ParadoxType::FormattedMemo ||
         type == ParadoxType::Ole || type == ParadoxType::Graphic;
}

ParadoxHeader readParadoxHeader(InputFile& file) {
  const Bytes fixed = file.read(0, 0x58, "the table header");
  ParadoxHeader h;
  h.recordSize = u16At(fixed, 0);
  h.headerSize = u16At(fixed, 2);
  h.fileType = fixed[4];
  const uint8_t blockKb = fixed[5];
  h.recordCount = u32At(fixed, 6);
  h.fileBlocks = u16At(fixed, 0x0C);
  h.firstBlock = u16At(fixed, 0x0E);
  const uint16_t fieldCount = u16At(fixed, 0x21);
  h.version = fixed[0x39];
  h.nextAutoIncrement = u32At(fixed, 0x49);
  if ((h.fileType != 0 && h.fileType != 2) || !validBlockKb(blockKb) || h.version < 3 || h.version > 12 ||
      h.headerSize < 0x58 || h.recordSize == 0 || fieldCount == 0)
    throwCorrupt(file.path(), "it is not a Paradox table (unknown version, file type or sizes).");
  h.blockSize = uint32_t(blockKb) * 1024;
  if (h.recordSize > h.blockSize - 6) throwCorrupt(file.path(), "its records are larger than its blocks.");
  const Bytes header = file.read(0, h.headerSize, "the table header");
  const bool extended = h.version >= 5;
  const uint32_t encryption = extended ? u32At(header, 0x5C) : u32At(header, 0x25);
  h.encrypted = extended ? encryption != 0 : (encryption != 0 && encryption != 0xFF00FF00u);
  if (extended) h.codePage = u16At(header, 0x6A);
  size_t at = extended ? 0x78 : 0x58;
  uint32_t offset = 0;
  for (uint16_t i = 0; i < fieldCount; ++i, at += 2) {
    requireRange(header, at, 2, "a field type");
    ParadoxField f;
    if (!knownType(header[at]))
      throwCorrupt(file.path(), "field " + std::to_string(i + 1) + " has the unknown type " + std::to_string(header[at]) + ".");
    f.type = ParadoxType(header[at]);
    f.declaredSize = header[at + 1];
    f.size = recordBytes(f.type, f.declaredSize);
    if (f.size == 0 || (isParadoxBlob(f.type) && f.size < 10))
      throwCorrupt(file.path(), "field " + std::to_string(i + 1) + " has a bad size.");
    f.offset = offset;
    offset += f.size;
    h.fields.push_back(f);
  }
  if (offset != h.recordSize)
    throwCorrupt(file.path(), "its fields take " + std::to_string(offset) + " bytes but its records " +
                                  std::to_string(h.recordSize) + ".");
  at += 4 + 4 * size_t(fieldCount);  // pointers
  at += h.version >= 12 ? 261 : 79;  // table name
  const int codePage = h.codePage ? h.codePage : 437;
  for (auto& f : h.fields) {
    size_t end = at;
    while (end < header.size() && header[end] != 0) ++end;
    if (end >= header.size()) throwCorrupt(file.path(), "its field names run past the header.");
    f.name = decodeCodePage(ByteSpan(header.data() + at, end - at), codePage);
    at = end + 1;
  }
  if (h.fileBlocks > 0 && uint64_t(h.headerSize) + uint64_t(h.fileBlocks) * h.blockSize > file.size())
    throw CorruptFileError("The file '" + file.path() + "' is truncated: it promises " + std::to_string(h.fileBlocks) +
                           " blocks but holds " + std::to_string((file.size() - h.headerSize) / h.blockSize) + ".");
  return h;
}

Bytes buildParadoxHeader(const ParadoxLayout& layout, uint16_t& headerSize) {
  Bytes names;
  for (const auto& f : layout.fields) {
    size_t ignored = 0;
    const std::string name = encodeCodePage(f.name, layout.codePage, ignored);
    names.insert(names.end(), name.begin(), name.end());
    names.push_back(0);
  }
  const size_t fieldCount = layout.fields.size();
  const size_t needed = 0x78 + 2 * fieldCount + 4 + 4 * fieldCount + 261 + names.size() + 2 * fieldCount + 16;
  const size_t size = (needed + 0x7FF) / 0x800 * 0x800;
  Bytes h(size, 0);
  putU16(h.data(), layout.recordSize);
  putU16(h.data() + 2, uint16_t(size));
  h[4] = 2;  // non-indexed table
  h[5] = uint8_t(layout.blockSize / 1024);
  putU32(h.data() + 6, layout.recordCount);
  putU16(h.data() + 0x0A, layout.blockCount);  // blocks in use
  putU16(h.data() + 0x0C, layout.blockCount);  // blocks in the file
  putU16(h.data() + 0x0E, layout.blockCount ? 1 : 0);
  putU16(h.data() + 0x10, layout.blockCount);
  putU16(h.data() + 0x21, uint16_t(fieldCount));
  putU32(h.data() + 0x25, 0xFF00FF00u);
  h[0x29] = 0x62;  // sort order: international
  h[0x39] = kVersion7;
  putU16(h.data() + 0x3A, layout.blockCount);
  putU32(h.data() + 0x49, layout.nextAutoIncrement);
  putU16(h.data() + 0x58, 0x0100 | kVersion7);
  putU16(h.data() + 0x5A, 0x0100 | kVersion7);
  putU32(h.data() + 0x60, uint32_t(std::time(nullptr)));
  putU16(h.data() + 0x64, uint16_t(fieldCount + 1));
  putU16(h.data() + 0x6A, uint16_t(layout.codePage));
  size_t at = 0x78;
  for (const auto& f : layout.fields) {
    h[at++] = uint8_t(f.type);
    h[at++] = f.declaredSize;
  }
  at += 4 + 4 * fieldCount;  // in-memory pointers, left zero
  const std::string table = layout.tableName.substr(0, 260);
  std::memcpy(h.data() + at, table.data(), table.size());
  at += 261;
  std::memcpy(h.data() + at, names.data(), names.size());
  at += names.size();
  for (size_t i = 0; i < fieldCount; ++i, at += 2) putU16(h.data() + at, uint16_t(i + 1));
  std::memcpy(h.data() + at, "ANSIINTL", 8);
  headerSize = uint16_t(size);
  return h;
}

}  // namespace kevra
