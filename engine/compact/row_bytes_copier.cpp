#include "engine/compact/row_bytes_copier.h"

#include <algorithm>

#include "engine/format/data_page_writer.h"
#include "engine/format/long_value.h"
#include "engine/format/text_codec.h"
#include "engine/index/index_builder.h"
#include "engine/index/index_page.h"
#include "engine/index/text_key_encoder.h"
#include "engine/storage/data_page.h"
#include "engine/storage/page_allocator.h"
#include "engine/storage/usage_map_editor.h"
#include "engine/util/error.h"
#include "engine/util/row_batch_worker.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr size_t kLongValuePieceData = 4072;  // data bytes in one chain piece (after its 4-byte link)
constexpr uint16_t kGeneralTextOrder = 0x0409;

// Where variable field `column` lies in `row`: [first, second), or {0, 0}
// when the row predates the field. The row's null mask and offset table
// are known to lie inside it (locateJet4Row checked them).
std::pair<size_t, size_t> variableFieldBounds(ByteSpan row, const TableDef& table, const ColumnDef& column) {
  const uint16_t varIndex = column.varIndex;
  const size_t ncols = u16At(row, 0);
  const size_t varTableEnd = row.size() - (ncols + 7) / 8;
  const size_t varCount = u16At(row, varTableEnd - 2);
  if (varIndex >= varCount) return {0, 0};
  auto varStart = [&](size_t slot) { return size_t(u16At(row, varTableEnd - 4 - 2 * slot)); };
  const size_t eod = varStart(varCount);
  const size_t start = varStart(varIndex);
  const size_t end = size_t(varIndex) + 1 < varCount ? varStart(varIndex + 1) : eod;
  if (start > end || end > eod || start < 2)
    throw CorruptFileError("Corrupt file: field '" + column.name + "' of table '" + table.name +
                           "' has impossible bounds in its row.");
  return {start, end};
}

}  // namespace

bool RowBytesCopier::storedText(ByteSpan row, const ColumnDef& column, std::u16string& out) const {
  const size_t ncols = u16At(row, 0);
  const size_t maskAt = row.size() - (ncols + 7) / 8;
  if (column.number >= ncols || !(row[maskAt + column.number / 8] & (1 << (column.number % 8)))) return false;
  const auto [start, end] = variableFieldBounds(row, to_, column);
  if (start == end && end == 0) return false;  // the row predates the field
  const ByteSpan bytes = row.subspan(start, end - start);
  out.clear();
  auto unit = [&](char16_t u) {
    out.push_back(u);
    return u < 0xD800 || u > 0xDFFF;
  };
  bool plain = true;  // no surrogates: UTF-16 as the decoder would give it back
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    // A 00 byte where a character would start switches between one byte per
    // character (the initial mode) and two.
    bool compressed = true;
    size_t i = 2;
    while (i < bytes.size()) {
      if (bytes[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        unit(char16_t(bytes[i++]));
      } else if (i + 1 < bytes.size()) {
        plain = unit(char16_t(bytes[i] | bytes[i + 1] << 8)) && plain;
        i += 2;
      } else {
        break;  // odd trailing byte
      }
    }
  } else {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) plain = unit(char16_t(bytes[i] | bytes[i + 1] << 8)) && plain;
    if (bytes.size() % 2) out.push_back(u'\uFFFD');  // as the decoder ends an odd byte
  }
  if (!plain) out = utf8ToUtf16(decodeTextValue(bytes));  // lone halves: as the decoder mends them
  return true;
}

struct RowBytesCopier::IndexBuild {
  explicit IndexBuild(const RealIndexDef& real) : index(real) {}
  // One field of the key: where its value is in the decoded key fields, or
  // (text in the General order) read from the row's bytes as UTF-16.
  struct Part {
    const ColumnDef* column;
    size_t position;  // in keyTable_->columns; unused for text read raw
    bool ascending;
    bool rawText;
  };
  std::vector<Part> parts;
  const RealIndexDef& index;
  std::string name, fields;
  std::unique_ptr<IndexBuilder> builder;
};

