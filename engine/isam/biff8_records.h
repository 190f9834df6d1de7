// BIFF8 records of a workbook stream (u16 id, u16 length, body) and the
// strings inside them, including strings that continue into CONTINUE records
// (where each continuation of the characters starts with a new option byte).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/util/bytes.h"

namespace kevra {

namespace biff {
constexpr uint16_t kFormula = 0x0006;
constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kExternSheet = 0x0017;
constexpr uint16_t kName = 0x0018;
constexpr uint16_t kDateMode = 0x0022;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kBoundSheet = 0x0085;
constexpr uint16_t kMulRk = 0x00BD;
constexpr uint16_t kRString = 0x00D6;
constexpr uint16_t kXf = 0x00E0;
constexpr uint16_t kSst = 0x00FC;
constexpr uint16_t kLabelSst = 0x00FD;
constexpr uint16_t kNumber = 0x0203;
constexpr uint16_t kLabel = 0x0204;
constexpr uint16_t kBoolErr = 0x0205;
constexpr uint16_t kString = 0x0207;
constexpr uint16_t kRk = 0x027E;
constexpr uint16_t kFormat = 0x041E;
constexpr uint16_t kBof = 0x0809;
}  // namespace biff

struct BiffRecord {
  uint16_t id = 0;
  ByteSpan body;
  size_t offset = 0;  // of the record header in the stream
};

// Walks the records of a stream from an offset. A record running past the
// end of the stream raises CorruptFileError naming `path`.
class BiffRecordCursor {
 public:
  BiffRecordCursor(ByteSpan stream, size_t offset, std::string path)
      : stream_(stream), offset_(offset), path_(std::move(path)) {}
  bool next(BiffRecord& record);
  // The CONTINUE records directly after the last one returned, consumed.
  std::vector<ByteSpan> continuations();

 private:
  ByteSpan stream_;
  size_t offset_;
  std::string path_;
};

// Reads across a record body and its CONTINUE records as one sequence.
class BiffSegments {
 public:
  BiffSegments(std::vector<ByteSpan> segments, std::string path) : segments_(std::move(segments)), path_(std::move(path)) {}
  uint8_t u8();
  uint16_t u16();
  uint32_t u32();
  void skip(uint64_t count);
  // A string with a 16-bit (or 8-bit) character count and an option byte.
  std::string unicodeString(bool shortCount = false);
  bool atEnd();

 private:
  void needByte();
  std::vector<ByteSpan> segments_;
  size_t segment_ = 0;
  size_t at_ = 0;
  std::string path_;
};

// A string from a single record body at `offset` (count, options, characters),
// advancing `offset`.
std::string readBiffString(ByteSpan body, size_t& offset, bool shortCount, const std::string& path);

// Encodes a string the BIFF8 way: 16-bit (or 8-bit) count, option byte,
// Latin-1 when every character allows it, else UTF-16LE.
void appendBiffString(Bytes& out, const std::u16string& text, bool shortCount);

}  // namespace kevra
