#include "mdb_reader_oracle.h"

#include <cctype>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "normalise.h"
#include "process.h"

namespace kevra::interop {
namespace {

Json runReader(const std::string& path, const std::string& password, std::vector<std::string> what) {
  const std::string script = KEVRA_MDB_READER_SCRIPT;
  const auto modules = std::filesystem::path(script).parent_path() / "node_modules" / "mdb-reader";
  if (!std::filesystem::exists(modules))
    throw std::runtime_error("mdb-reader is not installed beside " + script +
                             " (scripts/test.sh installs it with npm)");
  std::vector<std::string> argv{"node", script, path};
  if (!password.empty()) {
    argv.push_back("--password");
    argv.push_back(password);
  }
  argv.insert(argv.end(), what.begin(), what.end());
  ProcessResult r = runProcess(argv);
  if (r.exitCode != 0) throw std::runtime_error("mdb-reader failed on " + path + ": " + r.err);
  return parseJson(r.out);
}

}  // namespace

std::vector<std::string> mdbReaderTables(const std::string& path, const std::string& password) {
  Json names = runReader(path, password, {"--tables"});
  std::vector<std::string> out;
  for (const auto& n : names.items) out.push_back(n.text);
  return out;
}

MdbReaderTable mdbReaderTable(const std::string& path, const std::string& table, const std::string& password) {
  Json doc = runReader(path, password, {"--table", table});
  MdbReaderTable t;
  for (const auto& c : doc.at("columns").items) {
    t.columns.push_back(c.at("name").text);
    t.types.push_back(c.at("type").text);
  }
  for (const auto& row : doc.at("rows").items) t.rows.push_back(row.items);
  return t;
}

namespace {

std::optional<double> numberOf(const Json& v) {
  if (!v.isNumber() && !v.isString()) return std::nullopt;
  try {
    size_t used = 0;
    double d = std::stod(v.text, &used);
    if (used != v.text.size()) return std::nullopt;
    return d;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string hexToBytes(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return out;
}

}  // namespace

std::string compareWithMdbReader(const std::string& readerType, const Json& theirs, const Json* ours) {
  const std::string shown = ours ? ours->dump() : std::string("(absent)");
  auto mismatch = [&](const std::string& why) { return why + ": mdb-reader " + theirs.dump() + ", ours " + shown; };
  // JSON has no NaN or infinity: mdb-reader's JSON.stringify writes them as
  // null, while our export spells them out as texts.
  if (theirs.isNull() && ours && ours->isString() && (readerType == "double" || readerType == "float") &&
      (ours->text == "NaN" || ours->text == "Infinity" || ours->text == "-Infinity"))
    return "";
  if (theirs.isNull()) return !ours || ours->isNull() ? "" : mismatch("not NULL");
  if (!ours || ours->isNull()) return mismatch("NULL");
  if (theirs.isBool()) return ours->isBool() && ours->boolean == theirs.boolean ? "" : mismatch("yes/no differs");
  if (theirs.isNumber()) {
    auto a = numberOf(theirs), b = numberOf(*ours);
    if (!a || !b) return mismatch("not a number");
    if (readerType == "float") return float(*a) == float(*b) ? "" : mismatch("single differs");
    return *a == *b || std::fabs(*a - *b) <= 1e-12 * std::fabs(*a) ? "" : mismatch("number differs");
  }
  if (!theirs.isString()) return ours->dump() == theirs.dump() ? "" : mismatch("value differs");
  const std::string& t = theirs.text;
  if (readerType == "datetime") {
    auto a = isoToSeconds(t.substr(0, t.find('Z'))), b = ours->isString() ? isoToSeconds(ours->text) : std::nullopt;
    if (!a || !b) return mismatch("not a date");
    return std::fabs(*a - *b) < 0.0015 ? "" : mismatch("date differs");
  }
  if (t.rfind("hex:", 0) == 0) {
    auto bytes = ours->isString() ? base64Decode(ours->text) : std::nullopt;
    return bytes && *bytes == hexToBytes(std::string_view(t).substr(4)) ? "" : mismatch("bytes differ");
  }
  if (readerType == "currency" || readerType == "numeric" || readerType == "bigint") {
    auto a = canonicalDecimal(t), b = canonicalDecimal(ours->isString() || ours->isNumber() ? ours->text : "");
    return a && a == b ? "" : mismatch("decimal differs");
  }
  if (!ours->isString()) return mismatch("not a text");
  if (readerType == "repid") {
    // mdb-reader writes a GUID in lower case without braces, Access's own
    // text is "{UPPER-CASE}".
    std::string plain;
    for (char ch : ours->text)
      if (ch != '{' && ch != '}') plain += char(std::tolower(static_cast<unsigned char>(ch)));
    return plain == t ? "" : mismatch("GUID differs");
  }
  return ours->text == t ? "" : mismatch("text differs");
}

}  // namespace kevra::interop
