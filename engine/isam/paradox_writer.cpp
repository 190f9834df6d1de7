// Records fill one block in memory; a full block is written when the next
// record arrives, so the last block can carry the end of the chain. The
// header is written first and again, with the final counts, in finish().
#include "engine/isam/paradox_writer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>

#include "engine/isam/value_conversions.h"
#include "engine/util/code_page.h"
#include "engine/isam/paradox_values.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr uint8_t kMemoSize = 60;  // 50 leading bytes + the 10-byte pointer
constexpr uint8_t kOleSize = 10;

std::string upperAscii(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string cutUtf8(const std::string& s, size_t limit) {
  if (s.size() <= limit) return s;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return s.substr(0, end);
}

}  // namespace

std::vector<std::string> paradoxFieldNames(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  std::set<std::string> taken;
  for (size_t i = 0; i < names.size(); ++i) {
    std::string base = cutUtf8(names[i], 25);
    if (base.empty()) base = "F" + std::to_string(i + 1);
    std::string name = base;
    for (int n = 1; taken.count(upperAscii(name)); ++n) {
      const std::string suffix = "~" + std::to_string(n);
      name = cutUtf8(base, 25 - suffix.size()) + suffix;
    }
    taken.insert(upperAscii(name));
    out.push_back(name);
  }
  return out;
}

ParadoxTableWriter::ParadoxTableWriter(const std::string& path, const std::string& tableName,
                                       const std::vector<ResultColumn>& columns, FileSystem& fs)
    : path_(path), fs_(fs), blobPath_(path.substr(0, path.size() - 3) + ".mb") {
  if (columns.empty() || columns.size() > 255)
    throw EngineError("The table '" + path_ + "' needs 1 to 255 fields.");
  std::vector<std::string> names;
  for (const auto& c : columns) names.push_back(c.name);
  const auto fieldNames = paradoxFieldNames(names);
  layout_.tableName = tableName + ".db";
  uint32_t offset = 0;
  bool hasBlob = false;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ResultColumn& c = columns[i];
    ParadoxField f;
    f.name = fieldNames[i];
    switch (c.type) {
      case ColumnType::Text: {
        const int chars = c.length ? c.length / 2 : 255;
        f.type = ParadoxType::Alpha;
        f.declaredSize = uint8_t(std::clamp(chars, 1, 255));
        break;
      }
      case ColumnType::Memo: f.type = ParadoxType::Memo; f.declaredSize = kMemoSize; hasBlob = true; break;
      case ColumnType::Byte:
      case ColumnType::Integer: f.type = ParadoxType::Short; f.declaredSize = 2; break;
      case ColumnType::Long: f.type = ParadoxType::Long; f.declaredSize = 4; break;
      case ColumnType::Single:
      case ColumnType::Double:
      case ColumnType::Decimal: f.type = ParadoxType::Number; f.declaredSize = 8; break;
      case ColumnType::Currency: f.type = ParadoxType::Money; f.declaredSize = 8; break;
      case ColumnType::DateTime: f.type = ParadoxType::Timestamp; f.declaredSize = 8; break;
      case ColumnType::Boolean: f.type = ParadoxType::Logical; f.declaredSize = 1; break;
      case ColumnType::Guid: f.type = ParadoxType::Alpha; f.declaredSize = 38; break;
      case ColumnType::Binary:
        f.type = ParadoxType::Bytes;
        f.declaredSize = uint8_t(std::clamp<int>(c.length ? c.length : 255, 1, 255));
        break;
      default: f.type = ParadoxType::Ole; f.declaredSize = kOleSize; hasBlob = true; break;
    }
    f.size = f.declaredSize;
    f.offset = offset;
    offset += f.size;
    layout_.fields.push_back(f);
    sourceNames_.push_back(c.name);
  }
  if (offset > 32768 - 6)
    throw EngineError("The table '" + path_ + "' would have records of " + std::to_string(offset) +
                      " bytes; Paradox blocks hold at most 32,762.");
  layout_.recordSize = uint16_t(offset);
  layout_.blockSize = 4096;
  while (layout_.blockSize - 6 < layout_.recordSize) layout_.blockSize *= 2;
  recordsPerBlock_ = (layout_.blockSize - 6) / layout_.recordSize;
  problems_.resize(layout_.fields.size());
  if (hasBlob) refuseExisting(blobPath_, fs_);
  file_ = std::make_unique<StagedFile>(path_, fs_);
  if (hasBlob) blobs_ = std::make_unique<ParadoxBlobWriter>(blobPath_, fs_);
  file_->append(buildParadoxHeader(layout_, headerSize_));
  block_.assign(layout_.blockSize, 0);
}

void ParadoxTableWriter::writeBlob(size_t index, const std::string& bytes, uint8_t* out) {
  const ParadoxField& f = layout_.fields[index];
  const uint32_t leading = f.size - 10;
  std::memcpy(out, bytes.data(), std::min<size_t>(leading, bytes.size()));
  uint8_t* pointer = out + leading;
  uint32_t offset = 0;
  if (bytes.size() > leading) offset = blobs_->append(bytes);
  if (bytes.size() > std::numeric_limits<uint32_t>::max()) throw EngineError("A blob for '" + path_ + "' is too large.");
  putU32(pointer, offset);
  putU32(pointer + 4, uint32_t(bytes.size()));
  putU16(pointer + 8, 1);
}

