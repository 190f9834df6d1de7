// Text tables: reading with TextRecords and guessed or declared types,
// writing CSV through a StagedFile.
#include "engine/isam/text_driver.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>

#include "engine/format/extended_date_time.h"
#include "engine/format/value_text.h"
#include "engine/isam/foreign_values.h"
#include "engine/isam/file_helpers.h"
#include "engine/isam/staged_file.h"
#include "engine/isam/schema_ini.h"
#include "engine/isam/table_file_name.h"
#include "engine/isam/text_records.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

bool isTextExtension(std::string_view ext) {
  for (std::string_view e : {"txt", "csv", "tab", "asc"})
    if (namesEqualCaseInsensitive(ext, e)) return true;
  return false;
}

void requireFolder(const std::string& folder, FileSystem& fs = realFileSystem()) {
  if (!folderExists(folder, fs))
    throw EngineError("The folder '" + folder + "' does not exist.");
}

// The file of `name` in `folder`: the exact name, else one differing only in case.
std::string findFile(const std::string& folder, const std::string& name) {
  std::string exact = joinPath(folder, name);
  if (fileExists(exact)) return name;
  if (DIR* d = ::opendir(folder.c_str())) {
    std::string found;
    while (dirent* e = ::readdir(d))
      if (namesEqualCaseInsensitive(e->d_name, name)) {
        found = e->d_name;
        break;
      }
    ::closedir(d);
    if (!found.empty()) return found;
  }
  throw EngineError("The text file '" + exact + "' does not exist.");
}

class TextTableReader : public ForeignTableReader {
 public:
  TextTableReader(const std::string& folder, const std::string& fileName)
      : path_(joinPath(folder, fileName)), layout_(readTextLayout(folder, fileName)) {
    rules_.dateTimeFormat = layout_.dateTimeFormat;
    rules_.decimalSymbol = layout_.decimalSymbol;
    describe();
    records_ = std::make_unique<TextRecords>(path_, layout_);
    if (layout_.header) records_->next(fields_);
  }

  const std::vector<ResultColumn>& columns() const override { return columns_; }
  std::vector<std::string> warnings() const override { return warnings_; }

