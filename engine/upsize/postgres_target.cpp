// PostgreSQL through libpq: statements with PQexec, rows in and out with
// COPY in binary format (postgres_binary.h).
#include "engine/upsize/postgres_target.h"

#include <libpq-fe.h>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "engine/upsize/postgres_binary.h"
#include "engine/upsize/postgres_row_hash.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

// Rows go out in chunks of about this size: big enough that the calls cost
// nothing beside the rows, small enough to stay in the processor's caches.
constexpr size_t kCopyChunk = 256 * 1024;

std::string serverMessage(PGconn* conn) {
  std::string m = PQerrorMessage(conn);
  while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
  return m;
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

// Rows are encoded on the caller's thread while a thread of its own hands
// the chunks before them to libpq, which blocks until the server has taken
// them in: the file is read and the server stores rows at the same time.
class PostgresCopyIn : public RowStream {
 public:
  PostgresCopyIn(PGconn* conn, std::string table, std::vector<MappedColumn> columns, bool hashedOnServer)
      : conn_(conn), table_(std::move(table)), columns_(std::move(columns)), hashedOnServer_(hashedOnServer) {
    buffer_.reserve(kCopyChunk + 4096);
    buffer_.append(binaryCopyHeader());
    sender_ = std::thread([this] { sendChunks(); });
  }
  ~PostgresCopyIn() override {
    if (!finished_) {
      stopSender(true);
      PQputCopyEnd(conn_, "upsize abandoned");
      while (PGresult* r = PQgetResult(conn_)) PQclear(r);
    }
  }
  // A row checksums as the server will hash its stored values (see
  // targetChecksum), or else as the bytes of its binary COPY form, which is
  // the form the server sends its rows back in, each field through its
  // type's send function. Either way a value that did not arrive as sent
  // (rounded, cut, lost) gives another sum.
  void row(const std::vector<Value>& values, TableChecksum& checksum) override {
    size_t start = buffer_.size();
    appendBinaryRow(buffer_, values, columns_);
    if (hashedOnServer_)
      checksum.addHashedRow(serverRowHash(buffer_.data() + start, buffer_.size() - start, columns_));
    else
      checksum.addRow(buffer_.data() + start, buffer_.size() - start);
    if (buffer_.size() >= kCopyChunk) handOver();
  }
  void finish() override {
    buffer_.append(binaryCopyTrailer());
    handOver();
    stopSender(false);
    finished_ = true;
    if (!failure_.empty()) {
      PQputCopyEnd(conn_, "upsize abandoned");
      while (PGresult* r = PQgetResult(conn_)) PQclear(r);
      throw EngineError("Copying rows into " + table_ + " failed: " + failure_);
    }
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
  // Queues the chunk built so far (waiting while kQueuedChunks are ahead of
  // it) and goes on in a spare buffer.
  void handOver() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return queue_.size() < kQueuedChunks || !failure_.empty(); });
    if (!failure_.empty()) throw EngineError("Copying rows into " + table_ + " failed: " + failure_);
    queue_.push_back(std::move(buffer_));
    if (spare_.empty()) {
      buffer_ = std::string();
      buffer_.reserve(kCopyChunk + 4096);
    } else {
      buffer_ = std::move(spare_.back());
      spare_.pop_back();
    }
    changed_.notify_all();
  }
  void sendChunks() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return !queue_.empty() || stopping_; });
      if (queue_.empty()) return;
      std::string chunk = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      bool sent = PQputCopyData(conn_, chunk.data(), int(chunk.size())) == 1;
      std::string message = sent ? std::string() : serverMessage(conn_);
      chunk.clear();
      lock.lock();
      spare_.push_back(std::move(chunk));
      if (!sent) {
        failure_ = message;
        queue_.clear();
      }
      changed_.notify_all();
    }
  }
  // Waits until the queued chunks are sent (or, when `drop`, drops them).
  void stopSender(bool drop) {
    {
      std::lock_guard lock(mutex_);
      if (drop) queue_.clear();
      stopping_ = true;
    }
    changed_.notify_all();
    if (sender_.joinable()) sender_.join();
  }
  static constexpr size_t kQueuedChunks = 3;
  PGconn* conn_;
  std::string table_;
  std::vector<MappedColumn> columns_;
  std::string buffer_;
  bool finished_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  std::vector<std::string> spare_;
  bool stopping_ = false;
  std::string failure_;  // the sender's, read once it has stopped
  bool hashedOnServer_;
  std::thread sender_;
};

}  // namespace

PostgresTarget::PostgresTarget(const std::string& conninfo, std::string schema)
    : PostgresTarget(conninfo, std::move(schema), std::nullopt) {}

PostgresTarget::PostgresTarget(const std::string& conninfo, std::string schema, std::optional<bool> hashesAgree)
    : conninfo_(conninfo), schema_(std::move(schema)) {
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
  cancel_ = PQgetCancel(conn_);
  if (hashesAgree) {
    serverHashesAgree_ = *hashesAgree;  // known from the first connection
  } else {
    // Whether the server's hash functions hash as this program's do: not on
    // a server of the other byte order, one older than these functions, or
    // a database in another encoding than UTF-8, whose stored text is other
    // bytes than those sent (the probe's text is not ASCII for that).
    Result probe(PQexec(conn_, serverHashProbe().c_str()));
    if (PQresultStatus(probe.get()) == PGRES_TUPLES_OK && PQntuples(probe.get()) == 1) {
      std::string values;
      for (int i = 0; i < PQnfields(probe.get()); ++i) values += (i ? "|" : "") + std::string(PQgetvalue(probe.get(), 0, i));
      serverHashesAgree_ = values == expectedServerHashProbe();
    }
  }
  int v = PQserverVersion(conn_);
  version_ = std::to_string(v / 10000) + "." + std::to_string(v % 10000);
}

