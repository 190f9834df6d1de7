// The program's upsize: a connection of its own, the engine's upsizer, the
// report written out.
#include "database/upsize.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "database/connection.h"
#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/upsize/upsize_target.h"
#include "engine/upsize/upsizer.h"
#include "engine/util/error.h"

namespace kevra::db {

namespace {

std::shared_ptr<kevra::Database> openForReading(Connection& connection, const std::string& connectionString) {
  connection.Open(connectionString + ";Mode=Read");
  return connection.engine();
}

void writeReport(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  bool written = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f && std::fclose(f) != 0) written = false;
  if (!written)
    throw EngineError("The upsize finished, but the report could not be written to '" + path +
                      "': " + std::strerror(errno) + ".");
}

// libpq's quoting: single quotes around a value with blanks, quotes or
// backslashes, which are escaped with a backslash.
std::string libpqValue(const std::string& value) {
  bool plain = !value.empty();
  for (char c : value) plain = plain && c != ' ' && c != '\'' && c != '\\' && c != '\t' && c != '\n';
  if (plain) return value;
  std::string out = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "'";
}

}  // namespace

UpsizeOutcome upsizeDatabase(const std::string& sourceConnectionString, const UpsizeSettings& settings,
                             const UpsizeProgress& progress) {
  if (settings.target.empty()) throw EngineError("Choose where to upsize to: a PostgreSQL server or a SQLite file.");
  Connection connection;
  auto db = openForReading(connection, sourceConnectionString);
  UpsizeOptions options;
  options.tables = settings.tables;
  options.replace = settings.replace;
  options.atomic = settings.atomic;
  options.progress = progress;
  auto target = openUpsizeTarget(settings.target, settings.schema);
  UpsizeReport report = kevra::upsizeDatabase(*db, *target, options);
  UpsizeOutcome outcome;
  outcome.target = report.target;
  outcome.verified = report.verified();
  outcome.report = report.text();
  for (const auto& t : report.tables) outcome.tables.push_back({t.name, t.targetRows, t.verified()});
  if (!settings.reportPath.empty()) writeReport(settings.reportPath, outcome.report);
  return outcome;
}

uint64_t storedRowCount(const std::string& sourceConnectionString, const std::vector<std::string>& tables) {
  Connection connection;
  auto db = openForReading(connection, sourceConnectionString);
  uint64_t total = 0;
  for (const auto& name : tables) total += db->table(name)->rowCount;
  return total;
}

std::string postgresConnectionString(const std::string& host, const std::string& port, const std::string& database,
                                     const std::string& user, const std::string& password) {
  std::string out;
  auto add = [&out](const char* key, const std::string& value) {
    if (value.empty()) return;
    if (!out.empty()) out += ' ';
    out += std::string(key) + "=" + libpqValue(value);
  };
  add("host", host);
  add("port", port);
  add("dbname", database);
  add("user", user);
  add("password", password);
  return out;
}

}  // namespace kevra::db
