// Records are read a block at a time; each field is decoded from its fixed
// slot of text (C N F D L M) or binary (I O Y T B in FoxPro) bytes.
#include "engine/isam/dbf_reader.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <algorithm>

#include "engine/format/value_text.h"
#include "engine/isam/folder_files.h"
#include "engine/util/code_page.h"
#include "engine/isam/foreign_values.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr size_t kBlockBytes = 1 << 16;

std::string_view trimmed(const uint8_t* bytes, size_t length) {
  std::string_view s(reinterpret_cast<const char*>(bytes), length);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

ResultColumn columnFor(const DbfField& f, bool foxPro) {
  ResultColumn c;
  c.name = f.name;
  switch (f.type) {
    case 'C':
      if (f.length <= 255) {
        c.type = ColumnType::Text;
        c.length = uint16_t(2 * f.length);
      } else {
        c.type = ColumnType::Memo;
      }
      break;
    case 'N': case 'F': case 'O':
      c.type = ColumnType::Double;
      c.length = 8;
      c.precision = uint8_t(std::min<uint32_t>(f.length, 255));
      c.scale = f.decimals;
      break;
    case 'B':
      if (foxPro) {
        c.type = ColumnType::Double;
        c.length = 8;
      } else {
        c.type = ColumnType::OLE;
      }
      break;
    case 'I': case '+': c.type = ColumnType::Long; c.length = 4; break;
    case 'Y': c.type = ColumnType::Currency; c.length = 8; break;
    case 'D': case 'T': case '@': c.type = ColumnType::DateTime; c.length = 8; break;
    case 'L': c.type = ColumnType::Boolean; c.length = 1; break;
    case 'M': c.type = ColumnType::Memo; break;
    case 'G': case 'P': c.type = ColumnType::OLE; break;
    default:
      c.type = ColumnType::Text;
      c.length = uint16_t(2 * std::min<uint32_t>(f.length, 255));
      break;
  }
  return c;
}

std::optional<double> parseDouble(std::string_view s) {
  if (s.empty()) return std::nullopt;
  if (s.front() == '+') s.remove_prefix(1);
  double v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size()) {
    // Some writers use a decimal comma.
    std::string t(s);
    for (char& ch : t)
      if (ch == ',') ch = '.';
    auto [p2, e2] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (e2 != std::errc() || p2 != t.data() + t.size()) return std::nullopt;
  }
  return v;
}

Value dateFromText(std::string_view s) {
  if (s.size() != 8) return std::monostate{};
  int parts[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < widths[i]; ++k, ++at) {
      if (s[at] < '0' || s[at] > '9') return std::monostate{};
      parts[i] = parts[i] * 10 + (s[at] - '0');
    }
  }
  if (parts[0] < 100 || parts[1] < 1 || parts[1] > 12 || parts[2] < 1 || parts[2] > 31) return std::monostate{};
  const DateTime d = fromCivil({parts[0], parts[1], parts[2], 0, 0, 0, 0});
  const CivilDateTime back = toCivil(d);
  if (back.month != parts[1] || back.day != parts[2]) return std::monostate{};  // 2023-02-30
  return d;
}

}  // namespace

DbfTableReader::DbfTableReader(const std::string& path) : file_(path), header_(readDbfHeader(file_)) {
  codePage_ = codePageOfLanguageDriver(header_.languageDriver);
  for (size_t i = 0; i < header_.fields.size(); ++i) {
    const DbfField& f = header_.fields[i];
    if (f.type == '0') continue;  // FoxPro's hidden null-flags field
    columns_.push_back(columnFor(f, header_.isFoxPro()));
    fieldOfColumn_.push_back(i);
  }
  makeFieldNamesUsable(columns_, warnings_);
}

std::string DbfTableReader::decodeText(const uint8_t* bytes, size_t length) const {
  ByteSpan span(bytes, length);
  if (codePage_ == 0 && looksLikeUtf8(span)) return std::string(reinterpret_cast<const char*>(bytes), length);
  return decodeCodePage(span, codePage_ ? codePage_ : 1252);
}