  bool next(std::vector<Value>& row) override {
    if (!records_->next(fields_)) return false;
    if (fields_.size() > columns_.size() && !extraFieldsAreEmpty())
      throw EngineError("Record " + std::to_string(records_->recordNumber()) + " of '" + path_ + "' has " +
                        std::to_string(fields_.size()) + " fields; the table has " +
                        std::to_string(columns_.size()) + ".");
    row.resize(columns_.size());
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (i >= fields_.size() || fields_[i].isNull()) {
        row[i] = std::monostate{};
        continue;
      }
      const ResultColumn& c = columns_[i];
      const std::string& text = fields_[i].text;
      if (c.type == ColumnType::Text || c.type == ColumnType::Memo) {
        row[i] = text;
        continue;
      }
      if (text.find_first_not_of(" \t") == std::string::npos) {
        row[i] = std::monostate{};
        continue;
      }
      auto v = readTextAs(c.type, text, rules_);
      if (!v)
        throw EngineError("Record " + std::to_string(records_->recordNumber()) + " of '" + path_ + "': '" + text +
                          "' in field '" + c.name + "' is not a " + typeWord(c.type) + " value.");
      row[i] = std::move(*v);
    }
    return true;
  }

 private:
  static std::string typeWord(ColumnType t) { return schemaIniTypeWord(t); }

  bool extraFieldsAreEmpty() const {
    for (size_t i = columns_.size(); i < fields_.size(); ++i)
      if (!fields_[i].isNull()) return false;
    return true;
  }

  // Columns from the Schema.ini list, else from the header and a scan of the rows.
  void describe() {
    warnings_.clear();
    TextRecords scan(path_, layout_);
    std::vector<TextField> fields;
    std::vector<std::string> names;
    if (layout_.header && scan.next(fields))
      for (auto& f : fields) names.push_back(f.text);
    if (!layout_.columns.empty()) {
      std::vector<std::string> declared;
      for (auto& c : layout_.columns) declared.push_back(c.name);
      declared = usableFieldNames(declared, &warnings_);
      for (size_t i = 0; i < layout_.columns.size(); ++i) {
        const TextLayoutColumn& lc = layout_.columns[i];
        ResultColumn c;
        c.name = declared[i];
        c.type = lc.type;
        if (c.type == ColumnType::Text) {
          uint16_t chars = lc.width ? lc.width : 255;
          if (chars > 255) c.type = ColumnType::Memo;
          else c.length = uint16_t(chars * 2);
        }
        columns_.push_back(c);
      }
      return;
    }
    while (names.size() > 1 && names.back().empty()) names.pop_back();  // a trailing delimiter
    std::vector<ColumnGuess> guesses(names.size(), ColumnGuess(rules_));
    size_t scanned = 0;
    while ((layout_.maxScanRows == 0 || scanned < layout_.maxScanRows) && scan.next(fields)) {
      ++scanned;
      size_t used = fields.size();
      while (used > guesses.size() && fields[used - 1].isNull()) --used;
      while (guesses.size() < used) guesses.emplace_back(rules_);
      for (size_t i = 0; i < used; ++i)
        if (!fields[i].isNull() && fields[i].text.find_first_not_of(" \t") != std::string::npos)
          guesses[i].see(fields[i].text);
    }
    names.resize(guesses.size());
    names = usableFieldNames(names, &warnings_);
    for (size_t i = 0; i < guesses.size(); ++i) columns_.push_back(guesses[i].column(names[i]));
    if (columns_.empty()) throw EngineError("The text file '" + path_ + "' holds no fields.");
  }

  std::string path_;
  std::vector<std::string> warnings_;  // renamed fields
  TextLayout layout_;
  TextValueRules rules_;
  std::vector<ResultColumn> columns_;
  std::unique_ptr<TextRecords> records_;
  std::vector<TextField> fields_;
};

bool writable(ColumnType t) { return t != ColumnType::OLE && t != ColumnType::Binary; }

void appendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

