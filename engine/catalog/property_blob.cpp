// Parsing of "MR2" property blobs: a name pool, then value chunks for the
// object itself and for each column.
#include "engine/catalog/property_blob.h"

#include <cstring>

#include "engine/format/table_def.h"
#include "engine/format/row_codec.h"
#include "engine/format/text_codec.h"
#include "engine/util/code_page.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

[[noreturn]] void corrupt(const std::string& what) {
  throw CorruptFileError("Corrupt file: a property list is damaged (" + what + ").");
}

// `codePage`: texts are single-byte in that code page (KKD blobs); 0 for UTF-16.
Value decodePropertyValue(uint8_t type, ByteSpan v, uint16_t codePage = 0) {
  if (!isKnownColumnType(type)) return Binary(v.begin(), v.end());
  ColumnType t = ColumnType(type);
  switch (t) {
    case ColumnType::Boolean: return v.empty() ? false : v[0] != 0;
    case ColumnType::Text:
    case ColumnType::Memo: return codePage ? decodeCodePage(v, codePage) : decodeTextValue(v);
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

// The stored bytes of a value set by the engine.
Bytes encodePropertyValue(const PropertyRecord& r) {
  Bytes out;
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          for (char16_t c : utf8ToUtf16(v)) appendU16(out, uint16_t(c));
        } else if constexpr (std::is_same_v<T, bool>) {
          out.push_back(v ? 0xFF : 0x00);
        } else if constexpr (std::is_same_v<T, uint8_t>) {
          out.push_back(v);
        } else if constexpr (std::is_same_v<T, int16_t>) {
          appendU16(out, uint16_t(v));
        } else if constexpr (std::is_same_v<T, int32_t>) {
          appendU32(out, uint32_t(v));
        } else if constexpr (std::is_same_v<T, Binary>) {
          out = v;
        } else if constexpr (std::is_same_v<T, Guid>) {
          out.assign(v.bytes.begin(), v.bytes.end());
        } else if constexpr (!std::is_same_v<T, std::monostate>) {
          throw EngineError("The property '" + r.name + "' has a value of a kind that cannot be stored.");
        }
      },
      r.value);
  return out;
}

void appendChunk(Bytes& out, uint16_t type, const Bytes& body) {
  appendU32(out, uint32_t(body.size() + 6));
  appendU16(out, type);
  out.insert(out.end(), body.begin(), body.end());
}

void appendWideName(Bytes& out, const std::string& name) {
  const std::u16string wide = utf8ToUtf16(name);
  appendU16(out, uint16_t(wide.size() * 2));
  for (char16_t c : wide) appendU16(out, uint16_t(c));
}

}  // namespace

Bytes encodePropertyBlob(const PropertyBlob& blob) {
  std::vector<std::string> pool;
  auto nameIndex = [&](const std::string& name) {
    for (size_t i = 0; i < pool.size(); ++i)
      if (pool[i] == name) return uint16_t(i);
    pool.push_back(name);
    return uint16_t(pool.size() - 1);
  };
  auto valueChunk = [&](const std::string& target, const PropertySet& set) {
    Bytes body;
    const std::u16string wide = utf8ToUtf16(target);
    appendU32(body, uint32_t(6 + wide.size() * 2));
    appendWideName(body, target);
    for (const auto& r : set.records) {
      const Bytes value = r.raw.empty() ? encodePropertyValue(r) : r.raw;
      if (value.size() > 0xFFF0) throw EngineError("The property '" + r.name + "' is too long to be stored.");
      appendU16(body, uint16_t(8 + value.size()));
      body.push_back(r.ddlFlag);
      body.push_back(r.rawType ? r.rawType : uint8_t(r.type));
      appendU16(body, nameIndex(r.name));
      appendU16(body, uint16_t(value.size()));
      body.insert(body.end(), value.begin(), value.end());
    }
    return body;
  };
  std::vector<std::pair<uint16_t, Bytes>> chunks;
  chunks.emplace_back(0x0000, valueChunk("", blob.table));
  for (const auto& [name, set] : blob.columns)
    if (!set.records.empty()) chunks.emplace_back(0x0001, valueChunk(name, set));
  Bytes poolBody;
  for (const auto& name : pool) appendWideName(poolBody, name);

  Bytes out = {'M', 'R', '2', 0};
  appendChunk(out, 0x0080, poolBody);
  for (const auto& [type, body] : chunks) appendChunk(out, type, body);
  return out;
}

