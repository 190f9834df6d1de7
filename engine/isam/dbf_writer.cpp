// Records are encoded into one reusable buffer and appended; the header's
// record count and date are written in finish(), before the files are
// committed together.
#include "engine/isam/dbf_writer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>

#include "engine/format/value_text.h"
#include "engine/isam/folder_files.h"
#include "engine/isam/value_conversions.h"
#include "engine/util/code_page.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr int kCodePage = 1252;
constexpr uint8_t kLanguageDriver = 0x57;

std::string upperAscii(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

constexpr int kMostDecimals = 18;  // dBase IV and 5 allow up to 18 decimals in a 20-character number

bool readsBackAs(const char* text, double v, bool single) {
  const double back = std::strtod(text, nullptr);
  return single ? float(back) == float(v) : back == v;
}

// The shortest fixed-point text of `v` that reads back as `v` (as a float
// when `single`), with at most 18 decimals; nullopt when there is none.
std::optional<std::string> exactFixedText(double v, bool single) {
  if (!std::isfinite(v)) return std::nullopt;
  char buf[512];
  for (int d = 0; d <= kMostDecimals; ++d) {
    const int n = std::snprintf(buf, sizeof buf, "%.*f", d, v);
    if (n <= 0 || size_t(n) >= sizeof buf) return std::nullopt;
    if (readsBackAs(buf, v, single)) return std::string(buf, size_t(n));
  }
  return std::nullopt;
}

// The exact text of a value bound for a number field: Currency and Decimal
// as their digits, other numbers as the shortest fixed point that reads back.
std::optional<std::string> exactNumberText(const Value& v) {
  if (auto* c = std::get_if<Currency>(&v)) return currencyToString(*c);
  if (auto* d = std::get_if<Decimal>(&v)) return decimalToString(*d);
  const auto number = valueAsDouble(v);
  if (!number) return std::nullopt;
  return exactFixedText(*number, std::holds_alternative<float>(v));
}

int decimalsOf(const std::string& fixed) {
  const size_t point = fixed.find('.');
  return point == std::string::npos ? 0 : int(fixed.size() - point - 1);
}

// The text of `v` in at most `width` characters closest to it: fixed point
// with as many decimals as fit, or the exponent form with as many digits as
// fit, whichever is nearer; nullopt when neither fits.
std::optional<std::string> closestNumberText(double v, int width) {
  if (!std::isfinite(v)) return std::nullopt;
  char buf[512];
  std::optional<std::string> best;
  double bestError = 0;
  auto consider = [&](int n) {
    if (n <= 0 || n > width) return false;
    const double error = std::fabs(std::strtod(buf, nullptr) - v);
    if (!best || error < bestError) best = std::string(buf, size_t(n)), bestError = error;
    return true;
  };
  for (int d = kMostDecimals; d >= 0; --d)
    if (consider(std::snprintf(buf, sizeof buf, "%.*f", d, v))) break;
  for (int digits = width; digits >= 0; --digits)
    if (consider(std::snprintf(buf, sizeof buf, "%.*e", digits, v))) break;
  return best;
}

}  // namespace

std::vector<std::string> dbaseFieldNames(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  std::set<std::string> taken;
  for (size_t i = 0; i < names.size(); ++i) {
    std::string base;
    for (char c : names[i]) {
      const auto u = static_cast<unsigned char>(c);
      if ((u & 0xC0) == 0x80) continue;  // continuation bytes of one replaced character
      base.push_back(std::isalnum(u) ? c : '_');
    }
    if (base.empty()) base = "F" + std::to_string(i + 1);
    if (base.size() > 10) base.resize(10);
    std::string name = base;
    for (int n = 1; taken.count(upperAscii(name)); ++n) {
      const std::string suffix = "~" + std::to_string(n);
      name = base.substr(0, 10 - suffix.size()) + suffix;
    }
    taken.insert(upperAscii(name));
    out.push_back(name);
  }
  return out;
}

