// Parsing of "MR2" property blobs: a name pool, then value chunks for the
// object itself and for each column.
#include "engine/catalog/property_blob.h"

#include <cstring>

#include "engine/format/table_def.h"
#include "engine/format/row_codec.h"
#include "engine/format/text_codec.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

[[noreturn]] void corrupt(const std::string& what) {
  throw CorruptFileError("Corrupt file: a property list is damaged (" + what + ").");
}

Value decodePropertyValue(uint8_t type, ByteSpan v) {
  if (!isKnownColumnType(type)) return Binary(v.begin(), v.end());
  ColumnType t = ColumnType(type);
  switch (t) {
    case ColumnType::Boolean: return v.empty() ? false : v[0] != 0;
    case ColumnType::Text:
    case ColumnType::Memo: return decodeTextValue(v);
    case ColumnType::OLE:
    case ColumnType::Binary: return Binary(v.begin(), v.end());
    default: {
      ColumnDef c;
      c.type = t;
      if (t == ColumnType::Decimal) c.scale = 0;
      try {
        return decodeFixedWidthValue(c, v, "a property value");
      } catch (const CorruptFileError&) {
        return Binary(v.begin(), v.end());
      }
    }
  }
}

}  // namespace

const PropertyRecord* PropertySet::find(std::string_view name) const {
  for (const auto& r : records)
    if (namesEqualCaseInsensitive(r.name, name)) return &r;
  return nullptr;
}

const PropertySet* PropertyBlob::column(std::string_view name) const {
  auto it = columns.find(std::string(name));
  if (it != columns.end()) return &it->second;
  for (const auto& [key, set] : columns)
    if (namesEqualCaseInsensitive(key, name)) return &set;
  return nullptr;
}

PropertyBlob parsePropertyBlob(ByteSpan data) {
  PropertyBlob blob;
  if (data.empty()) return blob;
  if (data.size() < 4 || std::memcmp(data.data(), "MR2\0", 4) != 0) {
    if (data.size() >= 4 && std::memcmp(data.data(), "KKD\0", 4) == 0) return blob;  // older format: ignored
    corrupt("unknown signature");
  }
  std::vector<std::string> pool;
  size_t pos = 4;
  while (pos + 6 <= data.size()) {
    uint32_t chunkLength = u32At(data, pos);
    uint16_t chunkType = u16At(data, pos + 4);
    if (chunkLength < 6 || chunkLength > data.size() - pos) corrupt("chunk length");
    ByteSpan chunk = data.subspan(pos + 6, chunkLength - 6);
    pos += chunkLength;
    if (chunkType == 0x80) {
      size_t p = 0;
      while (p + 2 <= chunk.size()) {
        size_t len = u16At(chunk, p);
        if (len > chunk.size() - p - 2) corrupt("name pool");
        pool.push_back(utf16leToUtf8(chunk.subspan(p + 2, len)));
        p += 2 + len;
      }
      continue;
    }
    if (chunkType != 0x00 && chunkType != 0x01) continue;
    if (chunk.size() < 6) corrupt("value chunk header");
    uint32_t headerLength = u32At(chunk, 0);
    size_t nameLength = u16At(chunk, 4);
    if (headerLength < 6 || headerLength > chunk.size() || nameLength > chunk.size() - 6) corrupt("value chunk name");
    std::string target = utf16leToUtf8(chunk.subspan(6, nameLength));
    PropertySet* set = chunkType == 0x00 && target.empty() ? &blob.table : &blob.columns[target];
    if (chunkType == 0x00 && !target.empty()) set = &blob.table;
    size_t p = headerLength;
    while (p + 8 <= chunk.size()) {
      size_t recordLength = u16At(chunk, p);
      if (recordLength < 8 || recordLength > chunk.size() - p) corrupt("record length");
      PropertyRecord rec;
      rec.ddlFlag = chunk[p + 2];
      uint8_t type = chunk[p + 3];
      size_t nameIndex = u16At(chunk, p + 4);
      size_t valueLength = u16At(chunk, p + 6);
      if (valueLength > recordLength - 8) corrupt("value length");
      if (nameIndex >= pool.size()) corrupt("name index");
      rec.name = pool[nameIndex];
      rec.type = isKnownColumnType(type) ? ColumnType(type) : ColumnType::Binary;
      rec.value = decodePropertyValue(type, chunk.subspan(p + 8, valueLength));
      set->records.push_back(std::move(rec));
      p += recordLength;
    }
  }
  return blob;
}

}  // namespace kevra