RowBytesCopier::RowBytesCopier(const PageFile& source, PageFile& target, const TableDef& from, const TableDef& to,
                               size_t keyMemory)
    : source_(source), target_(target), from_(from), to_(to), firstVariableColumn_(firstVariableColumn(to)) {
  std::vector<uint16_t> needed;
  for (const auto& real : to.realIndexes)
    for (const auto& c : real.columns) needed.push_back(c.columnNumber);
  for (size_t i = 0; i < to.columns.size(); ++i) {
    const ColumnDef& c = to.columns[i];
    if (c.isLongAutoNumber()) needed.push_back(c.number);
    if (isLongValueType(c.type)) longValueColumns_.push_back(uint16_t(i));
  }
  // Text in the General order is keyed from its stored UTF-16 (or
  // compressed) bytes, never decoded to a string and back.
  auto rawText = [](const ColumnDef& c) { return c.type == ColumnType::Text && c.sortOrder == kGeneralTextOrder; };
  keyTable_ = std::make_unique<TableDef>(to);
  keyTable_->columns.clear();
  for (const auto& c : to.columns)
    if (std::find(needed.begin(), needed.end(), c.number) != needed.end() && !rawText(c))
      keyTable_->columns.push_back(c);
  for (size_t i = 0; i < keyTable_->columns.size(); ++i)
    if (keyTable_->columns[i].isLongAutoNumber() && autoNumberPosition_ < 0) autoNumberPosition_ = int(i);
  keyDecoder_ = std::make_unique<RowDecoder>(source, *keyTable_);
  for (size_t r = 0; r < to.realIndexes.size(); ++r) {
    auto build = std::make_unique<IndexBuild>(to.realIndexes[r]);
    for (const auto& ref : to.realIndexes[r].columns) {
      const ColumnDef* column = &to.indexedColumn(ref.columnNumber);
      size_t position = 0;
      while (position < keyTable_->columns.size() && keyTable_->columns[position].number != column->number) ++position;
      build->parts.push_back({column, position, ref.ascending, rawText(*column)});
    }
    for (const auto& li : to.logicalIndexes)
      if (li.realIndex == r && (build->name.empty() || li.kind == IndexKind::PrimaryKey)) build->name = li.name;
    for (const auto& c : to.realIndexes[r].columns)
      build->fields += (build->fields.empty() ? "'" : ", '") + to.indexedColumn(c.columnNumber).name + "'";
    build->builder = std::make_unique<IndexBuilder>(
        target, to.tdefPage, build->index, "index '" + build->name + "' of table '" + to.name + "'", build->fields,
        keyMemory / std::max<size_t>(1, to.realIndexes.size()));
    indexes_.push_back(std::move(build));
  }
  keyWorker_ = std::make_unique<RowBatchWorker>([this](ByteSpan row, uint32_t location) { addKeys(row, location); });
}

RowBytesCopier::~RowBytesCopier() = default;

bool RowBytesCopier::sameLayout(const TableDef& from, const TableDef& to) {
  if (from.columns.size() != to.columns.size() || from.varColumnCount != to.varColumnCount) return false;
  for (size_t i = 0; i < from.columns.size(); ++i) {
    const ColumnDef& a = from.columns[i];
    const ColumnDef& b = to.columns[i];
    if (a.number != b.number || a.type != b.type || a.rawType != b.rawType || a.length != b.length ||
        a.isFixed() != b.isFixed() || a.flags != b.flags || a.sortOrder != b.sortOrder ||
        a.isCompressedUnicode() != b.isCompressedUnicode() || a.precision != b.precision || a.scale != b.scale)
      return false;
    if (a.isFixed() ? a.fixedOffset != b.fixedOffset : a.varIndex != b.varIndex) return false;
  }
  return true;
}

uint32_t RowBytesCopier::placeRow(ByteSpan bytes) {
  if (page_ != 0) {
    DataPageWriter w(target_.modify(page_));
    if (w.canAppend(bytes.size())) return rowPointer(page_, uint8_t(w.append(bytes)));
    usageMapRemove(target_, to_.freeMapPointer, page_);
  }
  page_ = PageAllocator(target_).allocate();
  DataPageWriter w(target_.modify(page_));
  w.initialise(to_.tdefPage, false);
  usageMapAdd(target_, to_.ownedMapPointer, page_);
  usageMapAdd(target_, to_.freeMapPointer, page_);
  return rowPointer(page_, uint8_t(w.append(bytes)));
}

uint32_t RowBytesCopier::placeLongValueRow(uint16_t columnNumber, ByteSpan bytes) {
  const LongValueMaps* maps = nullptr;
  for (const auto& m : to_.longValueMaps)
    if (m.columnNumber == columnNumber) maps = &m;
  if (!maps) {
    const ColumnDef* column = to_.columnByNumber(columnNumber);
    throw CorruptFileError("Corrupt file: field " + (column ? "'" + column->name + "'" : "number " + std::to_string(columnNumber)) +
                           " of table '" + to_.name + "' has no pages for long values.");
  }
  uint32_t& page = longValuePage_[columnNumber];
  if (page != 0) {
    DataPageWriter w(target_.modify(page));
    if (w.canAppend(bytes.size())) return rowPointer(page, uint8_t(w.append(bytes)));
    usageMapRemove(target_, maps->freeMapPointer, page);
  }
  page = PageAllocator(target_).allocate();
  DataPageWriter w(target_.modify(page));
  w.initialise(0, true);
  usageMapAdd(target_, maps->ownedMapPointer, page);
  usageMapAdd(target_, maps->freeMapPointer, page);
  return rowPointer(page, uint8_t(w.append(bytes)));
}