DbfTableWriter::DbfTableWriter(const std::string& path, const std::vector<ResultColumn>& columns, FileSystem& fs)
    : path_(path), fs_(fs), columnCount_(columns.size()) {
  std::vector<std::string> names;
  std::vector<size_t> kept;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnType t = columns[i].type;
    if (t == ColumnType::Binary || t == ColumnType::OLE || !isKnownColumnType(uint8_t(t)) ||
        t == ColumnType::Unknown0D || t == ColumnType::Unknown11) {
      leftOut_.push_back(columns[i].name);
      continue;
    }
    names.push_back(columns[i].name);
    kept.push_back(i);
  }
  if (kept.empty()) throw EngineError("The table '" + path_ + "' would have no fields dBase can hold.");
  const std::vector<std::string> fieldNames = dbaseFieldNames(names);
  bool needsMemo = false;
  for (size_t k = 0; k < kept.size(); ++k) {
    const ResultColumn& c = columns[kept[k]];
    Field f;
    f.name = fieldNames[k];
    f.sourceName = c.name;
    f.source = kept[k];
    switch (c.type) {
      case ColumnType::Text: {
        const int chars = c.length ? c.length / 2 : 255;
        f.type = 'C';
        f.length = uint8_t(std::clamp(chars, 1, 254));
        break;
      }
      case ColumnType::Memo: f.type = 'M'; f.length = 10; needsMemo = true; break;
      case ColumnType::Byte: f.type = 'N'; f.length = 3; break;
      case ColumnType::Integer: f.type = 'N'; f.length = 6; break;
      case ColumnType::Long: f.type = 'N'; f.length = 11; break;
      case ColumnType::Single:
      case ColumnType::Double:
        // Records are written as they come, so the width is the widest dBase
        // allows; the decimals become the most any value needed.
        f.type = 'N';
        f.length = 20;
        f.decimalsFromValues = true;
        break;
      case ColumnType::Currency: f.type = 'N'; f.length = 20; f.decimals = 4; break;
      case ColumnType::Decimal: {
        f.type = 'N';
        f.decimals = uint8_t(std::min<int>(c.scale, 18));
        f.length = uint8_t(std::clamp<int>(c.precision + 2, f.decimals + 2, 20));
        break;
      }
      case ColumnType::DateTime: f.type = 'D'; f.length = 8; break;
      case ColumnType::Boolean: f.type = 'L'; f.length = 1; break;
      case ColumnType::Guid: f.type = 'C'; f.length = 38; break;
      default: f.type = 'C'; f.length = 254; break;
    }
    if (recordLength_ + f.length > 65535u) throw EngineError("The table '" + path_ + "' would have records over 64 KB.");
    recordLength_ = uint16_t(recordLength_ + f.length);
    fields_.push_back(f);
  }
  if (fields_.size() > 255) throw EngineError("The table '" + path_ + "' would have more than 255 fields.");
  std::string memoPath = path_.substr(0, path_.size() - 4) + ".dbt";
  if (needsMemo) refuseExisting(memoPath, fs_);
  file_ = std::make_unique<StagedFile>(path_, fs_);
  if (needsMemo) memo_ = std::make_unique<MemoFileWriter>(memoPath, fs_);
  file_->append(headerBytes());
  record_.resize(recordLength_);
}

Bytes DbfTableWriter::headerBytes() const {
  const size_t headerLength = 32 + 32 * fields_.size() + 1;
  Bytes h(headerLength, 0);
  h[0] = memo_ ? 0x83 : 0x03;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  h[1] = uint8_t(local.tm_year);  // years since 1900
  h[2] = uint8_t(local.tm_mon + 1);
  h[3] = uint8_t(local.tm_mday);
  putU32(h.data() + 4, records_);
  putU16(h.data() + 8, uint16_t(headerLength));
  putU16(h.data() + 10, recordLength_);
  h[29] = kLanguageDriver;
  for (size_t i = 0; i < fields_.size(); ++i) {
    uint8_t* d = h.data() + 32 + 32 * i;
    size_t ignored = 0;
    const std::string name = encodeCodePage(fields_[i].name, kCodePage, ignored);
    std::memcpy(d, name.data(), std::min<size_t>(name.size(), 10));
    d[11] = uint8_t(fields_[i].type);
    d[16] = fields_[i].length;
    d[17] = fields_[i].decimals;
  }
  h[headerLength - 1] = 0x0D;
  return h;
}