PostgresTarget::~PostgresTarget() {
  if (cancel_) PQfreeCancel(cancel_);
  if (conn_) PQfinish(conn_);
}

void PostgresTarget::cancelRunning() {
  char error[256];
  if (cancel_) PQcancel(cancel_, error, sizeof error);
}

std::unique_ptr<UpsizeTarget> PostgresTarget::openAnother() {
  return std::unique_ptr<UpsizeTarget>(new PostgresTarget(conninfo_, schema_, serverHashesAgree_));
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

// The table is one this upsize has just made, still empty. Inside a
// transaction it is emptied once more so that its rows can go in frozen
// (COPY FREEZE, allowed only for a table created or truncated in the same
// transaction): already visible to all and marked so in the visibility map,
// the server neither sets hint bits on every row at the first scans (the
// index builds, the read-back) nor fetches rows from the heap to check a
// foreign key through the index, and a later vacuum has nothing to freeze.
std::unique_ptr<RowStream> PostgresTarget::insertInto(const std::string& table,
                                                      const std::vector<MappedColumn>& columns) {
  bool freeze = PQtransactionStatus(conn_) == PQTRANS_INTRANS;
  if (freeze) execute("TRUNCATE " + tableName(table));
  std::string sql = "COPY " + tableName(table) + " (";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i) sql += ", ";
    sql += quoteIdentifier(columns[i].name);
  }
  sql += freeze ? ") FROM STDIN (FORMAT binary, FREEZE)" : ") FROM STDIN (FORMAT binary)";
  Result r(PQexec(conn_, sql.c_str()));
  if (PQresultStatus(r.get()) != PGRES_COPY_IN)
    throw EngineError("PostgreSQL refused to copy into table '" + table + "': " + serverMessage(conn_));
  return std::make_unique<PostgresCopyIn>(conn_, "table '" + table + "'", columns, hashesOnServer(columns));
}

bool PostgresTarget::hashesOnServer(const std::vector<MappedColumn>& columns) const {
  return serverHashesAgree_ && serverHashable(columns);
}

// The server hashes its stored values itself in one pass over the table
// (postgres_row_hash.h): nothing but three numbers comes back. Where its hash
// functions do not agree with this program's (another byte order, an older
// server) or a column has none, the rows come back instead.
TableChecksum PostgresTarget::targetChecksum(const std::string& table, const std::vector<MappedColumn>& columns) {
  if (hashesOnServer(columns)) {
    // One process: the verification runs beside the index builds, which
    // take longer and have the better use for the server's parallel workers.
    execute("SET max_parallel_workers_per_gather = 0");
    Result r(PQexec(conn_, serverRowHashQuery(tableName(table), columns).c_str()));
    execute("RESET max_parallel_workers_per_gather");
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK || PQntuples(r.get()) != 1)
      throw EngineError("Could not read table '" + table + "' back: " + serverMessage(conn_));
    uint64_t rows = std::strtoull(PQgetvalue(r.get(), 0, 0), nullptr, 10);
    int64_t high = std::strtoll(PQgetvalue(r.get(), 0, 1), nullptr, 10);
    int64_t low = std::strtoll(PQgetvalue(r.get(), 0, 2), nullptr, 10);
    return TableChecksum::fromSum(rows, serverRowHashSum(rows, high, low));
  }
  // The table itself rather than a query over it: the rows come straight
  // from its scan, without a query's projection step.
  std::string sql = "COPY " + tableName(table) + " (";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i) sql += ", ";
    sql += quoteIdentifier(columns[i].name);
  }
  sql += ") TO STDOUT (FORMAT binary)";
  {
    Result r(PQexec(conn_, sql.c_str()));
    if (PQresultStatus(r.get()) != PGRES_COPY_OUT)
      throw EngineError("Could not read table '" + table + "' back: " + serverMessage(conn_));
  }
  TableChecksum checksum;
  BinaryCopyReader reader([&](const char* data, size_t size) { checksum.addRow(data, size); });
  std::string failure;
  for (;;) {
    char* chunk = nullptr;
    int n = PQgetCopyData(conn_, &chunk, 0);
    if (n == -1) break;
    if (n < 0) {
      failure = serverMessage(conn_);
      break;
    }
    try {
      reader.feed(chunk, size_t(n));
    } catch (const EngineError& e) {
      if (failure.empty()) failure = e.what();
    }
    PQfreemem(chunk);
  }
  while (PGresult* r = PQgetResult(conn_)) {
    if (PQresultStatus(r) != PGRES_COMMAND_OK && failure.empty()) failure = PQresultErrorMessage(r);
    PQclear(r);
  }
  if (failure.empty() && !reader.finished()) failure = "the rows ended early";
  while (!failure.empty() && failure.back() == '\n') failure.pop_back();
  if (!failure.empty()) throw EngineError("Could not read table '" + table + "' back: " + failure);
  return checksum;
}

}  // namespace kevra
