// Schema.ini reading and section replacement.
#include "engine/isam/schema_ini.h"

#include <dirent.h>

#include <algorithm>
#include <sstream>

#include "engine/isam/file_helpers.h"
#include "engine/isam/text_decoder.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

std::string trim(std::string s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// The path of the folder's Schema.ini, whatever the case of its name.
std::optional<std::string> findSchemaIni(const std::string& folder, FileSystem& fs = realFileSystem()) {
  std::string exact = joinPath(folder, "Schema.ini");
  if (fileExists(exact, fs)) return exact;
  if (&fs != &realFileSystem()) return std::nullopt;  // other names only on disk
  DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return std::nullopt;
  std::optional<std::string> found;
  while (dirent* e = ::readdir(d))
    if (namesEqualCaseInsensitive(e->d_name, "schema.ini")) {
      found = joinPath(folder, e->d_name);
      break;
    }
  ::closedir(d);
  return found;
}

std::string readWholeFile(const std::string& path, FileSystem& fs) {
  auto file = fs.open(path, OpenMode::Read);
  std::string bytes(file->size(), '\0');
  file->read(bytes.data(), bytes.size(), 0);
  return bytes;
}

std::vector<std::string> linesOf(const std::string& bytes) {
  ByteOrderMark bom = detectByteOrderMark(bytes);
  TextDecoder decoder(bom.charset);
  std::string text;
  decoder.decode(std::string_view(bytes).substr(bom.length), true, text);
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::optional<ColumnType> typeFromWord(const std::string& w) {
  static const std::pair<const char*, ColumnType> kWords[] = {
      {"Bit", ColumnType::Boolean},      {"Byte", ColumnType::Byte},         {"Short", ColumnType::Integer},
      {"Integer", ColumnType::Integer},  {"Long", ColumnType::Long},         {"Currency", ColumnType::Currency},
      {"Single", ColumnType::Single},    {"Double", ColumnType::Double},     {"Float", ColumnType::Double},
      {"DateTime", ColumnType::DateTime}, {"Date", ColumnType::DateTime},    {"Text", ColumnType::Text},
      {"Char", ColumnType::Text},        {"Memo", ColumnType::Memo},         {"LongChar", ColumnType::Memo},
  };
  for (auto& [word, type] : kWords)
    if (namesEqualCaseInsensitive(w, word)) return type;
  return std::nullopt;
}

// "Name Type [Width n]", the name maybe in double quotes.
TextLayoutColumn parseColumn(const std::string& value, const std::string& where) {
  TextLayoutColumn c;
  std::string rest = trim(value);
  if (!rest.empty() && rest[0] == '"') {
    size_t close = rest.find('"', 1);
    if (close == std::string::npos) throw EngineError(where + ": the field name has no closing quote.");
    c.name = rest.substr(1, close - 1);
    rest = rest.substr(close + 1);
  } else {
    size_t space = rest.find(' ');
    c.name = rest.substr(0, space);
    rest = space == std::string::npos ? "" : rest.substr(space);
  }
  std::istringstream words(rest);
  std::string type;
  words >> type;
  if (type.empty()) throw EngineError(where + ": field '" + c.name + "' has no type.");
  auto t = typeFromWord(type);
  if (!t) throw EngineError(where + ": '" + type + "' is not a type a text file can hold.");
  c.type = *t;
  std::string word;
  while (words >> word)
    if (namesEqualCaseInsensitive(word, "Width")) {
      long w = 0;
      if (!(words >> w) || w <= 0 || w > 32766) throw EngineError(where + ": field '" + c.name + "' has a bad width.");
      c.width = uint16_t(w);
    }
  return c;
}

void applyFormat(TextLayout& layout, const std::string& v, const std::string& where) {
  if (namesEqualCaseInsensitive(v, "CSVDelimited")) layout.delimiter = ',';
  else if (namesEqualCaseInsensitive(v, "TabDelimited")) layout.delimiter = '\t';
  else if (namesEqualCaseInsensitive(v, "FixedLength")) layout.fixedLength = true;
  else if (v.size() >= 11 && namesEqualCaseInsensitive(v.substr(0, 10), "Delimited(") && v.back() == ')') {
    std::string inner = v.substr(10, v.size() - 11);
    if (inner.size() != 1 || inner[0] == '"') throw EngineError(where + ": '" + v + "' is not a delimiter.");
    layout.delimiter = inner[0];
  } else {
    throw EngineError(where + ": the format '" + v + "' is not known.");
  }
}

}  // namespace

TextLayout readTextLayout(const std::string& folder, const std::string& fileName) {
  TextLayout layout;
  auto ini = findSchemaIni(folder);
  if (!ini) return layout;
  std::vector<std::string> lines = linesOf(readWholeFile(*ini, realFileSystem()));
  bool inSection = false;
  std::vector<std::pair<int, TextLayoutColumn>> columns;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = trim(lines[i]);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      inSection = namesEqualCaseInsensitive(trim(line.substr(1, line.size() - 2)), fileName);
      continue;
    }
    if (!inSection) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
    std::string where = "Schema.ini line " + std::to_string(i + 1);
    if (namesEqualCaseInsensitive(key, "ColNameHeader")) {
      layout.header = namesEqualCaseInsensitive(value, "True") || value == "1";
    } else if (namesEqualCaseInsensitive(key, "Format")) {
      applyFormat(layout, value, where);
    } else if (namesEqualCaseInsensitive(key, "CharacterSet")) {
      layout.charset = charsetForCodePage(value);
    } else if (namesEqualCaseInsensitive(key, "MaxScanRows")) {
      layout.maxScanRows = size_t(std::max(0L, std::atol(value.c_str())));
    } else if (namesEqualCaseInsensitive(key, "DateTimeFormat")) {
      layout.dateTimeFormat = value;
    } else if (namesEqualCaseInsensitive(key, "DecimalSymbol")) {
      if (!value.empty()) layout.decimalSymbol = value[0];
    } else if (namesEqualCaseInsensitive(key, "TextDelimiter")) {
      layout.quote = namesEqualCaseInsensitive(value, "none") || value.empty() ? '\0' : value[0];
    } else if (key.size() > 3 && namesEqualCaseInsensitive(key.substr(0, 3), "Col") &&
               key.find_first_not_of("0123456789", 3) == std::string::npos) {
      int n = std::atoi(key.c_str() + 3);
      if (n < 1 || n > 255) throw EngineError(where + ": '" + key + "' is not a column number from 1 to 255.");
      columns.emplace_back(n, parseColumn(value, where));
    }
  }
  std::sort(columns.begin(), columns.end(), [](auto& a, auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].first != int(i) + 1)
      throw EngineError("Schema.ini: the section for '" + fileName + "' has no Col" + std::to_string(i + 1) + ".");
    layout.columns.push_back(columns[i].second);
  }
  if (layout.fixedLength)
    for (auto& c : layout.columns)
      if (c.width == 0)
        throw EngineError("Schema.ini: field '" + c.name + "' of the fixed-length file '" + fileName +
                          "' needs a Width.");
  return layout;
}

