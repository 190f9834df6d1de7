// PostgreSQL through libpq: statements with PQexec, rows in and out with
// COPY in text format, buffered a megabyte at a time.
#include "engine/upsize/postgres_target.h"

#include <libpq-fe.h>

#include <cstdlib>

#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr size_t kCopyBuffer = 1 << 20;

std::string serverMessage(PGconn* conn) {
  std::string m = PQerrorMessage(conn);
  while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
  return m;
}

void appendCopyField(std::string& out, const std::optional<std::string>& field, bool bytes) {
  if (!field) {
    out += "\\N";
    return;
  }
  if (bytes) out += "\\\\x";
  for (char c : *field) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out.push_back(c);
    }
  }
}

class Result {
 public:
  explicit Result(PGresult* r) : r_(r) {}
  ~Result() { PQclear(r_); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  PGresult* get() const { return r_; }

 private:
  PGresult* r_;
};

class PostgresCopyIn : public RowStream {
 public:
  PostgresCopyIn(PGconn* conn, std::string table, std::vector<bool> bytes)
      : conn_(conn), table_(std::move(table)), bytes_(std::move(bytes)) {
    buffer_.reserve(kCopyBuffer + 4096);
  }
  ~PostgresCopyIn() override {
    if (!finished_) {
      PQputCopyEnd(conn_, "upsize abandoned");
      while (PGresult* r = PQgetResult(conn_)) PQclear(r);
    }
  }
  void row(const std::vector<std::optional<std::string>>& fields) override {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i) buffer_.push_back('\t');
      appendCopyField(buffer_, fields[i], bytes_[i]);
    }
    buffer_.push_back('\n');
    if (buffer_.size() >= kCopyBuffer) send();
  }
  void finish() override {
    send();
    finished_ = true;
    if (PQputCopyEnd(conn_, nullptr) != 1) throw EngineError("Copying rows into " + table_ + " failed: " + serverMessage(conn_));
    std::string failure;
    while (PGresult* r = PQgetResult(conn_)) {
      if (PQresultStatus(r) != PGRES_COMMAND_OK && failure.empty()) failure = PQresultErrorMessage(r);
      PQclear(r);
    }
    if (!failure.empty()) {
      while (!failure.empty() && failure.back() == '\n') failure.pop_back();
      throw EngineError("Copying rows into " + table_ + " failed: " + failure);
    }
  }

 private:
  void send() {
    if (buffer_.empty()) return;
    if (PQputCopyData(conn_, buffer_.data(), int(buffer_.size())) != 1)
      throw EngineError("Copying rows into " + table_ + " failed: " + serverMessage(conn_));
    buffer_.clear();
  }
  PGconn* conn_;
  std::string table_;
  std::vector<bool> bytes_;
  std::string buffer_;
  bool finished_ = false;
};

// Splits one line of COPY text output into fields, undoing the escapes.
void splitCopyLine(const char* line, size_t size, std::vector<std::optional<std::string>>& fields) {
  fields.clear();
  std::string field;
  bool isNull = false;
  size_t i = 0;
  auto endField = [&] {
    if (isNull)
      fields.emplace_back(std::nullopt);
    else
      fields.emplace_back(field);
    field.clear();
    isNull = false;
  };
  for (; i < size; ++i) {
    char c = line[i];
    if (c == '\n') break;
    if (c == '\t') {
      endField();
      continue;
    }
    if (c == '\\' && i + 1 < size) {
      char e = line[++i];
      switch (e) {
        case 'N': isNull = true; break;
        case 'n': field.push_back('\n'); break;
        case 'r': field.push_back('\r'); break;
        case 't': field.push_back('\t'); break;
        case 'b': field.push_back('\b'); break;
        case 'f': field.push_back('\f'); break;
        case 'v': field.push_back('\v'); break;
        default: field.push_back(e);
      }
      continue;
    }
    field.push_back(c);
  }
  endField();
}

}  // namespace

PostgresTarget::PostgresTarget(const std::string& conninfo, std::string schema) : schema_(std::move(schema)) {
  conn_ = PQconnectdb(conninfo.c_str());
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    std::string message = conn_ ? serverMessage(conn_) : "out of memory";
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    throw EngineError("Could not connect to the PostgreSQL server: " + message);
  }
  if (PQsetClientEncoding(conn_, "UTF8") != 0) {
    PQfinish(conn_);
    conn_ = nullptr;
    throw EngineError("The PostgreSQL server does not accept UTF-8 from this client.");
  }
  execute("SET client_min_messages = warning");
  execute("SET DateStyle = 'ISO, YMD'");
  execute("SET extra_float_digits = 1");
  execute("SET standard_conforming_strings = on");
  // Keys and indexes are built after the rows are in: room to sort them in
  // memory rather than in temporary files.
  execute("SET maintenance_work_mem = '256MB'");
  if (schema_.empty()) schema_ = "public";
  // Views name their tables unqualified: they are looked up in the schema.
  execute("SET search_path = " + quoteIdentifier(schema_));
  int v = PQserverVersion(conn_);
  version_ = std::to_string(v / 10000) + "." + std::to_string(v % 10000);
}

