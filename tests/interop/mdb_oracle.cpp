#include "mdb_oracle.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "process.h"

#ifndef KEVRA_SHARED_DIR
#error "KEVRA_SHARED_DIR must name the shared folder"
#endif

namespace kevra::interop {

namespace fs = std::filesystem;

namespace {

std::string runOracle(const std::vector<std::string>& argv) {
  ProcessResult r = runProcess(argv);
  if (r.exitCode != 0) {
    std::string cmd;
    for (const auto& a : argv) cmd += a + " ";
    throw std::runtime_error("oracle command failed (exit " + std::to_string(r.exitCode) + "): " + cmd + ": " +
                             r.err.substr(0, 300));
  }
  return r.out;
}

std::string trimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
  return s;
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Reads a quoted identifier (`name` or "name" or [name]) at pos; advances pos past it.
std::string quotedName(const std::string& s, size_t& pos, char open, char close) {
  if (pos >= s.size() || s[pos] != open) throw std::runtime_error("oracle: expected identifier in: " + s);
  size_t end = s.find(close, pos + 1);
  if (end == std::string::npos) throw std::runtime_error("oracle: unterminated identifier in: " + s);
  std::string name = s.substr(pos + 1, end - pos - 1);
  pos = end + 1;
  return name;
}

const char* const kAccessTypeNames[] = {"Long Integer", "Memo/Hyperlink", "Replication ID", "Boolean",
                                        "Byte",         "Integer",        "Currency",       "Single",
                                        "Double",       "DateTime",       "Binary",         "Text",
                                        "OLE",          "Numeric"};

}  // namespace

std::string samplesDir() { return std::string(KEVRA_SHARED_DIR) + "/samples"; }

const std::vector<SampleFile>& allSamples() {
  static const std::vector<SampleFile> samples = [] {
    std::vector<SampleFile> list;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(samplesDir(), ec)) {
      if (!entry.is_regular_file()) continue;
      std::string ext = entry.path().extension().string();
      std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
      if (ext != ".mdb" && ext != ".accdb") continue;
      SampleFile s;
      s.path = entry.path().string();
      s.name = entry.path().filename().string();
      ProcessResult r = runProcess({"mdb-ver", s.path});
      s.version = r.exitCode == 0 ? trimRight(splitLines(r.out).empty() ? "" : splitLines(r.out)[0]) : "UNREADABLE";
      list.push_back(std::move(s));
    }
    std::sort(list.begin(), list.end(), [](const SampleFile& a, const SampleFile& b) { return a.name < b.name; });
    return list;
  }();
  return samples;
}

std::vector<SampleFile> jet4Samples() {
  std::vector<SampleFile> list;
  for (const auto& s : allSamples())
    if (s.version == "JET4") list.push_back(s);
  std::string bench = samplesDir() + "/bench/medium.mdb";
  if (fs::exists(bench)) list.push_back({bench, "bench_medium.mdb", "JET4"});
  return list;
}

std::vector<std::string> mdbUserTables(const std::string& path) {
  return splitLines(runOracle({"mdb-tables", "-1", path}));
}

std::vector<std::string> mdbLinkedTables(const std::string& path) {
  return splitLines(runOracle({"mdb-tables", "-1", "-t", "linkedtable", path}));
}

std::vector<std::string> mdbQueries(const std::string& path) {
  return splitLines(runOracle({"mdb-queries", "-L", "-1", path}));
}

uint64_t mdbCount(const std::string& path, const std::string& table) {
  std::string out = runOracle({"mdb-count", path, table});
  return std::stoull(out);
}

std::vector<Json> mdbJsonRows(const std::string& path, const std::string& table) {
  const std::string iso = "%Y-%m-%dT%H:%M:%S";
  std::vector<Json> rows;
  for (const auto& line : splitLines(runOracle({"mdb-json", "-D", iso, "-T", iso, path, table})))
    rows.push_back(parseJson(line));
  return rows;
}

