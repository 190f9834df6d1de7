// The sheet's cell records are collected in memory (a BIFF8 sheet is bounded
// by 65,536 rows) because the globals, which come first, need the shared
// string table and the sheet's position.
#include "engine/isam/biff8_writer.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "engine/isam/biff8_records.h"
#include "engine/isam/compound_file.h"
#include "engine/isam/excel_dates.h"
#include "engine/isam/excel_number_format.h"
#include "engine/isam/value_conversions.h"
#include "engine/isam/staged_file.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr size_t kMaxBody = 8224;
constexpr uint16_t kXfGeneral = 15;
constexpr uint16_t kXfDate = 16;
constexpr uint16_t kXfDateTime = 17;
constexpr uint16_t kXfCurrency = 18;
constexpr uint32_t kMaxRows = 65536;
constexpr size_t kMaxText = 32767;

void record(Bytes& out, uint16_t id, const Bytes& body) {
  appendU16(out, id);
  appendU16(out, uint16_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

void appendDouble(Bytes& out, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  for (int i = 0; i < 8; ++i) out.push_back(uint8_t(bits >> (8 * i)));
}

Bytes bof(uint16_t type) {
  Bytes b;
  appendU16(b, 0x0600);
  appendU16(b, type);
  appendU16(b, 0x0DBB);
  appendU16(b, 0x07CC);
  appendU32(b, 0);
  appendU32(b, 6);
  return b;
}

Bytes xf(uint16_t format, bool style) {
  Bytes b;
  appendU16(b, 0);  // font
  appendU16(b, format);
  appendU16(b, style ? 0xFFF5 : 0x0001);
  b.push_back(0x20);  // bottom-aligned
  b.push_back(0);
  b.push_back(0);
  b.push_back(style ? 0xF4 : (format ? 0xFC : 0xF8));
  appendU32(b, 0);
  appendU32(b, 0);
  appendU16(b, 0x20C0);
  return b;
}

// Splits the shared string table into SST and CONTINUE records; a string's
// characters may go on in a CONTINUE record after a repeated option byte.
void appendSst(Bytes& out, const std::vector<std::u16string>& strings, uint32_t references) {
  std::vector<Bytes> bodies(1);
  appendU32(bodies[0], references);
  appendU32(bodies[0], uint32_t(strings.size()));
  for (const auto& s : strings) {
    bool narrow = true;
    for (char16_t c : s)
      if (c > 0xFF) narrow = false;
    const size_t charSize = narrow ? 1 : 2;
    if (bodies.back().size() + 3 + charSize > kMaxBody) bodies.emplace_back();
    appendU16(bodies.back(), uint16_t(s.size()));
    bodies.back().push_back(narrow ? 0 : 1);
    size_t at = 0;
    while (at < s.size()) {
      size_t room = (kMaxBody - bodies.back().size()) / charSize;
      if (room == 0) {
        bodies.emplace_back();
        bodies.back().push_back(narrow ? 0 : 1);
        room = (kMaxBody - 1) / charSize;
      }
      const size_t n = std::min(room, s.size() - at);
      for (size_t i = 0; i < n; ++i) {
        if (narrow)
          bodies.back().push_back(uint8_t(s[at + i]));
        else
          appendU16(bodies.back(), uint16_t(s[at + i]));
      }
      at += n;
    }
  }
  record(out, biff::kSst, bodies[0]);
  for (size_t i = 1; i < bodies.size(); ++i) record(out, biff::kContinue, bodies[i]);
}

// A defined name Excel accepts: letters, digits, '_' and '.', not starting
// with a digit and not spelling a cell reference.
std::string excelDefinedName(const std::string& table) {
  std::string name;
  for (char c : table) {
    const auto u = static_cast<unsigned char>(c);
    if ((u & 0xC0) == 0x80) continue;
    name.push_back(std::isalnum(u) || c == '_' || c == '.' ? c : '_');
  }
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) name = "_" + name;
  size_t letters = 0;
  while (letters < name.size() && std::isalpha(static_cast<unsigned char>(name[letters]))) ++letters;
  bool digitsAfter = letters < name.size();
  for (size_t i = letters; i < name.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) digitsAfter = false;
  if ((letters >= 1 && letters <= 3 && digitsAfter) || name == "R" || name == "C" || name == "r" || name == "c")
    name = "_" + name;
  return name.substr(0, 255);
}

}  // namespace

