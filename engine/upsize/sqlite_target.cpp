// SQLite through its C library: prepared INSERTs with bound values inside
// the caller's transaction; rows read back with a plain SELECT.
#include "engine/upsize/sqlite_target.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "engine/format/value_text.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql, const std::string& what) {
    if (sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &s_, nullptr) != SQLITE_OK)
      throw EngineError(what + ": " + sqlite3_errmsg(db));
  }
  ~Statement() { sqlite3_finalize(s_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() const { return s_; }

 private:
  sqlite3_stmt* s_ = nullptr;
};

int hexDigit(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }

class SqliteInserter : public RowStream {
 public:
  SqliteInserter(sqlite3* db, const std::string& sql, std::string table, std::vector<ValueKind> kinds)
      : db_(db), statement_(db, sql, "SQLite refused to insert into table '" + table + "'"),
        table_(std::move(table)), kinds_(std::move(kinds)), texts_(kinds_.size()) {}
  // A row checksums as the canonical texts of its fields, which the
  // read-back brings each stored value to.
  void row(const std::vector<Value>& values, TableChecksum& checksum) override {
    sqlite3_stmt* s = statement_.get();
    sqlite3_reset(s);
    checksum.beginRow();
    for (size_t i = 0; i < values.size(); ++i) {
      int at = int(i) + 1;
      if (isNull(values[i])) {
        checksum.addField(std::nullopt);
        sqlite3_bind_null(s, at);
        continue;
      }
      texts_[i] = canonicalText(values[i], kinds_[i]);
      const std::string* f = &texts_[i];
      checksum.addText(*f);
      switch (kinds_[i]) {
        case ValueKind::Boolean:
        case ValueKind::Integer:
          sqlite3_bind_int64(s, at, std::strtoll(f->c_str(), nullptr, 10));
          break;
        case ValueKind::Single:
        case ValueKind::Double:
          // SQLite turns a NaN REAL into NULL; it is kept as the text 'NaN' instead.
          if (*f == "NaN")
            sqlite3_bind_text(s, at, "NaN", 3, SQLITE_STATIC);
          else if (kinds_[i] == ValueKind::Single)
            sqlite3_bind_double(s, at, double(std::strtof(f->c_str(), nullptr)));
          else
            sqlite3_bind_double(s, at, std::strtod(f->c_str(), nullptr));
          break;
        case ValueKind::Bytes: {
          blob_.clear();
          for (size_t k = 0; k + 1 < f->size(); k += 2)
            blob_.push_back(uint8_t(hexDigit((*f)[k]) << 4 | hexDigit((*f)[k + 1])));
          sqlite3_bind_blob64(s, at, blob_.data(), blob_.size(), SQLITE_TRANSIENT);
          break;
        }
        default:
          sqlite3_bind_text64(s, at, f->data(), f->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      }
    }
    checksum.endRow();
    if (sqlite3_step(s) != SQLITE_DONE)
      throw EngineError("Inserting into table '" + table_ + "' failed: " + sqlite3_errmsg(db_));
  }
  void finish() override {}

 private:
  sqlite3* db_;
  Statement statement_;
  std::string table_;
  std::vector<ValueKind> kinds_;
  std::vector<std::string> texts_;  // bound with SQLITE_TRANSIENT, so reused row to row
  Binary blob_;
};

}  // namespace

SqliteTarget::SqliteTarget(std::string path) : path_(std::move(path)) {
  struct stat st;
  created_ = ::stat(path_.c_str(), &st) != 0;
  if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw EngineError("Could not open the SQLite file '" + path_ + "': " + message + ".");
  }
  try {
    execute("SELECT count(*) FROM sqlite_master");  // fails at once on a file that is not SQLite
  } catch (const EngineError&) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw EngineError("'" + path_ + "' is not a SQLite database.");
  }
}

SqliteTarget::~SqliteTarget() { sqlite3_close(db_); }

