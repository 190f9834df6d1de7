// Record walking and string decoding with bounds checks on every read.
#include "engine/isam/biff8_records.h"

#include <algorithm>

#include "engine/isam/foreign_file.h"
#include "engine/util/utf.h"

namespace kevra {

bool BiffRecordCursor::next(BiffRecord& record) {
  if (offset_ + 4 > stream_.size()) return false;
  const uint16_t id = u16At(stream_, offset_);
  const uint16_t length = u16At(stream_, offset_ + 2);
  if (offset_ + 4 + length > stream_.size()) throwCorrupt(path_, "a record of its workbook runs past the stream's end.");
  record.id = id;
  record.offset = offset_;
  record.body = stream_.subspan(offset_ + 4, length);
  offset_ += 4 + size_t(length);
  return true;
}

std::vector<ByteSpan> BiffRecordCursor::continuations() {
  std::vector<ByteSpan> out;
  while (offset_ + 4 <= stream_.size() && u16At(stream_, offset_) == biff::kContinue) {
    BiffRecord r;
    next(r);
    out.push_back(r.body);
  }
  return out;
}

void BiffSegments::needByte() {
  while (segment_ < segments_.size() && at_ >= segments_[segment_].size()) {
    ++segment_;
    at_ = 0;
  }
  if (segment_ >= segments_.size()) throwCorrupt(path_, "a string table of its workbook ends too early.");
}

bool BiffSegments::atEnd() {
  while (segment_ < segments_.size() && at_ >= segments_[segment_].size()) {
    ++segment_;
    at_ = 0;
  }
  return segment_ >= segments_.size();
}

uint8_t BiffSegments::u8() {
  needByte();
  return segments_[segment_][at_++];
}
uint16_t BiffSegments::u16() { return uint16_t(u8() | (u8() << 8)); }
uint32_t BiffSegments::u32() { return uint32_t(u16()) | (uint32_t(u16()) << 16); }

void BiffSegments::skip(uint64_t count) {
  while (count > 0) {
    needByte();
    const uint64_t here = std::min<uint64_t>(count, segments_[segment_].size() - at_);
    at_ += size_t(here);
    count -= here;
  }
}

std::string BiffSegments::unicodeString(bool shortCount) {
  const uint32_t count = shortCount ? u8() : u16();
  const uint8_t options = u8();
  bool wide = options & 0x01;
  const uint16_t runs = (options & 0x08) ? u16() : 0;
  const uint32_t extended = (options & 0x04) ? u32() : 0;
  std::u16string text;
  text.reserve(std::min<uint32_t>(count, 1u << 16));
  for (uint32_t i = 0; i < count; ++i) {
    if (segment_ < segments_.size() && at_ >= segments_[segment_].size()) {
      // The characters go on in the next CONTINUE record, after a new option byte.
      ++segment_;
      at_ = 0;
      wide = u8() & 0x01;
    }
    text.push_back(wide ? char16_t(u16()) : char16_t(u8()));
  }
  skip(uint64_t(runs) * 4 + extended);
  return utf16ToUtf8(text);
}

std::string readBiffString(ByteSpan body, size_t& offset, bool shortCount, const std::string& path) {
  if (offset + (shortCount ? 2 : 3) > body.size()) throwCorrupt(path, "a string of its workbook is cut off.");
  const uint32_t count = shortCount ? body[offset] : u16At(body, offset);
  offset += shortCount ? 1 : 2;
  const uint8_t options = body[offset++];
  const bool wide = options & 0x01;
  size_t extra = 0;
  if (options & 0x08) {
    requireRange(body, offset, 2, "a string");
    extra += 4u * u16At(body, offset);
    offset += 2;
  }
  if (options & 0x04) {
    requireRange(body, offset, 4, "a string");
    extra += u32At(body, offset);
    offset += 4;
  }
  const size_t bytes = size_t(count) * (wide ? 2 : 1);
  if (offset + bytes > body.size()) throwCorrupt(path, "a string of its workbook is cut off.");
  std::u16string text;
  text.reserve(count);
  for (uint32_t i = 0; i < count; ++i)
    text.push_back(wide ? char16_t(u16At(body, offset + 2 * i)) : char16_t(body[offset + i]));
  offset += bytes + extra;
  return utf16ToUtf8(text);
}

void appendBiffString(Bytes& out, const std::u16string& text, bool shortCount) {
  bool narrow = true;
  for (char16_t c : text)
    if (c > 0xFF) narrow = false;
  if (shortCount)
    out.push_back(uint8_t(text.size()));
  else
    appendU16(out, uint16_t(text.size()));
  out.push_back(narrow ? 0x00 : 0x01);
  for (char16_t c : text) {
    if (narrow)
      out.push_back(uint8_t(c));
    else
      appendU16(out, uint16_t(c));
  }
}

}  // namespace kevra