std::string excelSheetName(const std::string& table) {
  std::u16string name = utf8ToUtf16(table);
  for (char16_t& c : name)
    if (c == '[' || c == ']' || c == ':' || c == '*' || c == '?' || c == '/' || c == '\\') c = '_';
  if (name.size() > 31) name.resize(31);
  if (name.empty()) name = u"Sheet1";
  return utf16ToUtf8(name);
}

Biff8WorkbookWriter::Biff8WorkbookWriter(const std::string& path, const std::string& table,
                                         const std::vector<ResultColumn>& columns, FileSystem& fs)
    : path_(path), fs_(fs), sheetName_(excelSheetName(table)), rangeName_(excelDefinedName(table)), columnCount_(columns.size()) {
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnType t = columns[i].type;
    if (t == ColumnType::Binary || t == ColumnType::OLE || t == ColumnType::Unknown0D || t == ColumnType::Unknown11) {
      leftOut_.push_back(columns[i].name);
      continue;
    }
    columns_.push_back({i, t, columns[i].name, 0});
  }
  if (columns_.empty()) throw EngineError("The workbook '" + path_ + "' would have no columns Excel can hold.");
  if (columns_.size() > 256) throw EngineError("The workbook '" + path_ + "' would need more than 256 columns.");
  refuseExisting(path_, fs_);
  for (size_t c = 0; c < columns_.size(); ++c) addText(0, uint16_t(c), columns_[c].name, nullptr);
}

uint32_t Biff8WorkbookWriter::stringIndex(const std::u16string& text) {
  ++stringReferences_;
  auto [it, added] = stringIndexes_.emplace(text, uint32_t(strings_.size()));
  if (added) strings_.push_back(text);
  return it->second;
}

void Biff8WorkbookWriter::addText(uint16_t row, uint16_t column, std::string_view utf8, size_t* cut) {
  std::u16string text = utf8ToUtf16(utf8);
  if (text.size() > kMaxText) {
    text.resize(kMaxText);
    if (cut) ++*cut;
  }
  Bytes b;
  appendU16(b, row);
  appendU16(b, column);
  appendU16(b, kXfGeneral);
  appendU32(b, stringIndex(text));
  record(cells_, biff::kLabelSst, b);
}

void Biff8WorkbookWriter::write(const std::vector<Value>& row) {
  if (finished_) throw EngineError("The workbook '" + path_ + "' is already complete.");
  if (row.size() != columnCount_)
    throw EngineError("A row for '" + path_ + "' has " + std::to_string(row.size()) + " values for " +
                      std::to_string(columnCount_) + " columns.");
  if (rows_ + 1 >= kMaxRows)
    throw EngineError("The sheet '" + sheetName_ + "' of '" + path_ +
                      "' is full: an Excel 97-2003 sheet holds 65,535 records under its header row.");
  const uint16_t r = uint16_t(++rows_);
  for (size_t c = 0; c < columns_.size(); ++c) {
    Column& column = columns_[c];
    const Value& v = row[column.source];
    if (isNull(v)) continue;
    Bytes b;
    appendU16(b, r);
    appendU16(b, uint16_t(c));
    switch (column.type) {
      case ColumnType::Boolean: {
        const auto flag = valueAsBool(v);
        if (!flag) continue;
        appendU16(b, kXfGeneral);
        b.push_back(*flag ? 1 : 0);
        b.push_back(0);
        record(cells_, biff::kBoolErr, b);
        break;
      }
      case ColumnType::DateTime: {
        const auto serial = valueAsDateSerial(v);
        if (!serial) continue;
        const bool whole = *serial == std::floor(*serial);
        appendU16(b, whole ? kXfDate : kXfDateTime);
        appendDouble(b, oleToExcelSerial(*serial));
        record(cells_, biff::kNumber, b);
        break;
      }
      case ColumnType::Text:
      case ColumnType::Memo:
      case ColumnType::Guid:
        addText(r, uint16_t(c), valueAsText(v), &column.cut);
        break;
      default: {
        const auto number = valueAsDouble(v);
        if (!number || !std::isfinite(*number)) {
          addText(r, uint16_t(c), valueAsText(v), &column.cut);
          break;
        }
        appendU16(b, column.type == ColumnType::Currency ? kXfCurrency : kXfGeneral);
        appendDouble(b, *number);
        record(cells_, biff::kNumber, b);
        break;
      }
    }
  }
}