std::string SqliteTarget::description() const { return std::string("SQLite ") + sqlite3_libversion() + " file '" + path_ + "'"; }

bool SqliteTarget::tableExists(const std::string& name) {
  Statement s(db_, "SELECT 1 FROM sqlite_master WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE",
              "Could not look up table '" + name + "'");
  sqlite3_bind_text(s.get(), 1, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
  return sqlite3_step(s.get()) == SQLITE_ROW;
}

void SqliteTarget::execute(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw EngineError("SQLite refused " + sql.substr(0, 200) + ": " + message);
  }
}

uint64_t SqliteTarget::count(const std::string& sql) {
  Statement s(db_, sql, "SQLite refused " + sql);
  if (sqlite3_step(s.get()) != SQLITE_ROW) throw EngineError("SQLite refused " + sql + ": " + sqlite3_errmsg(db_));
  return uint64_t(sqlite3_column_int64(s.get(), 0));
}

void SqliteTarget::begin() { execute("BEGIN"); }
void SqliteTarget::commit() { execute("COMMIT"); }
void SqliteTarget::rollback() {
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::unique_ptr<RowStream> SqliteTarget::insertInto(const std::string& table, const std::vector<MappedColumn>& columns) {
  std::string sql = "INSERT INTO " + tableName(table) + " (";
  std::string values;
  std::vector<ValueKind> kinds;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i) {
      sql += ", ";
      values += ", ";
    }
    sql += quoteIdentifier(columns[i].name);
    values += "?" + std::to_string(i + 1);
    kinds.push_back(columns[i].kind);
  }
  sql += ") VALUES (" + values + ")";
  return std::make_unique<SqliteInserter>(db_, sql, table, std::move(kinds));
}

// Reads every row back; each field's own text is brought to the canonical
// form before it is hashed.
TableChecksum SqliteTarget::targetChecksum(const std::string& table, const std::vector<MappedColumn>& columns) {
  std::string sql = "SELECT ";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i) sql += ", ";
    sql += quoteIdentifier(columns[i].name);
  }
  sql += " FROM " + tableName(table);
  Statement s(db_, sql, "Could not read table '" + table + "' back");
  std::vector<std::optional<std::string>> fields(columns.size());
  TableChecksum checksum;
  static const char digits[] = "0123456789abcdef";
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
    for (size_t i = 0; i < columns.size(); ++i) {
      int at = int(i);
      switch (sqlite3_column_type(s.get(), at)) {
        case SQLITE_NULL: fields[i].reset(); break;
        case SQLITE_INTEGER: fields[i] = std::to_string(sqlite3_column_int64(s.get(), at)); break;
        case SQLITE_FLOAT: fields[i] = doubleToShortest(sqlite3_column_double(s.get(), at)); break;
        case SQLITE_BLOB: {
          const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(s.get(), at));
          int n = sqlite3_column_bytes(s.get(), at);
          std::string hex;
          hex.reserve(size_t(n) * 2);
          for (int k = 0; k < n; ++k) {
            hex.push_back(digits[p[k] >> 4]);
            hex.push_back(digits[p[k] & 15]);
          }
          fields[i] = std::move(hex);
          break;
        }
        default: {
          const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), at));
          fields[i] = std::string(p, size_t(sqlite3_column_bytes(s.get(), at)));
        }
      }
      if (fields[i]) fields[i] = normalizeTargetText(*fields[i], columns[i].kind);
    }
    checksum.beginRow();
    for (const auto& f : fields) checksum.addField(f);
    checksum.endRow();
  }
  if (rc != SQLITE_DONE) throw EngineError("Could not read table '" + table + "' back: " + sqlite3_errmsg(db_));
  return checksum;
}

void SqliteTarget::discardNewTarget() {
  if (!created_) return;
  sqlite3_close(db_);
  db_ = nullptr;
  std::remove(path_.c_str());
  std::remove((path_ + "-journal").c_str());
}


}  // namespace kevra
