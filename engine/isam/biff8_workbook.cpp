// Globals: BOF, BOUNDSHEET, SST (+CONTINUE), FORMAT, XF, DATEMODE,
// EXTERNSHEET, NAME. Sheets: LABELSST, LABEL, RSTRING, NUMBER, RK, MULRK,
// BOOLERR, FORMULA (+STRING) up to the sheet's EOF.
#include "engine/isam/biff8_workbook.h"

#include <algorithm>
#include <cstring>

#include "engine/isam/biff8_records.h"
#include "engine/isam/compound_file.h"
#include "engine/isam/foreign_file.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr uint64_t kLargestWorkbook = uint64_t(1) << 30;
constexpr uint16_t kFilePass = 0x002F;

double rkValue(uint32_t rk) {
  double v;
  if (rk & 0x02) {
    v = double(int32_t(rk) >> 2);
  } else {
    const uint64_t bits = uint64_t(rk & 0xFFFFFFFC) << 32;
    std::memcpy(&v, &bits, 8);
  }
  return (rk & 0x01) ? v / 100 : v;
}

bool isBuiltinName(const std::string& name, uint16_t options) {
  if (options & 0x0020) return true;  // built-in flag
  static const char* kBuiltins[] = {"Print_Area", "Print_Titles", "Sheet_Title", "_FilterDatabase",
                                    "Consolidate_Area", "Auto_Open", "Auto_Close", "Extract", "Database", "Criteria",
                                    "Recorder"};
  for (const char* b : kBuiltins)
    if (name == b) return true;
  return name.rfind("_xlnm", 0) == 0;
}

}  // namespace

Biff8Workbook::Biff8Workbook(const std::string& path) : path_(path) {
  InputFile file(path);
  CompoundFileReader container(file);
  if (auto workbook = container.stream("Workbook")) {
    stream_ = std::move(*workbook);
  } else if (container.stream("Book")) {
    throw UnsupportedError("The workbook '" + path + "' is in the Excel 5.0/95 format; only Excel 97-2003 (BIFF8) workbooks can be read.");
  } else {
    throw EngineError("The file '" + path + "' holds no workbook stream.");
  }
  if (stream_.size() > kLargestWorkbook) throw EngineError("The workbook '" + path + "' is too large to read.");
  readGlobals();
}