Bytes Biff8WorkbookWriter::globals(uint32_t sheetOffset) const {
  Bytes g;
  record(g, biff::kBof, bof(0x0005));
  record(g, 0x0042, Bytes{0xB0, 0x04});  // CODEPAGE 1200: UTF-16
  record(g, 0x003D, Bytes{0, 0, 0, 0, 0x98, 0x3A, 0x28, 0x23, 0x38, 0, 0, 0, 0, 0, 1, 0, 0x58, 0x02});  // WINDOW1
  record(g, biff::kDateMode, Bytes{0, 0});
  for (int i = 0; i < 4; ++i) {
    Bytes font{0xC8, 0x00, 0x00, 0x00, 0xFF, 0x7F, 0x90, 0x01, 0, 0, 0, 0, 0, 0};
    appendBiffString(font, u"Arial", true);
    record(g, 0x0031, font);
  }
  const std::pair<uint16_t, std::u16string> formats[] = {
      {7, u"\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)"}, {164, u"yyyy\\-mm\\-dd"}, {165, u"yyyy\\-mm\\-dd\\ hh:mm:ss"}};
  for (const auto& [index, code] : formats) {
    Bytes f;
    appendU16(f, index);
    appendBiffString(f, code, false);
    record(g, biff::kFormat, f);
  }
  for (int i = 0; i < 15; ++i) record(g, biff::kXf, xf(0, true));
  record(g, biff::kXf, xf(0, false));
  record(g, biff::kXf, xf(164, false));
  record(g, biff::kXf, xf(165, false));
  record(g, biff::kXf, xf(7, false));
  record(g, 0x0293, Bytes{0x00, 0x80, 0x00, 0xFF});  // STYLE: Normal
  Bytes sheet;
  appendU32(sheet, sheetOffset);
  sheet.push_back(0);
  sheet.push_back(0);
  appendBiffString(sheet, utf8ToUtf16(sheetName_), true);
  record(g, biff::kBoundSheet, sheet);
  record(g, 0x01AE, Bytes{0x01, 0x00, 0x01, 0x04});  // SUPBOOK: this workbook, one sheet
  record(g, biff::kExternSheet, Bytes{0x01, 0x00, 0, 0, 0, 0, 0, 0});
  const std::u16string name = utf8ToUtf16(rangeName_);
  Bytes n;
  appendU16(n, 0);
  n.push_back(0);
  n.push_back(uint8_t(name.size()));
  appendU16(n, 11);
  appendU16(n, 0);
  appendU16(n, 0);
  appendU32(n, 0);
  n.push_back(0);  // Latin-1 characters (the name is ASCII)
  for (char16_t c : name) n.push_back(uint8_t(c));
  n.push_back(0x3B);  // ptgArea3d
  appendU16(n, 0);
  appendU16(n, 0);
  appendU16(n, uint16_t(rows_));
  appendU16(n, 0);
  appendU16(n, uint16_t(columns_.size() - 1));
  record(g, biff::kName, n);
  appendSst(g, strings_, stringReferences_);
  record(g, biff::kEof, {});
  return g;
}

void Biff8WorkbookWriter::finish() {
  if (finished_) return;
  // The globals' size does not depend on the sheet offset it holds.
  const uint32_t sheetOffset = uint32_t(globals(0).size());
  Bytes stream = globals(sheetOffset);
  record(stream, biff::kBof, bof(0x0010));
  Bytes dimensions;
  appendU32(dimensions, 0);
  appendU32(dimensions, rows_ + 1);
  appendU16(dimensions, 0);
  appendU16(dimensions, uint16_t(columns_.size()));
  appendU16(dimensions, 0);
  record(stream, 0x0200, dimensions);
  stream.insert(stream.end(), cells_.begin(), cells_.end());
  record(stream, 0x023E, Bytes{0xB6, 0x06, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // WINDOW2
  record(stream, biff::kEof, {});
  StagedFile file(path_, fs_);
  writeCompoundFile(file, u"Workbook", stream);
  file.commit();
  finished_ = true;
}

std::vector<std::string> Biff8WorkbookWriter::warnings() const {
  std::vector<std::string> out;
  for (const auto& name : leftOut_) out.push_back("The field '" + name + "' was left out: Excel cells cannot hold binary data.");
  for (const auto& c : columns_)
    if (c.cut) out.push_back(std::to_string(c.cut) + " value(s) of '" + c.name + "' were cut to 32,767 characters.");
  return out;
}

}  // namespace kevra