void DbfTableWriter::encodeField(Field& f, const Value& v, uint8_t* out) {
  std::memset(out, ' ', f.length);
  if (isNull(v)) return;
  switch (f.type) {
    case 'C': {
      std::string bytes = encodeCodePage(valueAsText(v), kCodePage, f.unmappable);
      if (bytes.size() > f.length) {
        bytes.resize(f.length);
        ++f.cut;
      }
      std::memcpy(out, bytes.data(), bytes.size());
      return;
    }
    case 'M': {
      std::string bytes = encodeCodePage(valueAsText(v), kCodePage, f.unmappable);
      for (char& c : bytes)
        if (c == '\x1A') c = ' ';  // would end the memo early
      const uint32_t block = memo_->append(bytes);
      char text[16];
      std::snprintf(text, sizeof text, "%10u", block);
      std::memcpy(out, text, 10);
      return;
    }
    case 'N': {
      std::optional<std::string> text = exactNumberText(v);
      if (text && text->size() <= f.length) {
        const int decimals = decimalsOf(*text);
        if (f.decimalsFromValues) {
          f.decimals = uint8_t(std::max(int(f.decimals), decimals));
        } else if (decimals < f.decimals && text->size() + f.decimals - decimals + (decimals ? 0 : 1) <= f.length) {
          // The field's own decimals, as dBase programs write them ("12.5000").
          if (!decimals) text->push_back('.');
          text->append(size_t(f.decimals - decimals), '0');
        }
      } else {
        const auto number = valueAsDouble(v);
        text = number ? closestNumberText(*number, f.length) : std::nullopt;
        if (!text) {
          ++f.tooWide;
          return;
        }
        // Currency and Decimal digits did not fit; a double may still read back exactly in exponent form.
        const bool scaled = std::holds_alternative<Currency>(v) || std::holds_alternative<Decimal>(v);
        if (scaled || !readsBackAs(text->c_str(), *number, std::holds_alternative<float>(v))) ++f.rounded;
      }
      std::memcpy(out + (f.length - text->size()), text->data(), text->size());
      return;
    }
    case 'D': {
      const auto serial = valueAsDateSerial(v);
      if (!serial || !(*serial >= -657434.0 && *serial < 2958466.0)) {
        ++f.tooWide;
        return;
      }
      const CivilDateTime c = toCivil(DateTime{*serial});
      if (c.hour || c.minute || c.second || c.millisecond) ++f.lostTimes;
      char text[16];
      std::snprintf(text, sizeof text, "%04d%02d%02d", c.year, c.month, c.day);
      std::memcpy(out, text, 8);
      return;
    }
    case 'L': {
      const auto b = valueAsBool(v);
      out[0] = !b ? '?' : *b ? 'T' : 'F';
      return;
    }
  }
}

void DbfTableWriter::write(const std::vector<Value>& row) {
  if (finished_) throw EngineError("The table '" + path_ + "' is already complete.");
  if (row.size() != columnCount_)
    throw EngineError("A row for '" + path_ + "' has " + std::to_string(row.size()) + " values for " +
                      std::to_string(columnCount_) + " columns.");
  if (records_ == 0xFFFFFFFFu) throw EngineError("The table '" + path_ + "' cannot hold more records.");
  record_[0] = ' ';
  size_t at = 1;
  for (Field& f : fields_) {
    encodeField(f, row[f.source], record_.data() + at);
    at += f.length;
  }
  file_->append(record_);
  ++records_;
}

void DbfTableWriter::finish() {
  if (finished_) return;
  const uint8_t end = 0x1A;
  file_->append(&end, 1);
  file_->overwrite(0, headerBytes());
  // The memo file first: a table whose .dbf is there is complete, also when
  // the program stops between the two.
  std::vector<StagedFile*> files;
  if (memo_) {
    memo_->complete();
    files.push_back(&memo_->file());
  }
  files.push_back(file_.get());
  commitAll(files);
  finished_ = true;
}

std::vector<std::string> DbfTableWriter::warnings() const {
  std::vector<std::string> out;
  for (const std::string& name : leftOut_)
    out.push_back("The field '" + name + "' was left out: dBase cannot hold binary data.");
  for (const Field& f : fields_) {
    if (f.name != f.sourceName)
      out.push_back("The field '" + f.sourceName + "' is named '" + f.name + "' in dBase.");
    if (f.unmappable)
      out.push_back(std::to_string(f.unmappable) + " character(s) in '" + f.sourceName +
                    "' have no Windows-1252 form and were written as '?'.");
    if (f.cut) out.push_back(std::to_string(f.cut) + " value(s) of '" + f.sourceName + "' were cut to " + std::to_string(f.length) + " bytes.");
    if (f.lostTimes) out.push_back(std::to_string(f.lostTimes) + " time(s) of day in '" + f.sourceName + "' were dropped: dBase dates hold no time.");
    if (f.rounded)
      out.push_back(std::to_string(f.rounded) + " value(s) of '" + f.sourceName + "' were rounded to fit a dBase number of " +
                    std::to_string(f.length) + " characters.");
    if (f.tooWide) out.push_back(std::to_string(f.tooWide) + " value(s) of '" + f.sourceName + "' did not fit the field and were left empty.");
  }
  return out;
}

}  // namespace kevra