void Biff8Workbook::readGlobals() {
  BiffRecordCursor cursor(stream_, 0, path_);
  BiffRecord r;
  if (!cursor.next(r) || r.id != biff::kBof || r.body.size() < 4)
    throwCorrupt(path_, "its workbook stream does not start with a BOF record.");
  if (u16At(r.body, 0) != 0x0600)
    throw UnsupportedError("The workbook '" + path_ + "' is older than Excel 97 (BIFF8); it cannot be read.");
  struct RawName {
    std::string name;
    uint16_t options;
    std::vector<uint8_t> formula;
  };
  std::vector<RawName> rawNames;
  std::vector<uint16_t> externSheets;  // first sheet of each EXTERNSHEET entry
  bool ended = false;
  while (!ended && cursor.next(r)) {
    const ByteSpan b = r.body;
    switch (r.id) {
      case biff::kEof:
        ended = true;
        break;
      case kFilePass:
        throw UnsupportedError("The workbook '" + path_ + "' is protected by a password; it cannot be read.");
      case biff::kDateMode:
        dates1904_ = u16At(b, 0) == 1;
        break;
      case biff::kBoundSheet: {
        ExcelSheetInfo s;
        s.offset = u32At(b, 0);
        s.worksheet = u8At(b, 5) == 0;
        size_t at = 6;
        s.name = readBiffString(b, at, true, path_);
        sheets_.push_back(std::move(s));
        break;
      }
      case biff::kFormat: {
        size_t at = 2;
        formats_.emplace_back(u16At(b, 0), readBiffString(b, at, false, path_));
        break;
      }
      case biff::kXf:
        xfFormats_.push_back(u16At(b, 2));
        break;
      case biff::kSst: {
        std::vector<ByteSpan> segments{b};
        for (ByteSpan c : cursor.continuations()) segments.push_back(c);
        BiffSegments reader(segments, path_);
        reader.u32();
        const uint32_t unique = reader.u32();
        strings_.reserve(std::min<uint32_t>(unique, uint32_t(stream_.size() / 3)));
        for (uint32_t i = 0; i < unique && !reader.atEnd(); ++i) strings_.push_back(reader.unicodeString());
        break;
      }
      case biff::kExternSheet: {
        const uint16_t count = u16At(b, 0);
        for (uint16_t i = 0; i < count; ++i) externSheets.push_back(u16At(b, 2 + 6 * size_t(i) + 2));
        break;
      }
      case biff::kName: {
        const uint16_t options = u16At(b, 0);
        const uint8_t length = u8At(b, 3);
        const uint16_t formulaLength = u16At(b, 4);
        const uint16_t localSheet = u16At(b, 8);
        RawName n;
        n.options = options;
        if (options & 0x0020) {  // built-in: a one-byte code instead of a name
          n.name = "_xlnm";
        } else {
          // The name has no count of its own here: it is `length` characters.
          size_t at = 14;
          const bool wide = u8At(b, at) & 0x01;
          ++at;
          std::u16string text;
          for (uint8_t i = 0; i < length; ++i, at += wide ? 2 : 1)
            text.push_back(wide ? char16_t(u16At(b, at)) : char16_t(u8At(b, at)));
          n.name = utf16ToUtf8(text);
          requireRange(b, at, formulaLength, "a name's formula");
          n.formula.assign(b.begin() + long(at), b.begin() + long(at + formulaLength));
        }
        if (localSheet != 0 || (options & 0x0001)) n.options |= 0x8000;  // sheet-local or hidden: not offered
        rawNames.push_back(std::move(n));
        break;
      }
      default:
        break;
    }
  }
  if (!ended) throwCorrupt(path_, "its workbook globals have no EOF record.");
  for (const auto& n : rawNames) {
    if (n.options & 0x8000 || isBuiltinName(n.name, n.options) || n.formula.size() < 7) continue;
    const uint8_t ptg = n.formula[0];
    ExcelName name;
    name.name = n.name;
    const ByteSpan f(n.formula);
    uint16_t ixti = u16At(f, 1);
    if ((ptg == 0x3B || ptg == 0x5B || ptg == 0x7B) && f.size() >= 11) {  // area
      name.range.firstRow = u16At(f, 3);
      name.range.lastRow = u16At(f, 5);
      name.range.firstColumn = u16At(f, 7) & 0x00FF;
      name.range.lastColumn = u16At(f, 9) & 0x00FF;
    } else if (ptg == 0x3A || ptg == 0x5A || ptg == 0x7A) {  // one cell
      name.range.firstRow = name.range.lastRow = u16At(f, 3);
      name.range.firstColumn = name.range.lastColumn = u16At(f, 5) & 0x00FF;
    } else {
      continue;
    }
    if (ixti >= externSheets.size() || externSheets[ixti] >= sheets_.size()) continue;
    name.range.sheet = externSheets[ixti];
    if (name.range.firstRow > name.range.lastRow || name.range.firstColumn > name.range.lastColumn) continue;
    names_.push_back(std::move(name));
  }
  xfKinds_.reserve(xfFormats_.size());
  for (uint16_t format : xfFormats_) {
    std::string code;
    for (const auto& [index, text] : formats_)
      if (index == format) code = text;
    xfKinds_.push_back(classifyNumberFormat(format, code));
  }
}

NumberKind Biff8Workbook::kindOfXf(uint16_t xf) const { return xf < xfKinds_.size() ? xfKinds_[xf] : NumberKind::Plain; }