ByteSpan RowBytesCopier::copyLongValues(ByteSpan whole, Binary& scratch) {
  const size_t ncols = u16At(whole, 0);
  bool copied = false;
  for (uint16_t position : longValueColumns_) {
    const ColumnDef& c = to_.columns[position];
    if (c.number >= ncols || !(whole[whole.size() - (ncols + 7) / 8 + c.number / 8] & (1 << (c.number % 8)))) continue;
    const auto [start, end] = variableFieldBounds(whole, to_, c);
    if (end - start < 12) continue;
    const ByteSpan field = whole.subspan(start, end - start);
    const uint32_t word = u32At(field, 0);
    const uint32_t kind = word >> 30, length = word & 0x3FFFFFFF;
    uint32_t pointer = 0;
    if (kind == 2) continue;  // inline: part of the row's bytes
    const std::string owner = "field '" + c.name + "'";
    if (kind == 1) {
      PageRef holder;
      ByteSpan data = readRowAt(source_, u32At(field, 4), holder, owner + " of table '" + from_.name + "'");
      if (data.size() < length)
        throw CorruptFileError("Corrupt file: the long value of " + owner + " of table '" + from_.name + "' claims " +
                               std::to_string(length) + " bytes but its page row holds " +
                               std::to_string(data.size()) + ".");
      pointer = placeLongValueRow(c.number, data.first(length));
    } else {
      // A chain, written from its last piece back so each piece knows the next.
      const Binary data = readLongValue(source_, field, owner + " of table '" + from_.name + "'");
      const size_t pieces = (data.size() + kLongValuePieceData - 1) / kLongValuePieceData;
      uint32_t next = 0;
      for (size_t k = pieces; k-- > 0;) {
        const size_t at = k * kLongValuePieceData;
        const size_t n = std::min(kLongValuePieceData, data.size() - at);
        Binary piece(4 + n);
        putU32(piece.data(), next);
        std::copy(data.begin() + at, data.begin() + at + n, piece.begin() + 4);
        next = placeLongValueRow(c.number, ByteSpan(piece.data(), piece.size()));
      }
      pointer = next;
    }
    if (!copied) scratch.assign(whole.begin(), whole.end());
    copied = true;
    putU32(scratch.data() + start + 4, pointer);
  }
  return copied ? ByteSpan(scratch.data(), scratch.size()) : whole;
}

void RowBytesCopier::add(ByteSpan bytes) {
  // Long values are followed through the frame's offsets.
  const Jet4RowFrame frame = locateJet4Row(bytes, firstVariableColumn_, from_.name);
  if (to_.varColumnCount > 0 && frame.columns <= firstVariableColumn_) {
    addEmptyVariableArea(bytes, withVarArea_);
    bytes = ByteSpan(withVarArea_.data(), withVarArea_.size());
  }
  uint32_t location;
  if (longValueColumns_.empty())
    location = placeRow(bytes);
  else
    location = placeRow(copyLongValues(bytes, rowCopy_));
  ++rows_;
  keyWorker_->add(bytes, location);
}

// On the key worker: the row's entry in every index.
void RowBytesCopier::addKeys(ByteSpan bytes, uint32_t location) {
  keyDecoder_->decode(bytes, keyRow_);  // also checks the key fields' bounds
  if (autoNumberPosition_ >= 0)
    if (auto* n = std::get_if<int32_t>(&keyRow_[size_t(autoNumberPosition_)]); n && *n > 0)
      largestAutoNumber_ = std::max(largestAutoNumber_, uint32_t(*n));
  for (auto& build : indexes_) {
    // As IndexKeyEncoder makes it: a NULL (never a Yes/No field) makes the
    // key's "any NULL", and a row whose key fields are all NULL gets no
    // entry in an index that ignores NULLs.
    bool anyNull = false, allNull = true;
    key_.clear();
    for (const auto& part : build->parts) {
      const Value* value = nullptr;
      bool isNullValue;
      if (part.rawText) {
        isNullValue = !storedText(bytes, *part.column, text_);
      } else {
        value = &keyRow_[part.position];
        isNullValue = isNull(*value);
      }
      anyNull = anyNull || (isNullValue && part.column->type != ColumnType::Boolean);
      allNull = allNull && isNullValue;
      if (part.rawText && !isNullValue)
        appendTextKeySegment(text_, part.ascending, key_, part.column->sortVersion);
      else
        appendKeySegment(*part.column, value ? *value : Value{}, part.ascending, key_);
    }
    if (build->index.ignoreNulls() && allNull) {
      if (anyNull) build->builder->noteNullKey();
      continue;
    }
    appendRowPointer(pointerPage(location), pointerRow(location), key_);
    build->builder->add(ByteSpan(key_.data(), key_.size()), anyNull);
  }
}

void RowBytesCopier::finish(uint32_t lastAutoNumber) {
  keyWorker_->finish();
  for (auto& build : indexes_) {
    build->builder->build();
    build->builder.reset();  // its keys let go before the next is built
    // The index's pages go to the file before the next is built.
    target_.commit();
    target_.beginTransaction();
  }
  uint8_t* tdef = target_.modify(to_.tdefPage);
  putU32(tdef + 16, rows_);
  putU32(tdef + 20, std::max(lastAutoNumber, largestAutoNumber_));
}

}  // namespace kevra