const PropertyRecord* PropertySet::find(std::string_view name) const {
  for (const auto& r : records)
    if (namesEqualCaseInsensitive(r.name, name)) return &r;
  return nullptr;
}

void PropertySet::set(const std::string& name, ColumnType type, Value value) {
  for (auto& r : records)
    if (namesEqualCaseInsensitive(r.name, name)) {
      r.type = type;
      r.rawType = uint8_t(type);
      r.ddlFlag = 1;
      r.value = std::move(value);
      r.raw.clear();
      return;
    }
  PropertyRecord r;
  r.name = name;
  r.ddlFlag = 1;
  r.type = type;
  r.rawType = uint8_t(type);
  r.value = std::move(value);
  records.push_back(std::move(r));
}

bool PropertySet::remove(std::string_view name) {
  for (auto it = records.begin(); it != records.end(); ++it)
    if (namesEqualCaseInsensitive(it->name, name)) {
      records.erase(it);
      return true;
    }
  return false;
}

PropertySet& PropertyBlob::columnForChange(const std::string& name) {
  for (auto& [key, set] : columns)
    if (namesEqualCaseInsensitive(key, name)) return set;
  return columns[name];
}

void PropertyBlob::renameColumn(std::string_view from, const std::string& to) {
  for (auto it = columns.begin(); it != columns.end(); ++it)
    if (namesEqualCaseInsensitive(it->first, from)) {
      PropertySet moved = std::move(it->second);
      columns.erase(it);
      columns[to] = std::move(moved);
      return;
    }
}

void PropertyBlob::dropColumn(std::string_view name) {
  for (auto it = columns.begin(); it != columns.end(); ++it)
    if (namesEqualCaseInsensitive(it->first, name)) {
      columns.erase(it);
      return;
    }
}

bool PropertyBlob::empty() const {
  if (!table.records.empty()) return false;
  for (const auto& [name, set] : columns)
    if (!set.records.empty()) return false;
  return true;
}

const PropertySet* PropertyBlob::column(std::string_view name) const {
  auto it = columns.find(std::string(name));
  if (it != columns.end()) return &it->second;
  for (const auto& [key, set] : columns)
    if (namesEqualCaseInsensitive(key, name)) return &set;
  return nullptr;
}

PropertyBlob parsePropertyBlob(ByteSpan data, uint16_t codePage) {
  PropertyBlob blob;
  if (data.empty()) return blob;
  // Access 97 writes "KKD": the same chunks, with single-byte names and texts.
  const bool singleByte = data.size() >= 4 && std::memcmp(data.data(), "KKD\0", 4) == 0;
  if (!singleByte && (data.size() < 4 || std::memcmp(data.data(), "MR2\0", 4) != 0)) corrupt("unknown signature");
  if (singleByte && codePage == 0) codePage = 1252;
  if (!singleByte) codePage = 0;
  auto text = [&](ByteSpan bytes) { return singleByte ? decodeCodePage(bytes, codePage) : utf16leToUtf8(bytes); };
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
        pool.push_back(text(chunk.subspan(p + 2, len)));
        p += 2 + len;
      }
      continue;
    }
    if (chunkType != 0x00 && chunkType != 0x01) continue;
    if (chunk.size() < 6) corrupt("value chunk header");
    uint32_t headerLength = u32At(chunk, 0);
    size_t nameLength = u16At(chunk, 4);
    if (headerLength < 6 || headerLength > chunk.size() || nameLength > chunk.size() - 6) corrupt("value chunk name");
    std::string target = text(chunk.subspan(6, nameLength));
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
      rec.rawType = type;
      rec.raw.assign(chunk.begin() + std::ptrdiff_t(p + 8), chunk.begin() + std::ptrdiff_t(p + 8 + valueLength));
      rec.value = decodePropertyValue(type, ByteSpan(rec.raw), codePage);
      set->records.push_back(std::move(rec));
      p += recordLength;
    }
  }
  return blob;
}

}  // namespace kevra