template <typename T>
void appendNumber(std::string& out, T v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

class TextTableWriter : public ForeignTableWriter {
 public:
  TextTableWriter(std::string folder, std::string fileName, const std::vector<ResultColumn>& columns, FileSystem& fs)
      : folder_(std::move(folder)), fileName_(std::move(fileName)), fs_(fs), file_(joinPath(folder_, fileName_), fs) {
    std::string header;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (!writable(columns[i].type)) {
        warnings_.push_back("Field '" + columns[i].name + "' was left out: a text file cannot hold binary data.");
        continue;
      }
      kept_.push_back(i);
      types_.push_back(columns[i].type);
      if (header.size()) header.push_back(',');
      appendQuoted(header, columns[i].name);
      std::string entry = "Col" + std::to_string(kept_.size()) + "=";
      appendQuoted(entry, columns[i].name);
      entry += " " + schemaIniTypeWord(columns[i].type);
      if (columns[i].type == ColumnType::Text)
        entry += " Width " + std::to_string(columns[i].length ? columns[i].length / 2 : 255);
      else if (columns[i].type == ColumnType::Guid)
        entry += " Width 38";
      section_.push_back(entry);
    }
    if (kept_.empty()) throw EngineError("The table has no field a text file can hold.");
    header += "\r\n";
    file_.append(header);
  }

  void write(const std::vector<Value>& row) override {
    line_.clear();
    for (size_t k = 0; k < kept_.size(); ++k) {
      if (k) line_.push_back(',');
      appendValue(line_, row[kept_[k]]);
    }
    line_ += "\r\n";
    file_.append(line_);
  }

  // Schema.ini first: the file appears last, with its section already there,
  // so no stop in between leaves a table read with guessed types. When the
  // file cannot be completed, Schema.ini is put back; a section left by a
  // crash in between names no file and is replaced by the next export.
  void finish() override {
    std::vector<std::string> section = {"ColNameHeader=True", "Format=CSVDelimited", "CharacterSet=65001",
                                        "DateTimeFormat=yyyy-mm-dd hh:nn:ss", "DecimalSymbol=."};
    section.insert(section.end(), section_.begin(), section_.end());
    const SchemaIniBefore before = writeSchemaIniSection(folder_, fileName_, section, fs_);
    try {
      file_.commit();
    } catch (const EngineError&) {
      try {
        restoreSchemaIni(before, fs_);
      } catch (const EngineError&) {
        // The commit's failure is the one to report.
      }
      throw;
    }
  }

  std::vector<std::string> warnings() const override { return warnings_; }

 private:
  static void appendValue(std::string& out, const Value& v) {
    std::visit(
        [&](const auto& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<T, std::monostate>) {
          } else if constexpr (std::is_same_v<T, bool>) {
            out += x ? "True" : "False";
          } else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                               std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
            appendNumber(out, int64_t(x));
          } else if constexpr (std::is_same_v<T, ExtendedDateTime>) {
            out += extendedDateTimeToIso(x);
          } else if constexpr (std::is_same_v<T, float>) {
            out += floatToShortest(x);
          } else if constexpr (std::is_same_v<T, double>) {
            out += doubleToShortest(x);
          } else if constexpr (std::is_same_v<T, Currency>) {
            out += currencyToString(x);
          } else if constexpr (std::is_same_v<T, Decimal>) {
            out += decimalToString(x);
          } else if constexpr (std::is_same_v<T, DateTime>) {
            out += dateTimeToText(x);
          } else if constexpr (std::is_same_v<T, std::string>) {
            appendQuoted(out, x);
          } else if constexpr (std::is_same_v<T, Guid>) {
            appendQuoted(out, guidToString(x));
          }
        },
        v);
  }

  std::string folder_, fileName_;
  FileSystem& fs_;
  StagedFile file_;
  std::vector<size_t> kept_;
  std::vector<ColumnType> types_;
  std::vector<std::string> section_, warnings_;
  std::string line_;
};

class TextDriver : public ForeignDriver {
 public:
  explicit TextDriver(FileSystem& fs) : fs_(fs) {}

  std::vector<ForeignTableInfo> listTables(const std::string& folder) override {
    requireFolder(folder);
    std::vector<ForeignTableInfo> out;
    if (DIR* d = ::opendir(folder.c_str())) {
      while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        auto dot = name.rfind('.');
        if (dot == std::string::npos || dot == 0 || !isTextExtension(name.substr(dot + 1))) continue;
        out.push_back({name.substr(0, dot) + "#" + name.substr(dot + 1)});
      }
      ::closedir(d);
    }
    std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.name < b.name; });
    return out;
  }

  std::unique_ptr<ForeignTableReader> openTable(const std::string& folder, const std::string& table) override {
    requireFolder(folder);
    return std::make_unique<TextTableReader>(folder, findFile(folder, textFileNameForTable(table)));
  }

  std::unique_ptr<ForeignTableWriter> createTable(const std::string& folder, const std::string& table,
                                                  const std::vector<ResultColumn>& columns) override {
    requireFolder(folder, fs_);
    return std::make_unique<TextTableWriter>(folder, textFileNameForTable(table), columns, fs_);
  }

 private:
  FileSystem& fs_;
};

}  // namespace

std::string textFileNameForTable(const std::string& table) {
  auto hash = table.rfind('#');
  const std::string base = hash == std::string::npos ? table : table.substr(0, hash);
  const std::string extension = hash == std::string::npos ? "txt" : table.substr(hash + 1);
  checkTableFileName(table, extension);
  checkTableFileName(base, extension);
  return base + "." + extension;
}

std::unique_ptr<ForeignDriver> makeTextDriver(FileSystem& fs) { return std::make_unique<TextDriver>(fs); }

}  // namespace kevra
