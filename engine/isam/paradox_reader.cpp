// Blocks are read one at a time: a 6-byte header (next block, previous
// block, offset of the last record) and the records.
#include "engine/isam/paradox_reader.h"

#include <algorithm>
#include <cmath>

#include "engine/isam/folder_files.h"
#include "engine/util/code_page.h"
#include "engine/isam/paradox_values.h"
#include "engine/isam/foreign_values.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

ResultColumn columnFor(const ParadoxField& f) {
  ResultColumn c;
  c.name = f.name;
  switch (f.type) {
    case ParadoxType::Alpha: c.type = ColumnType::Text; c.length = uint16_t(2 * f.size); break;
    case ParadoxType::Short: c.type = ColumnType::Integer; c.length = 2; break;
    case ParadoxType::Long:
    case ParadoxType::AutoIncrement: c.type = ColumnType::Long; c.length = 4; break;
    case ParadoxType::Number:
    case ParadoxType::Money:
    case ParadoxType::Bcd: c.type = ColumnType::Double; c.length = 8; break;
    case ParadoxType::Date:
    case ParadoxType::Time:
    case ParadoxType::Timestamp: c.type = ColumnType::DateTime; c.length = 8; break;
    case ParadoxType::Logical: c.type = ColumnType::Boolean; c.length = 1; break;
    case ParadoxType::Memo:
    case ParadoxType::FormattedMemo: c.type = ColumnType::Memo; break;
    case ParadoxType::Bytes: c.type = ColumnType::Binary; c.length = uint16_t(f.size); break;
    default: c.type = ColumnType::OLE; break;
  }
  return c;
}

}  // namespace

ParadoxTableReader::ParadoxTableReader(const std::string& path) : file_(path), header_(readParadoxHeader(file_)) {
  if (header_.encrypted)
    throw UnsupportedError("The Paradox table '" + path + "' is password-protected; it cannot be read.");
  for (const auto& f : header_.fields) columns_.push_back(columnFor(f));
  makeFieldNamesUsable(columns_, warnings_);
  nextBlock_ = header_.fileBlocks ? header_.firstBlock : 0;
}

std::string ParadoxTableReader::decodeText(const uint8_t* p, size_t length) const {
  return decodeCodePage(ByteSpan(p, length), header_.codePage ? header_.codePage : 437);
}

bool ParadoxTableReader::loadNextBlock() {
  while (nextBlock_ != 0) {
    if (nextBlock_ > header_.fileBlocks || ++blocksVisited_ > header_.fileBlocks)
      throwCorrupt(file_.path(), "its chain of blocks is broken at block " + std::to_string(nextBlock_) + ".");
    const uint64_t offset = header_.headerSize + uint64_t(nextBlock_ - 1) * header_.blockSize;
    block_ = file_.read(offset, header_.blockSize, "block " + std::to_string(nextBlock_));
    const int16_t lastOffset = int16_t(u16At(block_, 4));
    nextBlock_ = u16At(block_, 0);
    if (lastOffset < 0) continue;  // an empty block
    if (lastOffset % header_.recordSize != 0 || 6u + lastOffset + header_.recordSize > header_.blockSize)
      throwCorrupt(file_.path(), "a block gives a bad offset of its last record.");
    recordsInBlock_ = uint32_t(lastOffset / header_.recordSize) + 1;
    nextInBlock_ = 0;
    return true;
  }
  return false;
}

Value ParadoxTableReader::decodeBlob(const ParadoxField& f, const uint8_t* p) {
  if (allZero(p, f.size)) return std::monostate{};
  const uint32_t leading = f.size - 10;
  const uint8_t* pointer = p + leading;
  const uint32_t offset = u32At(ByteSpan(pointer, 10), 0);
  const uint32_t length = u32At(ByteSpan(pointer, 10), 4);
  std::string bytes;
  if (length <= leading && offset == 0) {
    bytes.assign(reinterpret_cast<const char*>(p), length);
  } else if (offset == 0) {
    throwCorrupt(file_.path(), "the blob of '" + f.name + "' is longer than its field but has no place in the blob file.");
  } else {
    if (!blobsLooked_) {
      blobsLooked_ = true;
      if (auto path = companionFile(file_.path(), "mb")) blobs_ = std::make_unique<ParadoxBlobReader>(*path);
    }
    if (!blobs_)
      throw EngineError("The blob file of '" + file_.path() + "' (.mb) is missing; the field '" + f.name + "' needs it.");
    bytes = blobs_->read(offset, length);
  }
  if (f.type == ParadoxType::Memo || f.type == ParadoxType::FormattedMemo) {
    while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
    return decodeText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  return Binary(bytes.begin(), bytes.end());
}

Value ParadoxTableReader::decodeField(const ParadoxField& f, const uint8_t* p) {
  if (isParadoxBlob(f.type)) return decodeBlob(f, p);
  if (allZero(p, f.size)) return std::monostate{};
  switch (f.type) {
    case ParadoxType::Alpha: {
      size_t length = 0;
      while (length < f.size && p[length] != 0) ++length;
      return decodeText(p, length);
    }
    case ParadoxType::Short: return decodeParadoxShort(p);
    case ParadoxType::Long:
    case ParadoxType::AutoIncrement: return decodeParadoxLong(p);
    case ParadoxType::Number:
    case ParadoxType::Money: return decodeParadoxDouble(p);
    case ParadoxType::Bcd: {
      auto v = decodeParadoxBcd(p, f.declaredSize);
      if (!v) return std::monostate{};
      return *v;
    }
    case ParadoxType::Date: return DateTime{paradoxDayToSerial(decodeParadoxLong(p))};
    case ParadoxType::Time: return DateTime{double(decodeParadoxLong(p)) / 86400000.0};
    case ParadoxType::Timestamp: {
      const double ms = decodeParadoxDouble(p);
      const double days = std::floor(ms / 86400000.0);
      return DateTime{paradoxDayToSerial(int64_t(days)) + (ms - days * 86400000.0) / 86400000.0};
    }
    case ParadoxType::Logical: return p[0] != 0x80;
    case ParadoxType::Bytes: return Binary(p, p + f.size);
    default: return std::monostate{};
  }
}

bool ParadoxTableReader::next(std::vector<Value>& row) {
  while (nextInBlock_ >= recordsInBlock_) {
    if (!loadNextBlock()) return false;
  }
  const uint8_t* record = block_.data() + 6 + size_t(nextInBlock_++) * header_.recordSize;
  row.resize(columns_.size());
  for (size_t i = 0; i < header_.fields.size(); ++i)
    row[i] = decodeField(header_.fields[i], record + header_.fields[i].offset);
  return true;
}

}  // namespace kevra
