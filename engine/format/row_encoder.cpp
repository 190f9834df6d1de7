// Row layout for writing: ncols, fixed area at the definition's offsets,
// variable area in slot order, eod, reversed offsets, nv, null mask.
#include "engine/format/row_encoder.h"

#include <cstring>

#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

void put16(Binary& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

template <typename T>
void putRaw(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

[[noreturn]] void wrongType(const ColumnDef& c, const std::string& table) {
  throw EngineError("The value given for field '" + c.name + "' of table '" + table + "' is not a " +
                    columnTypeName(c.type) + " value.");
}

// Bytes of a non-long value as stored.
Binary encodeScalar(const ColumnDef& c, const Value& v, const std::string& table) {
  Binary out;
  auto need = [&](auto* p) {
    if (!p) wrongType(c, table);
    return p;
  };
  switch (c.type) {
    case ColumnType::Byte: out.push_back(*need(std::get_if<uint8_t>(&v))); break;
    case ColumnType::Integer: out.resize(2); putRaw(out.data(), *need(std::get_if<int16_t>(&v))); break;
    case ColumnType::Long: out.resize(4); putRaw(out.data(), *need(std::get_if<int32_t>(&v))); break;
    case ColumnType::Currency: out.resize(8); putRaw(out.data(), need(std::get_if<Currency>(&v))->scaled); break;
    case ColumnType::Single: out.resize(4); putRaw(out.data(), *need(std::get_if<float>(&v))); break;
    case ColumnType::Double: out.resize(8); putRaw(out.data(), *need(std::get_if<double>(&v))); break;
    case ColumnType::DateTime: out.resize(8); putRaw(out.data(), need(std::get_if<DateTime>(&v))->serial); break;
    case ColumnType::Guid: {
      auto* g = need(std::get_if<Guid>(&v));
      out.assign(g->bytes.begin(), g->bytes.end());
      break;
    }
    case ColumnType::Decimal: {
      auto* d = need(std::get_if<Decimal>(&v));
      out.resize(17);
      out[0] = d->negative ? 0x80 : 0x00;
      for (int w = 0; w < 4; ++w) {
        uint32_t word = uint32_t(d->magnitude >> (32 * (3 - w)));
        putRaw(out.data() + 1 + 4 * w, word);
      }
      break;
    }
    case ColumnType::Text: {
      auto* s = need(std::get_if<std::string>(&v));
      size_t chars = utf8ToUtf16(*s).size();
      if (chars * 2 > c.length)
        throw EngineError("The text for field '" + c.name + "' of table '" + table + "' is " + std::to_string(chars) +
                          " characters long; the field holds at most " + std::to_string(c.length / 2) + ".");
      out = encodeTextValue(*s, c.isCompressedUnicode() && !c.isFixed(), false);
      if (c.isFixed())
        while (out.size() < c.length) {
          out.push_back(0x20);
          out.push_back(0x00);
        }
      break;
    }
    default: {
      if (auto* b = std::get_if<Binary>(&v)) {
        if (c.type == ColumnType::Binary && b->size() > c.length && c.length > 0)
          throw EngineError("The data for field '" + c.name + "' of table '" + table + "' is " +
                            std::to_string(b->size()) + " bytes long; the field holds at most " +
                            std::to_string(c.length) + ".");
        out = *b;
        if (c.isFixed()) out.resize(c.length, 0);
      } else {
        wrongType(c, table);
      }
    }
  }
  return out;
}

}  // namespace

Binary encodeTextValue(const std::string& utf8, bool allowCompression, bool isMemo) {
  std::u16string units = utf8ToUtf16(utf8);
  bool compress = allowCompression && units.size() >= 3 && !(isMemo && units.size() > 1024);
  if (compress)
    for (char16_t u : units)
      if (u == 0 || u > 0xFF) {
        compress = false;
        break;
      }
  Binary out;
  if (compress) {
    out.reserve(units.size() + 2);
    out.push_back(0xFF);
    out.push_back(0xFE);
    for (char16_t u : units) out.push_back(uint8_t(u));
  } else {
    out.resize(units.size() * 2);
    for (size_t i = 0; i < units.size(); ++i) {
      out[2 * i] = uint8_t(units[i]);
      out[2 * i + 1] = uint8_t(units[i] >> 8);
    }
  }
  return out;
}

Binary RowEncoder::encode(const std::vector<Value>& values, const LongValueStore& storeLongValue) const {
  const auto& cols = table_.columns;
  if (values.size() != cols.size())
    throw EngineError("Internal error: a row for table '" + table_.name + "' has " + std::to_string(values.size()) +
                      " values for " + std::to_string(cols.size()) + " fields.");
  size_t ncols = table_.maxColumnCount;
  for (const auto& c : cols) ncols = std::max<size_t>(ncols, size_t(c.number) + 1);
  size_t fixedSize = table_.fixedAreaSize();
  size_t varSlots = table_.varColumnCount;
  for (const auto& c : cols)
    if (!c.isFixed()) varSlots = std::max<size_t>(varSlots, size_t(c.varIndex) + 1);

  Binary row(2 + fixedSize, 0);
  put16(row, 0, uint16_t(ncols));
  std::vector<uint8_t> mask((ncols + 7) / 8, 0);
  std::vector<Binary> varData(varSlots);

  for (size_t i = 0; i < cols.size(); ++i) {
    const ColumnDef& c = cols[i];
    const Value& v = values[i];
    if (c.type == ColumnType::Boolean) {
      if (auto* b = std::get_if<bool>(&v); b && *b) mask[c.number / 8] |= uint8_t(1 << (c.number % 8));
      continue;
    }
    if (isNull(v)) continue;
    mask[c.number / 8] |= uint8_t(1 << (c.number % 8));
    Binary bytes;
    if (isLongValueType(c.type)) {
      Binary data;
      if (auto* s = std::get_if<std::string>(&v))
        data = c.type == ColumnType::Memo ? encodeTextValue(*s, c.isCompressedUnicode(), true)
                                          : Binary(s->begin(), s->end());
      else if (auto* b = std::get_if<Binary>(&v))
        data = *b;
      else
        wrongType(c, table_.name);
      bytes = storeLongValue(c, data);
    } else {
      bytes = encodeScalar(c, v, table_.name);
    }
    if (c.isFixed()) {
      if (size_t(c.fixedOffset) + bytes.size() > fixedSize)
        throw CorruptFileError("Corrupt file: field '" + c.name + "' of table '" + table_.name +
                               "' lies outside the fixed part of its rows.");
      std::memcpy(row.data() + 2 + c.fixedOffset, bytes.data(), bytes.size());
    } else {
      varData[c.varIndex] = std::move(bytes);
    }
  }

  if (varSlots > 0 || table_.varColumnCount > 0) {
    std::vector<uint16_t> starts(varSlots);
    for (size_t s = 0; s < varSlots; ++s) {
      starts[s] = uint16_t(row.size());
      row.insert(row.end(), varData[s].begin(), varData[s].end());
      if (row.size() > kMaxRowSize) break;
    }
    size_t eod = row.size();
    size_t at = row.size();
    row.resize(at + 2 + 2 * varSlots + 2);
    put16(row, at, uint16_t(eod));
    for (size_t s = 0; s < varSlots; ++s) put16(row, at + 2 + 2 * (varSlots - 1 - s), starts[s]);
    put16(row, at + 2 + 2 * varSlots, uint16_t(varSlots));
  }
  row.insert(row.end(), mask.begin(), mask.end());
  if (row.size() > kMaxRowSize)
    throw EngineError("The row is too large for table '" + table_.name + "': it needs " + std::to_string(row.size()) +
                      " bytes, and a row can hold at most " + std::to_string(kMaxRowSize) +
                      ". Shorten some text, or move long text into a Memo field.");
  return row;
}

}  // namespace kevra