std::vector<MdbColumn> mdbColumns(const std::string& path, const std::string& table) {
  std::vector<MdbColumn> columns;
  std::string out = runOracle({"mdb-schema", "--not-null", "--default-values", "--no-indexes", "--no-relations",
                               "-T", table, path, "access"});
  for (std::string line : splitLines(out)) {
    if (!startsWith(line, "\t[")) continue;
    line = trimRight(line);
    if (!line.empty() && line.back() == ',') line.pop_back();
    MdbColumn c;
    size_t pos = 1;
    c.name = quotedName(line, pos, '[', ']');
    while (pos < line.size() && line[pos] == '\t') ++pos;
    std::string rest = line.substr(pos);
    for (const char* t : kAccessTypeNames) {
      if (startsWith(rest, t)) {
        c.typeName = t;
        rest = rest.substr(std::char_traits<char>::length(t));
        break;
      }
    }
    if (c.typeName.empty()) c.typeName = rest.substr(0, rest.find(' '));
    if (startsWith(rest, " (")) {
      size_t close = rest.find(')');
      std::string inside = rest.substr(2, close - 2);
      size_t comma = inside.find(',');
      if (comma == std::string::npos) {
        c.size = std::stoi(inside);
      } else {
        c.precision = std::stoi(inside.substr(0, comma));
        c.scale = std::stoi(inside.substr(comma + 1));
      }
      rest = rest.substr(close + 1);
    }
    if (startsWith(rest, " NOT NULL")) {
      c.notNull = true;
      rest = rest.substr(9);
    }
    if (startsWith(rest, " DEFAULT ")) c.defaultText = rest.substr(9);
    columns.push_back(std::move(c));
  }
  // The postgres backend is the one that tells long autonumbers apart (SERIAL).
  std::string pg = runOracle({"mdb-schema", "--no-indexes", "--no-relations", "-T", table, path, "postgres"});
  for (const std::string& line : splitLines(pg)) {
    if (!startsWith(line, "\t\"")) continue;
    size_t pos = 1;
    std::string name = quotedName(line, pos, '"', '"');
    bool serial = line.find("\tSERIAL", pos) != std::string::npos;
    for (auto& c : columns) {
      std::string a = c.name, b = name;
      std::transform(a.begin(), a.end(), a.begin(), ::tolower);
      std::transform(b.begin(), b.end(), b.begin(), ::tolower);
      if (a == b && serial) c.serial = true;
    }
  }
  return columns;
}

std::vector<MdbIndex> mdbIndexes(const std::string& path, const std::string& table) {
  std::vector<MdbIndex> indexes;
  std::string out = runOracle({"mdb-schema", "--indexes", "--no-relations", "-T", table, path, "mysql"});
  const std::string prefix = "ALTER TABLE `" + table + "` ADD ";
  for (const std::string& line : splitLines(out)) {
    if (!startsWith(line, prefix)) continue;
    std::string rest = line.substr(prefix.size());
    if (startsWith(rest, "CONSTRAINT ")) continue;  // relationships, compared elsewhere
    MdbIndex idx;
    size_t pos = 0;
    if (startsWith(rest, "PRIMARY KEY ")) {
      idx.primary = true;
      pos = 12;
    } else {
      if (startsWith(rest, "UNIQUE ")) {
        idx.unique = true;
        rest = rest.substr(7);
      }
      if (!startsWith(rest, "INDEX ")) throw std::runtime_error("oracle: unexpected index line: " + line);
      pos = 6;
      idx.name = quotedName(rest, pos, '`', '`');
      ++pos;  // space
    }
    if (pos >= rest.size() || rest[pos] != '(') throw std::runtime_error("oracle: unexpected index line: " + line);
    ++pos;
    while (pos < rest.size() && rest[pos] != ')') {
      MdbIndexColumn col;
      col.name = quotedName(rest, pos, '`', '`');
      if (rest.compare(pos, 5, " DESC") == 0) {
        col.descending = true;
        pos += 5;
      }
      idx.columns.push_back(col);
      if (rest.compare(pos, 2, ", ") == 0) pos += 2;
    }
    indexes.push_back(std::move(idx));
  }
  return indexes;
}

std::vector<MdbRelationshipRow> mdbRelationships(const std::string& path) {
  auto records = parseCsv(runOracle({"mdb-export", path, "MSysRelationships"}));
  std::vector<MdbRelationshipRow> rows;
  if (records.empty()) return rows;
  const auto& header = records[0];
  auto column = [&](const char* name) {
    auto it = std::find(header.begin(), header.end(), name);
    if (it == header.end()) throw std::runtime_error(std::string("oracle: MSysRelationships has no ") + name);
    return size_t(it - header.begin());
  };
  size_t cName = column("szRelationship"), cTable = column("szObject"), cCol = column("szColumn"),
         cRefTable = column("szReferencedObject"), cRefCol = column("szReferencedColumn"), cGrbit = column("grbit"),
         cIndex = column("icolumn");
  for (size_t i = 1; i < records.size(); ++i) {
    const auto& r = records[i];
    if (r.size() != header.size()) throw std::runtime_error("oracle: short MSysRelationships record");
    MdbRelationshipRow row;
    row.name = r[cName];
    row.table = r[cTable];
    row.column = r[cCol];
    row.referencedTable = r[cRefTable];
    row.referencedColumn = r[cRefCol];
    row.grbit = std::stoll(r[cGrbit]);
    row.columnIndex = std::stoi(r[cIndex]);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool inQuotes = false, fieldStarted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inQuotes) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          inQuotes = false;
        }
      } else {
        field += c;
      }
      continue;
    }
    if (c == '"' && field.empty()) {
      inQuotes = true;
      fieldStarted = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
      fieldStarted = true;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      record.push_back(std::move(field));
      field.clear();
      records.push_back(std::move(record));
      record.clear();
      fieldStarted = false;
    } else {
      field += c;
      fieldStarted = true;
    }
  }
  if (inQuotes) throw std::runtime_error("CSV: unterminated quoted field");
  if (fieldStarted || !field.empty()) {
    record.push_back(std::move(field));
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace kevra::interop