void ParadoxTableWriter::encodeField(size_t index, const Value& v, uint8_t* out) {
  const ParadoxField& f = layout_.fields[index];
  Problems& problem = problems_[index];
  std::memset(out, 0, f.size);
  if (isNull(v)) return;
  switch (f.type) {
    case ParadoxType::Alpha: {
      std::string bytes = encodeCodePage(valueAsText(v), layout_.codePage, problem.unmappable);
      if (bytes.size() > f.size) {
        bytes.resize(f.size);
        ++problem.cut;
      }
      std::memcpy(out, bytes.data(), bytes.size());
      return;
    }
    case ParadoxType::Memo: {
      std::string bytes = encodeCodePage(valueAsText(v), layout_.codePage, problem.unmappable);
      writeBlob(index, bytes, out);
      return;
    }
    case ParadoxType::Ole: {
      if (auto* b = std::get_if<Binary>(&v)) {
        writeBlob(index, std::string(b->begin(), b->end()), out);
      } else {
        writeBlob(index, valueAsText(v), out);
      }
      return;
    }
    case ParadoxType::Bytes: {
      if (auto* b = std::get_if<Binary>(&v)) {
        if (b->size() > f.size) ++problem.cut;
        std::memcpy(out, b->data(), std::min<size_t>(b->size(), f.size));
      } else {
        ++problem.unfit;
      }
      return;
    }
    case ParadoxType::Short:
    case ParadoxType::Long: {
      const auto d = valueAsDouble(v);
      const double limit = f.type == ParadoxType::Short ? 32767 : 2147483647;
      if (!d || std::fabs(std::round(*d)) > limit) {
        ++problem.unfit;
        return;
      }
      if (f.type == ParadoxType::Short)
        encodeParadoxShort(int16_t(std::lround(*d)), out);
      else
        encodeParadoxLong(int32_t(std::lround(*d)), out);
      return;
    }
    case ParadoxType::Number:
    case ParadoxType::Money: {
      const auto d = valueAsDouble(v);
      if (!d || !std::isfinite(*d)) {
        ++problem.unfit;
        return;
      }
      encodeParadoxDouble(*d, out);
      return;
    }
    case ParadoxType::Timestamp: {
      const auto serial = valueAsDateSerial(v);
      if (!serial || !(*serial >= -693593.0 && *serial < 2958466.0)) {  // 0001-01-01 to 9999-12-31
        ++problem.unfit;
        return;
      }
      const double day = std::floor(*serial);
      const double ms = std::round((*serial - day) * 86400000.0);
      encodeParadoxDouble(double(serialToParadoxDay(day)) * 86400000.0 + ms, out);
      return;
    }
    case ParadoxType::Logical: {
      const auto b = valueAsBool(v);
      if (b) out[0] = *b ? 0x81 : 0x80;
      return;
    }
    default: return;
  }
}

void ParadoxTableWriter::flushBlock(uint16_t next) {
  const uint16_t number = layout_.blockCount;
  putU16(block_.data(), next);
  putU16(block_.data() + 2, uint16_t(number > 1 ? number - 1 : 0));
  putU16(block_.data() + 4, uint16_t((inBlock_ - 1) * layout_.recordSize));
  file_->append(block_);
  std::fill(block_.begin(), block_.end(), 0);
  inBlock_ = 0;
}

void ParadoxTableWriter::write(const std::vector<Value>& row) {
  if (finished_) throw EngineError("The table '" + path_ + "' is already complete.");
  if (row.size() != layout_.fields.size())
    throw EngineError("A row for '" + path_ + "' has " + std::to_string(row.size()) + " values for " +
                      std::to_string(layout_.fields.size()) + " columns.");
  if (inBlock_ == recordsPerBlock_) {
    if (layout_.blockCount == 0xFFFF) throw EngineError("The table '" + path_ + "' cannot hold more records (Paradox limit).");
    flushBlock(uint16_t(layout_.blockCount + 1));
  }
  if (inBlock_ == 0) ++layout_.blockCount;
  uint8_t* record = block_.data() + 6 + size_t(inBlock_) * layout_.recordSize;
  for (size_t i = 0; i < layout_.fields.size(); ++i) encodeField(i, row[i], record + layout_.fields[i].offset);
  ++inBlock_;
  ++layout_.recordCount;
}

void ParadoxTableWriter::finish() {
  if (finished_) return;
  if (inBlock_ > 0) flushBlock(0);
  uint16_t size = 0;
  const Bytes header = buildParadoxHeader(layout_, size);
  if (size != headerSize_) throw EngineError("The header of '" + path_ + "' changed size.");
  file_->overwrite(0, header);
  // The blob file first: a table whose .db is there is complete, also when
  // the program stops between the two.
  std::vector<StagedFile*> files;
  if (blobs_) files.push_back(&blobs_->file());
  files.push_back(file_.get());
  commitAll(files);
  finished_ = true;
}

std::vector<std::string> ParadoxTableWriter::warnings() const {
  std::vector<std::string> out;
  for (size_t i = 0; i < layout_.fields.size(); ++i) {
    const auto& name = sourceNames_[i];
    const auto& p = problems_[i];
    if (layout_.fields[i].name != name)
      out.push_back("The field '" + name + "' is named '" + layout_.fields[i].name + "' in Paradox.");
    if (p.unmappable)
      out.push_back(std::to_string(p.unmappable) + " character(s) in '" + name +
                    "' have no Windows-1252 form and were written as '?'.");
    if (p.cut) out.push_back(std::to_string(p.cut) + " value(s) of '" + name + "' were cut to the field size.");
    if (p.unfit) out.push_back(std::to_string(p.unfit) + " value(s) of '" + name + "' did not fit the field and were left empty.");
  }
  return out;
}

}  // namespace kevra
