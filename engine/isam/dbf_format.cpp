// Header parsing with every count checked against the file size.
#include "engine/isam/dbf_format.h"

#include "engine/util/code_page.h"

namespace kevra {

int codePageOfLanguageDriver(uint8_t id) {
  switch (id) {
    case 0x01: return 437;
    case 0x02: case 0x37: return 850;
    case 0x03: case 0x57: case 0x58: case 0x59: return 1252;
    case 0x64: return 852;
    case 0x65: case 0x26: return 866;
    case 0x66: return 865;
    case 0xC8: return 1250;
    case 0xC9: return 1251;
    case 0xCA: return 1254;
    case 0xCB: return 1253;
    default: return 0;
  }
}

DbfHeader readDbfHeader(InputFile& file) {
  const Bytes head = file.read(0, 32, "the table header");
  DbfHeader h;
  h.version = head[0];
  h.recordCount = u32At(head, 4);
  h.headerLength = u16At(head, 8);
  h.recordLength = u16At(head, 10);
  h.languageDriver = head[29];
  const uint8_t level = h.version & 0x07;
  if (!(level == 3 || level == 4 || level == 5 || h.isFoxPro()) || h.headerLength < 33 || h.recordLength < 1)
    throwCorrupt(file.path(), "it is not a dBase table (unknown version or header sizes).");
  const Bytes descriptors = file.read(32, h.headerLength - 32u, "the field list");
  const int codePage = codePageOfLanguageDriver(h.languageDriver);
  uint32_t offset = 1;
  size_t at = 0;
  for (; at + 32 <= descriptors.size() && descriptors[at] != 0x0D; at += 32) {
    const uint8_t* d = descriptors.data() + at;
    DbfField f;
    size_t nameLength = 0;
    while (nameLength < 11 && d[nameLength] != 0) ++nameLength;
    f.name = decodeCodePage(ByteSpan(d, nameLength), codePage ? codePage : 1252);
    while (!f.name.empty() && f.name.back() == ' ') f.name.pop_back();
    f.type = char(d[11]);
    f.length = d[16];
    f.decimals = d[17];
    if (f.type == 'C' && f.decimals) {  // Clipper and FoxPro: long character fields
      f.length += 256u * f.decimals;
      f.decimals = 0;
    }
    if (f.length == 0 || f.name.empty()) throwCorrupt(file.path(), "field " + std::to_string(h.fields.size() + 1) + " has no name or no width.");
    f.offset = offset;
    offset += f.length;
    h.fields.push_back(std::move(f));
  }
  if (at >= descriptors.size() || descriptors[at] != 0x0D)
    throwCorrupt(file.path(), "the field list has no end mark.");
  if (h.fields.empty()) throwCorrupt(file.path(), "the table has no fields.");
  if (offset > h.recordLength)
    throwCorrupt(file.path(), "the fields need " + std::to_string(offset) + " bytes, the header gives records " +
                                  std::to_string(h.recordLength) + ".");
  const uint64_t room = file.size() - h.headerLength;
  const uint64_t whole = room / h.recordLength;
  if (whole < h.recordCount)
    throw CorruptFileError("The file '" + file.path() + "' is truncated: it promises " + std::to_string(h.recordCount) +
                           " records but holds " + std::to_string(whole) + ".");
  return h;
}

}  // namespace kevra