std::vector<ExcelCell> Biff8Workbook::cells(size_t sheet, size_t textLimit) const {
  const ExcelSheetInfo& info = sheets_.at(sheet);
  if (info.offset >= stream_.size()) throwCorrupt(path_, "the sheet '" + info.name + "' lies outside its workbook stream.");
  BiffRecordCursor cursor(stream_, info.offset, path_);
  BiffRecord r;
  if (!cursor.next(r) || r.id != biff::kBof) throwCorrupt(path_, "the sheet '" + info.name + "' has no BOF record.");
  std::vector<ExcelCell> out;
  auto number = [&](uint16_t row, uint16_t col, uint16_t xf, double v) {
    ExcelCell c;
    c.row = row;
    c.column = col;
    c.numberKind = kindOfXf(xf);
    c.number = v;
    out.push_back(std::move(c));
  };
  size_t textBytes = 0;
  auto textCell = [&](uint16_t row, uint16_t col, std::string text) {
    textBytes += text.size();
    if (textBytes > textLimit)
      throw EngineError("The sheet '" + info.name + "' of '" + path_ + "' holds more than " +
                        std::to_string(textLimit) + " bytes of text, more than one import reads.");
    ExcelCell c;
    c.row = row;
    c.column = col;
    c.kind = ExcelCell::Kind::Text;
    c.text = std::move(text);
    out.push_back(std::move(c));
  };
  auto flag = [&](uint16_t row, uint16_t col, bool isError, bool value) {
    ExcelCell c;
    c.row = row;
    c.column = col;
    c.kind = isError ? ExcelCell::Kind::Error : ExcelCell::Kind::Boolean;
    c.boolean = value;
    out.push_back(std::move(c));
  };
  int depth = 0;
  while (cursor.next(r)) {
    const ByteSpan b = r.body;
    if (r.id == biff::kBof) {
      ++depth;  // an embedded chart
      continue;
    }
    if (r.id == biff::kEof) {
      if (depth-- == 0) break;
      continue;
    }
    if (depth > 0) continue;
    switch (r.id) {
      case biff::kLabelSst: {
        const uint32_t index = u32At(b, 6);
        if (index >= strings_.size()) throwCorrupt(path_, "a cell of '" + info.name + "' refers to a missing string.");
        textCell(u16At(b, 0), u16At(b, 2), strings_[index]);
        break;
      }
      case biff::kLabel:
      case biff::kRString: {
        size_t at = 6;
        textCell(u16At(b, 0), u16At(b, 2), readBiffString(b, at, false, path_));
        break;
      }
      case biff::kNumber:
        number(u16At(b, 0), u16At(b, 2), u16At(b, 4), f64At(b, 6));
        break;
      case biff::kRk:
        number(u16At(b, 0), u16At(b, 2), u16At(b, 4), rkValue(u32At(b, 6)));
        break;
      case biff::kMulRk: {
        const uint16_t row = u16At(b, 0);
        const uint16_t first = u16At(b, 2);
        if (b.size() < 6) throwCorrupt(path_, "a MULRK record of '" + info.name + "' is too short.");
        const size_t count = (b.size() - 6) / 6;
        for (size_t i = 0; i < count; ++i)
          number(row, uint16_t(first + i), u16At(b, 4 + 6 * i), rkValue(u32At(b, 6 + 6 * i)));
        break;
      }
      case biff::kBoolErr:
        flag(u16At(b, 0), u16At(b, 2), u8At(b, 7) != 0, u8At(b, 6) != 0);
        break;
      case biff::kFormula: {
        const uint16_t row = u16At(b, 0), col = u16At(b, 2), xf = u16At(b, 4);
        requireRange(b, 6, 8, "a formula result");
        if (u16At(b, 12) != 0xFFFF) {
          number(row, col, xf, f64At(b, 6));
        } else if (b[6] == 0) {  // text, in the STRING record that follows
          BiffRecord s;
          BiffRecordCursor ahead = cursor;
          while (ahead.next(s) && s.id != biff::kString && s.id != biff::kEof && s.id != biff::kFormula) {
          }
          if (s.id == biff::kString) {
            std::vector<ByteSpan> segments{s.body};
            for (ByteSpan c : ahead.continuations()) segments.push_back(c);
            BiffSegments reader(segments, path_);
            textCell(row, col, reader.unicodeString());
          }
        } else if (b[6] == 1) {
          flag(row, col, false, b[8] != 0);
        } else if (b[6] == 2) {
          flag(row, col, true, false);
        } else if (b[6] == 3) {
          textCell(row, col, "");
        }
        break;
      }
      default:
        break;
    }
  }
  std::stable_sort(out.begin(), out.end(), [](const ExcelCell& a, const ExcelCell& b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
  });
  // Keep the last of duplicate positions, compacting in place.
  size_t kept = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    if (kept > 0 && out[kept - 1].row == out[i].row && out[kept - 1].column == out[i].column)
      out[kept - 1] = std::move(out[i]);
    else if (kept != i)
      out[kept++] = std::move(out[i]);
    else
      ++kept;
  }
  out.resize(kept);
  return out;
}

}  // namespace kevra
