// Row layout: ncols, fixed area, variable area, var offsets (reversed), nv,
// null mask at the end of the row.
#include "engine/format/row_codec.h"

#include <algorithm>

#include "engine/format/extended_date_time.h"
#include "engine/format/calculated_value.h"
#include "engine/format/long_value.h"
#include "engine/format/text_codec.h"
#include "engine/util/code_page.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

[[noreturn]] void badWidth(const std::string& owner, size_t got, size_t want) {
  throw CorruptFileError("Corrupt file: " + owner + " holds " + std::to_string(got) + " bytes where " +
                         std::to_string(want) + " are expected.");
}

Decimal decodeDecimal(const ColumnDef& column, ByteSpan b, const std::string& owner) {
  if (b.size() < 17) badWidth(owner, b.size(), 17);
  Decimal d;
  d.negative = b[0] & 0x80;
  for (int w = 0; w < 4; ++w) d.magnitude = (d.magnitude << 32) | u32At(b, 1 + 4 * size_t(w));
  d.precision = column.precision;
  d.scale = column.scale;
  return d;
}

}  // namespace

void decodeColumnText(const ColumnDef& column, ByteSpan bytes, std::string& out) {
  if (column.codePage == 0) return decodeTextValue(bytes, out);
  out.clear();
  appendCodePageAsUtf8(bytes, int(column.codePage), out);
}

Value decodeFixedWidthValue(const ColumnDef& column, ByteSpan b, const std::string& owner) {
  auto need = [&](size_t n) {
    if (b.size() < n) badWidth(owner, b.size(), n);
  };
  switch (column.type) {
    case ColumnType::Byte: need(1); return uint8_t(b[0]);
    case ColumnType::Integer: need(2); return i16At(b, 0);
    case ColumnType::Long: need(4); return i32At(b, 0);
    case ColumnType::Currency: need(8); return Currency{i64At(b, 0)};
    case ColumnType::Single: need(4); return f32At(b, 0);
    case ColumnType::Double: need(8); return f64At(b, 0);
    case ColumnType::DateTime: need(8); return DateTime{f64At(b, 0)};
    case ColumnType::Guid: {
      need(16);
      Guid g;
      std::copy(b.begin(), b.begin() + 16, g.bytes.begin());
      return g;
    }
    case ColumnType::Decimal: return decodeDecimal(column, b, owner);
    case ColumnType::BigInt: need(8); return i64At(b, 0);
    case ColumnType::Complex: need(4); return i32At(b, 0);
    case ColumnType::ExtendedDateTime: {
      need(kExtendedDateTimeSize - 1);
      if (auto d = decodeExtendedDateTime(b)) return *d;
      throw CorruptFileError("Corrupt file: " + owner + " holds a Date/Time Extended value that cannot be read.");
    }
    case ColumnType::Text: {
      std::string text;
      decodeColumnText(column, b, text);
      return text;
    }
    default: return Binary(b.begin(), b.end());
  }
}

size_t firstVariableColumn(const TableDef& table) {
  size_t first = SIZE_MAX;
  for (const auto& c : table.columns)
    if (!c.isFixed()) first = std::min<size_t>(first, c.number);
  return first;
}

void addEmptyVariableArea(ByteSpan row, Bytes& out) {
  const size_t maskAt = row.size() - (u16At(row, 0) + 7) / 8;
  out.assign(row.begin(), row.begin() + std::ptrdiff_t(maskAt));
  appendU16(out, uint16_t(maskAt));  // the end of the (empty) variable data
  appendU16(out, 0);
  out.insert(out.end(), row.begin() + std::ptrdiff_t(maskAt), row.end());
}

RowDecoder::RowDecoder(const PageFile& file, const TableDef& table)
    : file_(file), firstVariableColumn_(firstVariableColumn(table)), table_(table) {
  if (file.layout().jet3) {
    jet3CodePage_ = file.layout().textCodePage;
    if (isKnownCodePage(jet3CodePage_)) codePage_ = codePageUpperHalf(jet3CodePage_);
  }
  owners_.reserve(table.columns.size());
  for (const auto& c : table.columns) owners_.push_back("column '" + c.name + "' of table '" + table.name + "'");
}

Value RowDecoder::decodeColumn(const ColumnDef& column, ByteSpan bytes) const {
  const std::string& owner = owners_[size_t(&column - table_.columns.data())];
  if (!rawLongValues_.empty() && isLongValueType(column.type) &&
      std::find(rawLongValues_.begin(), rawLongValues_.end(), column.number) != rawLongValues_.end())
    return Binary(bytes.begin(), bytes.end());
  if (column.isCalculated()) {
    // A Memo result is stored as a long value that holds the wrapper.
    if (column.type == ColumnType::Memo || column.rawType == uint8_t(ColumnType::Memo))
      return decodeCalculatedValue(column, readLongValue(file_, bytes, owner), owner);
    return decodeCalculatedValue(column, bytes, owner);
  }
  if (column.type == ColumnType::Complex && table_.complexValues && !complexKeys_) {
    Value key = decodeFixedWidthValue(column, bytes, owner);
    return table_.complexValues->display(column, std::get<int32_t>(key));
  }
  switch (column.type) {
    case ColumnType::Memo: {
      std::string text;
      decodeColumnText(column, readLongValue(file_, bytes, owner), text);
      return text;
    }
    case ColumnType::OLE: return readLongValue(file_, bytes, owner);
    default: return decodeFixedWidthValue(column, bytes, owner);
  }
}