PostgresTarget::~PostgresTarget() {
  if (conn_) PQfinish(conn_);
}

std::string PostgresTarget::description() const { return "PostgreSQL " + version_ + ", schema '" + schema_ + "'"; }

std::string PostgresTarget::tableName(const std::string& name) const {
  return quoteIdentifier(schema_) + "." + quoteIdentifier(name);
}

bool PostgresTarget::tableExists(const std::string& name) {
  const char* params[2] = {schema_.c_str(), name.c_str()};
  Result r(PQexecParams(conn_, "SELECT 1 FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                               "WHERE n.nspname = $1 AND c.relname = $2",
                        2, nullptr, params, nullptr, nullptr, 0));
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
    throw EngineError("Could not look up table '" + name + "': " + serverMessage(conn_));
  return PQntuples(r.get()) > 0;
}

void PostgresTarget::execute(const std::string& sql) {
  Result r(PQexec(conn_, sql.c_str()));
  auto status = PQresultStatus(r.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw EngineError("PostgreSQL refused " + sql.substr(0, 200) + ": " + serverMessage(conn_));
}

uint64_t PostgresTarget::count(const std::string& sql) {
  Result r(PQexec(conn_, sql.c_str()));
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK || PQntuples(r.get()) != 1)
    throw EngineError("PostgreSQL refused " + sql.substr(0, 200) + ": " + serverMessage(conn_));
  return std::strtoull(PQgetvalue(r.get(), 0, 0), nullptr, 10);
}

void PostgresTarget::begin() { execute("BEGIN"); }
void PostgresTarget::commit() { execute("COMMIT"); }
void PostgresTarget::rollback() {
  if (PQtransactionStatus(conn_) != PQTRANS_IDLE) {
    Result r(PQexec(conn_, "ROLLBACK"));
  }
}

std::unique_ptr<RowStream> PostgresTarget::insertInto(const std::string& table,
                                                      const std::vector<MappedColumn>& columns) {
  std::string sql = "COPY " + tableName(table) + " (";
  std::vector<bool> bytes;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i) sql += ", ";
    sql += quoteIdentifier(columns[i].name);
    bytes.push_back(columns[i].kind == ValueKind::Bytes);
  }
  sql += ") FROM STDIN";
  Result r(PQexec(conn_, sql.c_str()));
  if (PQresultStatus(r.get()) != PGRES_COPY_IN)
    throw EngineError("PostgreSQL refused to copy into table '" + table + "': " + serverMessage(conn_));
  return std::make_unique<PostgresCopyIn>(conn_, "table '" + table + "'", std::move(bytes));
}

void PostgresTarget::readRows(const std::string& table, const std::vector<MappedColumn>& columns,
                              const std::function<void(const std::vector<std::optional<std::string>>&)>& row) {
  std::string sql = "COPY (SELECT ";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i) sql += ", ";
    sql += quoteIdentifier(columns[i].name);
  }
  sql += " FROM " + tableName(table) + ") TO STDOUT";
  {
    Result r(PQexec(conn_, sql.c_str()));
    if (PQresultStatus(r.get()) != PGRES_COPY_OUT)
      throw EngineError("Could not read table '" + table + "' back: " + serverMessage(conn_));
  }
  std::vector<std::optional<std::string>> fields;
  for (;;) {
    char* line = nullptr;
    int n = PQgetCopyData(conn_, &line, 0);
    if (n == -1) break;
    if (n < 0) throw EngineError("Could not read table '" + table + "' back: " + serverMessage(conn_));
    try {
      splitCopyLine(line, size_t(n), fields);
    } catch (...) {
      PQfreemem(line);
      throw;
    }
    PQfreemem(line);
    row(fields);
  }
  std::string failure;
  while (PGresult* r = PQgetResult(conn_)) {
    if (PQresultStatus(r) != PGRES_COMMAND_OK && failure.empty()) failure = PQresultErrorMessage(r);
    PQclear(r);
  }
  if (!failure.empty()) throw EngineError("Could not read table '" + table + "' back: " + failure);
}

}  // namespace kevra