SchemaIniBefore writeSchemaIniSection(const std::string& folder, const std::string& fileName,
                                      const std::vector<std::string>& section, FileSystem& fs) {
  auto ini = findSchemaIni(folder, fs);
  SchemaIniBefore before{ini.value_or(joinPath(folder, "Schema.ini")), std::nullopt};
  if (ini) before.bytes = readWholeFile(*ini, fs);
  const std::string& path = before.path;
  std::vector<std::string> lines = ini ? linesOf(*before.bytes) : std::vector<std::string>{};
  std::string out;
  bool skipping = false;
  for (const std::string& raw : lines) {
    std::string line = trim(raw);
    if (!line.empty() && line.front() == '[' && line.back() == ']')
      skipping = namesEqualCaseInsensitive(trim(line.substr(1, line.size() - 2)), fileName);
    if (!skipping) out += raw + "\r\n";
  }
  out += "[" + fileName + "]\r\n";
  for (const std::string& l : section) out += l + "\r\n";
  try {
    replaceFileContents(path, out, fs);
  } catch (const EngineError&) {
    // Replaced but not made durable: the old content goes back.
    try {
      restoreSchemaIni(before, fs);
    } catch (const EngineError&) {
    }
    throw;
  }
  return before;
}

void restoreSchemaIni(const SchemaIniBefore& before, FileSystem& fs) {
  if (before.bytes) replaceFileContents(before.path, *before.bytes, fs);
  else fs.remove(before.path);
}

std::string schemaIniTypeWord(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return "Bit";
    case ColumnType::Byte: return "Byte";
    case ColumnType::Integer: return "Short";
    case ColumnType::Long: return "Long";
    case ColumnType::Currency: return "Currency";
    case ColumnType::Single: return "Single";
    case ColumnType::Double:
    case ColumnType::Decimal: return "Double";
    case ColumnType::DateTime: return "DateTime";
    case ColumnType::Memo: return "Memo";
    default: return "Text";
  }
}

}  // namespace kevra