Jet4RowFrame locateJet4Row(ByteSpan row, size_t firstVariableColumn, const std::string& table) {
  if (row.size() < 2) throw CorruptFileError("Corrupt file: a row of table '" + table + "' is truncated.");
  Jet4RowFrame f;
  f.columns = u16At(row, 0);
  const size_t maskSize = (f.columns + 7) / 8;
  if (2 + maskSize > row.size())
    throw CorruptFileError("Corrupt file: a row of table '" + table + "' claims " + std::to_string(f.columns) +
                           " columns but is only " + std::to_string(row.size()) + " bytes long.");
  f.mask = row.subspan(row.size() - maskSize);
  f.varTableEnd = row.size() - maskSize;
  f.eod = f.varTableEnd;
  if (f.columns > firstVariableColumn) {
    if (f.varTableEnd < 4) throw CorruptFileError("Corrupt file: a row of table '" + table + "' is truncated.");
    f.varCount = u16At(row, f.varTableEnd - 2);
    if (4 + 2 * f.varCount > f.varTableEnd)
      throw CorruptFileError("Corrupt file: a row of table '" + table + "' claims " + std::to_string(f.varCount) +
                             " variable columns it has no room for.");
    f.eod = u16At(row, f.varTableEnd - 4 - 2 * f.varCount);
    if (f.eod > f.varTableEnd - 4 - 2 * f.varCount)
      throw CorruptFileError("Corrupt file: a row of table '" + table + "' has its variable area past its end.");
  }
  return f;
}

void RowDecoder::decode(ByteSpan row, std::vector<Value>& out) const {
  if (jet3CodePage_) return decodeJet3(row, out);
  const Jet4RowFrame f = locateJet4Row(row, firstVariableColumn_, table_.name);
  const bool hasVarArea = f.columns > firstVariableColumn_;
  auto varBounds = [&](size_t slot) {
    const size_t start = u16At(row, f.varTableEnd - 4 - 2 * slot);
    const size_t end = slot + 1 < f.varCount ? size_t(u16At(row, f.varTableEnd - 6 - 2 * slot)) : f.eod;
    return std::pair{start, end};
  };
  decodeFields(row, {f.columns, f.mask, 2, hasVarArea ? f.eod : f.varTableEnd, f.varCount, f.eod}, varBounds, out);
}

void RowDecoder::decodeJet3(ByteSpan row, std::vector<Value>& out) const {
  Jet3Row& r = jet3Row_;
  locateJet3Row(row, firstVariableColumn_, table_.name, r);
  auto varBounds = [&](size_t slot) { return std::pair{size_t(r.varOffsets[slot]), size_t(r.varOffsets[slot + 1])}; };
  decodeFields(row, {r.columnCount, r.nullMask, 1, r.fixedEnd, r.varCount(), row.size()}, varBounds, out);
}

template <typename VarBounds>
void RowDecoder::decodeFields(ByteSpan row, const RowFrame& frame, VarBounds varBounds, std::vector<Value>& out) const {
  out.resize(table_.columns.size());
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    const ColumnDef& c = table_.columns[i];
    bool present = c.number < frame.columns && (frame.mask[c.number / 8] & (1 << (c.number % 8)));
    if (c.type == ColumnType::Boolean && !c.isCalculated()) {
      out[i] = present;
      continue;
    }
    if (!present) {
      out[i] = std::monostate{};
      continue;
    }
    if (c.isFixed()) {
      size_t start = frame.fixedStart + size_t(c.fixedOffset);
      if (start + c.length > frame.fixedEnd)
        throw CorruptFileError("Corrupt file: " + owners_[i] + " lies outside its row.");
      out[i] = decodeColumn(c, row.subspan(start, c.length));
      continue;
    }
    if (c.varIndex >= frame.varCount) {
      out[i] = std::monostate{};  // the row predates the column
      continue;
    }
    const auto [start, end] = varBounds(c.varIndex);
    if (start > end || end > frame.varEnd || start < frame.fixedStart)
      throw CorruptFileError("Corrupt file: " + owners_[i] + " has impossible bounds in its row.");
    ByteSpan bytes = row.subspan(start, end - start);
    if (c.type == ColumnType::Text && !c.isCalculated()) {
      // Reuse the string left from the previous row: scans decode many rows.
      std::string* text = std::get_if<std::string>(&out[i]);
      if (!text) text = &out[i].emplace<std::string>();
      if (codePage_) {
        text->clear();
        appendCodePageAsUtf8(bytes, codePage_, *text);
      } else if (jet3CodePage_) {
        text->clear();
        appendCodePageAsUtf8(bytes, int(jet3CodePage_), *text);
      } else {
        decodeTextValue(bytes, *text);
      }
    } else {
      out[i] = decodeColumn(c, bytes);
    }
  }
}

}  // namespace kevra