MemoFileReader& DbfTableReader::memo(uint64_t record) {
  if (!memoLooked_) {
    memoLooked_ = true;
    const bool foxPro = header_.isFoxPro();
    if (auto path = companionFile(file_.path(), foxPro ? "fpt" : "dbt"))
      memo_ = std::make_unique<MemoFileReader>(*path, foxPro, (header_.version & 0x07) >= 4);
  }
  if (!memo_)
    throw EngineError("The memo file of '" + file_.path() + "' (" + (header_.isFoxPro() ? ".fpt" : ".dbt") +
                      ") is missing; record " + std::to_string(record + 1) + " refers to it.");
  return *memo_;
}

Value DbfTableReader::decodeField(const DbfField& f, const uint8_t* p, uint64_t record) {
  switch (f.type) {
    case 'C': {
      size_t length = f.length;
      while (length > 0 && (p[length - 1] == ' ' || p[length - 1] == 0)) --length;
      return decodeText(p, length);
    }
    case 'N': case 'F': {
      auto v = parseDouble(trimmed(p, f.length));
      if (!v) return std::monostate{};
      return *v;
    }
    case 'D': return dateFromText(trimmed(p, f.length));
    case 'L':
      switch (p[0]) {
        case 'T': case 't': case 'Y': case 'y': return true;
        case 'F': case 'f': case 'N': case 'n': return false;
        default: return std::monostate{};
      }
    case 'I': case '+':
      if (f.length != 4) return std::monostate{};
      return i32At(ByteSpan(p, 4), 0);
    case 'O':
      if (f.length != 8) return std::monostate{};
      {
        // dBase 7 doubles sort as bytes: big-endian with the sign bit flipped.
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | p[i];
        bits = (bits & (1ull << 63)) ? bits ^ (1ull << 63) : ~bits;
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
      }
    case 'Y':
      if (f.length != 8) return std::monostate{};
      return Currency{i64At(ByteSpan(p, 8), 0)};
    case 'T':
      if (f.length != 8) return std::monostate{};
      {
        const uint32_t julian = u32At(ByteSpan(p, 8), 0);
        const uint32_t ms = u32At(ByteSpan(p, 8), 4);
        if (julian == 0) return std::monostate{};
        return DateTime{double(int64_t(julian) - 2415019) + double(ms) / 86400000.0};
      }
    case 'B':
      if (header_.isFoxPro()) {
        if (f.length != 8) return std::monostate{};
        return f64At(ByteSpan(p, 8), 0);
      }
      [[fallthrough]];
    case 'M': case 'G': case 'P': {
      uint32_t block = 0;
      if (f.length == 4) {
        block = u32At(ByteSpan(p, 4), 0);
      } else {
        const auto digits = trimmed(p, f.length);
        if (digits.empty()) return std::monostate{};
        auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), block);
        if (ec != std::errc() || ptr != digits.data() + digits.size())
          throwCorrupt(file_.path(), "record " + std::to_string(record + 1) + " has a bad memo pointer in '" + f.name + "'.");
      }
      if (block == 0) return std::monostate{};
      std::string bytes = memo(record).read(block);
      if (f.type == 'M') return decodeText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      return Binary(bytes.begin(), bytes.end());
    }
    default: {
      const auto s = trimmed(p, f.length);
      return decodeText(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    }
  }
}

bool DbfTableReader::next(std::vector<Value>& row) {
  const size_t recordLength = header_.recordLength;
  for (;;) {
    if (nextRecord_ >= header_.recordCount) return false;
    if (nextRecord_ >= blockFirst_ + blockCount_) {
      blockFirst_ = nextRecord_;
      blockCount_ = std::min<uint64_t>(header_.recordCount - nextRecord_, std::max<size_t>(1, kBlockBytes / recordLength));
      block_ = file_.read(header_.headerLength + blockFirst_ * recordLength, size_t(blockCount_ * recordLength), "the records");
    }
    const uint8_t* record = block_.data() + (nextRecord_ - blockFirst_) * recordLength;
    const uint64_t number = nextRecord_++;
    if (record[0] == '*') continue;
    row.resize(columns_.size());
    for (size_t c = 0; c < columns_.size(); ++c) {
      const DbfField& f = header_.fields[fieldOfColumn_[c]];
      row[c] = decodeField(f, record + f.offset, number);
    }
    return true;
  }
}

}  // namespace kevra
