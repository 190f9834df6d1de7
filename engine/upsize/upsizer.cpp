// The upsize itself: plan every table, then create, fill, key and verify.
#include "engine/upsize/upsizer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>

#include "engine/table/database.h"
#include "engine/table/schema_view.h"
#include "engine/table/table_cursor.h"
#include "engine/upsize/parallel_steps.h"
#include "engine/upsize/postgres_target.h"
#include "engine/upsize/query_translation.h"
#include "engine/upsize/sqlite_target.h"
#include "engine/upsize/table_checksum.h"

namespace kevra {
namespace {

constexpr uint64_t kProgressEvery = 10000;
// Further connections for index builds and read-back checksums.
constexpr int kParallelConnections = 2;
// Groups of those steps: index builds go first, and the foreign keys wait
// for them only.
constexpr int kIndexBuilds = 1;
constexpr int kReadBacks = 2;

struct TablePlan {
  TableSchema schema;
  std::vector<MappedColumn> columns;
  std::string soleIdentityKey;  // SQLite: the autonumber that is the whole primary key
};

std::string lowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// A generated name the target keeps whole: cut to fit with a hash of the whole.
std::string fitName(const std::string& name, size_t maxBytes) {
  if (name.size() <= maxBytes) return name;
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
  char tail[12];
  std::snprintf(tail, sizeof tail, "_%08x", unsigned(h ^ (h >> 32)));
  size_t keep = maxBytes - 9;
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;  // whole UTF-8 characters
  return name.substr(0, keep) + tail;
}

const MappedColumn* findColumn(const TablePlan& plan, const std::string& name) {
  for (const auto& c : plan.columns)
    if (lowerAscii(c.name) == lowerAscii(name)) return &c;
  return nullptr;
}

std::string columnList(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) out += ", ";
    out += quoteIdentifier(names[i]);
  }
  return out;
}

std::string foreignKeyClause(const Relationship& r, const UpsizeTarget& target, bool inlineSqlite) {
  std::vector<std::string> from, to;
  for (const auto& c : r.columns) {
    from.push_back(c.column);
    to.push_back(c.referencedColumn);
  }
  std::string sql = "FOREIGN KEY (" + columnList(from) + ") REFERENCES " +
                    (inlineSqlite ? quoteIdentifier(r.referencedTable) : target.tableName(r.referencedTable)) + " (" +
                    columnList(to) + ")";
  sql += r.cascadeUpdates() ? " ON UPDATE CASCADE" : " ON UPDATE NO ACTION";
  sql += r.cascadeDeletes() ? " ON DELETE CASCADE" : r.cascadeNull() ? " ON DELETE SET NULL" : " ON DELETE NO ACTION";
  return sql;
}

class Upsizer {
  using Clock = std::chrono::steady_clock;

 public:
  Upsizer(const Database& db, UpsizeTarget& target, const UpsizeOptions& options)
      : db_(db), target_(target), options_(options), pg_(target.dialect() == TargetDialect::PostgreSQL) {}

  UpsizeReport run() {
    report_.target = target_.description();
    try {
      plan();
    } catch (...) {
      target_.discardNewTarget();  // a refused upsize leaves no empty file behind
      throw;
    }
    try {
      if (options_.atomic) target_.begin();
      auto clock = Clock::now();
      auto lap = [&](const char* phase) {
        auto now = Clock::now();
        report_.phases.emplace_back(phase, std::chrono::duration<double>(now - clock).count());
        clock = now;
      };
      createTables();
      openParallelSteps();
      report_.tables.resize(plans_.size());
      for (size_t t : copyOrder()) {
        copyRows(t);
        if (parallel_) scheduleKeysAndChecksum(t);
      }
      lap("tables and rows");
      if (parallel_) {
        finishKeys();
        createViews();
        lap("keys, indexes, foreign keys, views, with the verification alongside");
        for (size_t t = 0; t < plans_.size(); ++t) recordTargetChecksum(t, targetChecksums_[t]);
        parallel_.reset();
      } else {
        addKeysAndIndexes();
        createViews();
        lap("keys, indexes, foreign keys, views");
        verify();
        lap("verification");
      }
      if (options_.atomic) {
        if (!report_.verified()) throw EngineError("Verification found differences; nothing was kept.\n" + report_.text());
        target_.commit();
      }
    } catch (...) {
      undo();
      throw;
    }
    return std::move(report_);
  }

 private:
  void plan() {
    std::vector<std::string> names = options_.tables.empty() ? db_.userTableNames() : options_.tables;
    std::set<std::string> seen;
    for (const auto& name : names) {
      TablePlan p;
      p.schema = describeTable(db_, name);  // throws for a table that is not there
      if (!seen.insert(lowerAscii(p.schema.name)).second) continue;
      checkName(p.schema.name, "Table '" + p.schema.name + "'");
      std::string soleKey;
      for (const auto& ix : p.schema.indexes)
        if (ix.primary && ix.columns.size() == 1) soleKey = ix.columns[0].name;
      for (const auto& c : p.schema.columns) {
        checkName(c.name, "Column '" + c.name + "' of table '" + p.schema.name + "'");
        bool sole = !pg_ && c.def->isLongAutoNumber() && lowerAscii(c.name) == lowerAscii(soleKey);
        MappedColumn m = mapColumn(c, p.schema.name, target_.dialect(), sole);
        if (sole) p.soleIdentityKey = c.name;
        for (const auto& n : m.notes) report_.notes.push_back("Table '" + p.schema.name + "', column '" + c.name + "': " + n);
        p.columns.push_back(std::move(m));
      }
      plans_.push_back(std::move(p));
    }
    for (const auto& p : plans_)
      if (target_.tableExists(p.schema.name) && !options_.replace)
        throw EngineError("Table '" + p.schema.name + "' already exists in the target (" + target_.description() +
                          "); nothing was changed. Use --replace to replace it.");
    for (const auto& r : db_.relationships()) {
      bool both = included(r.table) && included(r.referencedTable);
      if (!both) {
        if (included(r.table) || included(r.referencedTable))
          report_.notes.push_back("Relationship '" + r.name + "' left out: it joins a table that is not upsized.");
        continue;
      }
      if (!r.enforced()) {
        report_.notes.push_back("Relationship '" + r.name + "' left out: the file does not enforce it.");
        continue;
      }
      relationships_.push_back(r);
    }
    for (auto& q : translateSavedQueries(db_, target_.dialect())) {
      std::string missing;
      for (const auto& source : q.sources)
        if (!included(source) && !isQuery(source)) missing = source;
      if (!q.selectSql) {
        report_.notes.push_back("Query '" + q.name + "' not carried over: " + q.reason + ".");
      } else if (!missing.empty()) {
        report_.notes.push_back("Query '" + q.name + "' not carried over: it reads '" + missing + "', which is not upsized.");
      } else if (q.name.size() > target_.maxNameBytes()) {
        report_.notes.push_back("Query '" + q.name + "' not carried over: its name is longer than the target keeps.");
      } else {
        if (target_.tableExists(q.name) && !options_.replace)
          throw EngineError("A table or view '" + q.name + "' already exists in the target (" + target_.description() +
                            "); nothing was changed. Use --replace to replace it.");
        views_.push_back(std::move(q));
      }
    }
  }

  bool isQuery(const std::string& name) const {
    const CatalogObject* o = db_.findObject(name);
    return o && o->isQuery();
  }

  void createViews() {
    if (views_.empty()) return;
    beginStep();
    for (const auto& v : views_)
      if (options_.replace && target_.tableExists(v.name))
        target_.execute("DROP VIEW IF EXISTS " + target_.tableName(v.name));
    // A view may read another: repeat until a round makes no new one.
    std::vector<const TranslatedQuery*> pending;
    for (const auto& v : views_) pending.push_back(&v);
    std::vector<std::string> errors(views_.size());
    bool progressed = true;
    while (progressed && !pending.empty()) {
      progressed = false;
      for (size_t i = 0; i < pending.size();) {
        const TranslatedQuery& v = *pending[i];
        target_.execute("SAVEPOINT upsize_view");
        try {
          target_.execute("CREATE VIEW " + target_.tableName(v.name) + " AS " + *v.selectSql);
          target_.execute("RELEASE SAVEPOINT upsize_view");
          createdViews_.push_back(v.name);
          report_.created.push_back("view " + v.name + " AS " + *v.selectSql);
          pending.erase(pending.begin() + long(i));
          progressed = true;
        } catch (const EngineError& e) {
          target_.execute("ROLLBACK TO SAVEPOINT upsize_view");
          target_.execute("RELEASE SAVEPOINT upsize_view");
          errors[size_t(&v - views_.data())] = e.what();
          ++i;
        }
      }
    }
    for (const auto* v : pending)
      report_.notes.push_back("Query '" + v->name + "' not carried over: the target refused its view (" +
                              errors[size_t(v - views_.data())] + ").");
    endStep();
  }

  void checkName(const std::string& name, const std::string& what) {
    if (name.size() > target_.maxNameBytes())
      throw EngineError(what + " has a name longer than the target keeps (" + std::to_string(target_.maxNameBytes()) +
                        " bytes); nothing was changed.");
  }

  bool included(const std::string& table) const {
    for (const auto& p : plans_)
      if (lowerAscii(p.schema.name) == lowerAscii(table)) return true;
    return false;
  }

  const TablePlan* planOf(const std::string& table) const {
    for (const auto& p : plans_)
      if (lowerAscii(p.schema.name) == lowerAscii(table)) return &p;
    return nullptr;
  }

  void beginStep() {
    if (!options_.atomic) target_.begin();
  }
  void endStep() {
    if (!options_.atomic) target_.commit();
  }

  void createTables() {
    beginStep();
    if (auto* server = dynamic_cast<PostgresTarget*>(&target_))
      target_.execute("CREATE SCHEMA IF NOT EXISTS " + quoteIdentifier(server->schema()));
    for (const auto& p : plans_) {
      if (options_.replace && target_.tableExists(p.schema.name)) {
        target_.execute("DROP TABLE " + target_.tableName(p.schema.name) + (pg_ ? " CASCADE" : ""));
        report_.notes.push_back("Table '" + p.schema.name + "' replaced.");
      }
      std::string sql = "CREATE TABLE " + target_.tableName(p.schema.name) + " (";
      for (size_t i = 0; i < p.columns.size(); ++i) {
        if (i) sql += ", ";
        sql += quoteIdentifier(p.columns[i].name) + " " + p.columns[i].typeSql;
        if (!p.soleIdentityKey.empty() && p.columns[i].name == p.soleIdentityKey) sql += " PRIMARY KEY AUTOINCREMENT";
      }
      if (!pg_) {
        // SQLite cannot add keys to a table later: they are part of its definition.
        for (const auto& ix : p.schema.indexes)
          if (ix.primary && p.soleIdentityKey.empty()) sql += ", PRIMARY KEY (" + indexColumns(ix, false) + ")";
        for (const auto& r : relationships_)
          if (lowerAscii(r.table) == lowerAscii(p.schema.name)) {
            sql += ", CONSTRAINT " + quoteIdentifier(r.name) + " " + foreignKeyClause(r, target_, true);
            report_.created.push_back("foreign key " + r.name);
          }
      }
      sql += ")";
      target_.execute(sql);
      createdTables_.push_back(p.schema.name);
      report_.created.push_back("table " + p.schema.name);
      if (pg_) {
        for (const auto& c : p.columns)
          if (!c.comment.empty())
            target_.execute("COMMENT ON COLUMN " + target_.tableName(p.schema.name) + "." + quoteIdentifier(c.name) +
                            " IS " + quoteLiteral(c.comment));
        const auto& props = db_.tableProperties(p.schema.name);
        if (const auto* d = props.table.find("Description"))
          if (auto text = std::get_if<std::string>(&d->value); text && !text->empty())
            target_.execute("COMMENT ON TABLE " + target_.tableName(p.schema.name) + " IS " + quoteLiteral(*text));
      }
    }
    endStep();
  }

  // Biggest tables first: a table's index builds and read-back can start
  // only once its rows are in, and the biggest table's take longest, so
  // they start as early as they can and the smaller tables load beside
  // them. Ties keep the file's order.
  std::vector<size_t> copyOrder() const {
    std::vector<std::pair<uint64_t, size_t>> sized;
    for (size_t t = 0; t < plans_.size(); ++t)
      sized.emplace_back(db_.table(plans_[t].schema.name)->rowCount, t);
    std::stable_sort(sized.begin(), sized.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<size_t> order;
    for (const auto& [rows, t] : sized) order.push_back(t);
    return order;
  }

  void copyRows(size_t t) {
    const TablePlan& p = plans_[t];
    beginStep();
    UpsizedTable result;
    result.name = p.schema.name;
    auto def = db_.table(p.schema.name);
    auto cursor = db_.openCursor(def);
    auto stream = target_.insertInto(p.schema.name, p.columns);
    TableChecksum checksum;
    uint64_t rows = 0;  // counted here, not by the stream: a row it loses shows
    std::vector<Value> row;
    std::vector<int64_t> identityMax(p.columns.size(), 0);
    if (options_.progress && !options_.progress(p.schema.name, 0)) throw UpsizeCancelled();
    while (cursor->next(row)) {
      for (size_t i = 0; i < p.columns.size(); ++i) {
        if (isNull(row[i])) continue;
        try {
          checkValue(row[i]);
        } catch (const EngineError& e) {
          throw EngineError("Table '" + p.schema.name + "', column '" + p.columns[i].name + "', row " +
                            std::to_string(rows + 1) + ": " + e.what() + " Nothing was changed.");
        }
        if (p.columns[i].identity)
          if (auto n = std::get_if<int32_t>(&row[i])) identityMax[i] = std::max<int64_t>(identityMax[i], *n);
      }
      stream->row(row, checksum);
      ++rows;
      if (rows % kProgressEvery == 0 && options_.progress && !options_.progress(p.schema.name, rows))
        throw UpsizeCancelled();
    }
    stream->finish();
    stream.reset();
    if (options_.progress && !options_.progress(p.schema.name, rows)) throw UpsizeCancelled();
    for (size_t i = 0; i < p.columns.size(); ++i)
      if (p.columns[i].identity && pg_)
        target_.execute("ALTER TABLE " + target_.tableName(p.schema.name) + " ALTER COLUMN " +
                        quoteIdentifier(p.columns[i].name) + " RESTART WITH " + std::to_string(identityMax[i] + 1));
    endStep();
    result.sourceRows = rows;
    result.sourceChecksum = checksum.hex();
    report_.tables[t] = result;
  }

  // The index's columns, text ones folded to lower case when `folded`.
  std::string indexColumns(const IndexInfo& ix, bool folded, const TablePlan* plan = nullptr, bool withOrder = false) {
    std::string out;
    for (size_t i = 0; i < ix.columns.size(); ++i) {
      if (i) out += ", ";
      const MappedColumn* c = plan ? findColumn(*plan, ix.columns[i].name) : nullptr;
      if (folded && c && c->caseInsensitiveText)
        out += "lower(" + quoteIdentifier(ix.columns[i].name) + ")";
      else
        out += quoteIdentifier(ix.columns[i].name);
      if (withOrder && ix.columns[i].descending) out += " DESC";
    }
    return out;
  }

  // Whether a relationship refers to exactly these columns of the table.
  bool referenced(const std::string& table, const IndexInfo& ix) const {
    for (const auto& r : relationships_) {
      if (lowerAscii(r.referencedTable) != lowerAscii(table) || r.columns.size() != ix.columns.size()) continue;
      std::set<std::string> want, have;
      for (const auto& c : r.columns) want.insert(lowerAscii(c.referencedColumn));
      for (const auto& c : ix.columns) have.insert(lowerAscii(c.name));
      if (want == have) return true;
    }
    return false;
  }

  struct IndexBuild {
    std::string sql;
    // Over columns of fixed width only (numbers, dates, Yes/No, GUIDs): the
    // keys sort quickly and reading the table is most of the build.
    bool fixedWidth = false;
  };

  // A table's keys and indexes: the index builds, which may run in any order
  // or side by side, and what must follow them (the primary key taking over
  // its unique index). Fills the report's list of what was created.
  struct KeySteps {
    std::vector<IndexBuild> indexes;
    std::vector<std::string> constraints;
  };

  KeySteps keySteps(const TablePlan& p) {
    KeySteps steps;
    size_t maxName = target_.maxNameBytes();
    const std::string table = target_.tableName(p.schema.name);
    // Indexes over the same columns as the key or a unique index add nothing.
    std::set<std::string> made;
    for (const auto& ix : p.schema.indexes)
      if (ix.primary || ix.unique) made.insert("i:" + indexColumns(ix, false, &p, true));
    for (const auto& ix : p.schema.indexes) {
      if (ix.columns.empty()) continue;
      bool anyText = false, fixedWidth = true;
      for (const auto& c : ix.columns) {
        const MappedColumn* m = findColumn(p, c.name);
        if (m && m->caseInsensitiveText) anyText = true;
        if (!m || m->kind == ValueKind::Text || m->kind == ValueKind::Bytes) fixedWidth = false;
      }
      std::string name = fitName(p.schema.name + "_" + ix.name, maxName);
      if (ix.primary) {
        if (pg_) {
          // Built as a unique index first so that it can be built beside the others.
          steps.indexes.push_back({"CREATE UNIQUE INDEX " + quoteIdentifier(name) + " ON " + table + " (" +
                                       indexColumns(ix, false) + ")",
                                   fixedWidth});
          steps.constraints.push_back("ALTER TABLE " + table + " ADD CONSTRAINT " + quoteIdentifier(name) +
                                      " PRIMARY KEY USING INDEX " + quoteIdentifier(name));
          report_.created.push_back("primary key " + p.schema.name + " (" + indexColumns(ix, false) + ")");
          // Jet keys compare text without case. The key stays on the columns
          // (foreign keys need that) and a unique index on lower() refuses 'ABC'
          // beside 'abc'. A nondeterministic collation would do the same but
          // make PostgreSQL refuse LIKE on the column.
          if (anyText) {
            std::string ciName = fitName(p.schema.name + "_" + ix.name + "_nocase", maxName);
            steps.indexes.push_back({"CREATE UNIQUE INDEX " + quoteIdentifier(ciName) + " ON " + table + " (" +
                                     indexColumns(ix, true, &p, true) + ")"});
            report_.created.push_back("unique index " + ciName + " (text compared without case)");
          }
        } else {
          report_.created.push_back("primary key " + p.schema.name + " (" + indexColumns(ix, false) + ")");
        }
        continue;
      }
      std::string key = (ix.unique ? "u:" : "i:") + indexColumns(ix, ix.unique, &p, true);
      if (!made.insert(key).second) continue;  // a relationship's index over the same columns
      steps.indexes.push_back({std::string(ix.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                                   quoteIdentifier(name) + " ON " + table + " (" +
                                   indexColumns(ix, pg_ && ix.unique, &p, true) + ")",
                               fixedWidth});
      if (pg_ && ix.unique && anyText && referenced(p.schema.name, ix)) {
        // A foreign key needs a unique index over the columns themselves.
        std::string exact = fitName(p.schema.name + "_" + ix.name + "_exact", maxName);
        steps.indexes.push_back({"CREATE UNIQUE INDEX " + quoteIdentifier(exact) + " ON " + table + " (" +
                                 indexColumns(ix, false) + ")"});
        report_.created.push_back("unique index " + exact + " (for the foreign keys that refer to it)");
      }
      report_.created.push_back(std::string(ix.unique ? "unique index " : "index ") + name +
                                (pg_ && ix.unique && anyText ? " (text compared without case)" : ""));
    }
    return steps;
  }

  // After every table's keys: the relationships.
  void addForeignKeys() {
    if (pg_) {
      for (const auto& r : relationships_) {
        target_.execute("ALTER TABLE " + target_.tableName(planOf(r.table)->schema.name) + " ADD CONSTRAINT " +
                        quoteIdentifier(fitName(r.name, target_.maxNameBytes())) + " " +
                        foreignKeyClause(r, target_, false));
        report_.created.push_back("foreign key " + r.name + " (" + r.table + " -> " + r.referencedTable +
                                  (r.cascadeUpdates() ? ", cascading updates" : "") +
                                  (r.cascadeDeletes() ? ", cascading deletes" : "") + ")");
      }
    } else if (!relationships_.empty()) {
      uint64_t violations = target_.count("SELECT count(*) FROM pragma_foreign_key_check");
      if (violations)
        throw EngineError("The copied rows break " + std::to_string(violations) +
                          " foreign key reference(s) in the target; nothing was kept.");
    }
  }

  // Everything on this connection, one table after the other.
  void addKeysAndIndexes() {
    beginStep();
    for (const auto& p : plans_) {
      KeySteps steps = keySteps(p);
      for (const auto& build : steps.indexes) target_.execute(build.sql);
      for (const auto& sql : steps.constraints) target_.execute(sql);
    }
    addForeignKeys();
    endStep();
  }

  // Side by side: once table t's rows are committed, its index builds and
  // its read-back checksum go to the other connections while this one
  // copies the next table. Its primary key waits for finishKeys().
  void scheduleKeysAndChecksum(size_t t) {
    KeySteps steps = keySteps(plans_[t]);
    for (auto& build : steps.indexes) parallel_->add([build](UpsizeTarget& c) { buildIndex(c, build); }, kIndexBuilds);
    for (auto& sql : steps.constraints) pendingConstraints_.push_back(std::move(sql));
    parallel_->add(
        [this, t](UpsizeTarget& c) {
          targetChecksums_[t] = c.targetChecksum(plans_[t].schema.name, plans_[t].columns);
        },
        kReadBacks);
  }

  // Beside other builds, an index over fixed-width columns is built by its
  // connection alone: the server's parallel workers would save it little and
  // take the cores from the text index builds beside it, whose keys sort
  // slowly (by collation) and which take longest.
  static void buildIndex(UpsizeTarget& connection, const IndexBuild& build) {
    if (!build.fixedWidth) return connection.execute(build.sql);
    connection.execute("SET max_parallel_maintenance_workers = 0");
    connection.execute(build.sql);
    connection.execute("RESET max_parallel_maintenance_workers");
  }

  // The foreign keys go in as soon as the indexes are built: a unique index
  // is all that a foreign key needs on the columns it refers to, and adding
  // one does not wait for the read-backs still running (they only read).
  // The primary keys then take over their unique indexes, which does wait
  // for them.
  void finishKeys() {
    parallel_->runHere(target_, kIndexBuilds);  // this connection is free now: it builds too
    parallel_->wait(kIndexBuilds);
    beginStep();
    addForeignKeys();
    endStep();
    parallel_->wait();
    beginStep();
    for (const auto& sql : pendingConstraints_) target_.execute(sql);
    endStep();
  }

  // Connections for steps alongside, when the target has them and the
  // upsize is not one transaction (other connections see only committed
  // tables). Without them everything runs here, one step after the other.
  void openParallelSteps() {
    if (options_.atomic) return;
    std::vector<std::unique_ptr<UpsizeTarget>> connections;
    try {
      for (int i = 0; i < kParallelConnections; ++i) {
        auto c = target_.openAnother();
        if (!c) break;
        connections.push_back(std::move(c));
      }
    } catch (const EngineError&) {
      // a server that takes no more connections: the steps run here
    }
    if (connections.empty()) return;
    targetChecksums_.assign(plans_.size(), TableChecksum());
    parallel_ = std::make_unique<ParallelSteps>(std::move(connections));
  }

  void verify() {
    for (size_t t = 0; t < plans_.size(); ++t)
      recordTargetChecksum(t, target_.targetChecksum(plans_[t].schema.name, plans_[t].columns));
  }

  void recordTargetChecksum(size_t t, const TableChecksum& checksum) {
    report_.tables[t].targetRows = checksum.rows();
    report_.tables[t].targetChecksum = checksum.hex();
  }

  void undo() {
    if (parallel_) parallel_->abandon();  // their locks would hold up the drops
    parallel_.reset();
    target_.rollback();
    if (options_.atomic) {
      target_.discardNewTarget();
      return;
    }
    try {
      target_.begin();
      for (auto it = createdViews_.rbegin(); it != createdViews_.rend(); ++it)
        target_.execute("DROP VIEW IF EXISTS " + target_.tableName(*it));
      for (auto it = createdTables_.rbegin(); it != createdTables_.rend(); ++it)
        target_.execute("DROP TABLE IF EXISTS " + target_.tableName(*it) + (pg_ ? " CASCADE" : ""));
      target_.commit();
    } catch (const EngineError&) {
      target_.rollback();
    }
    target_.discardNewTarget();
  }

  const Database& db_;
  UpsizeTarget& target_;
  const UpsizeOptions& options_;
  bool pg_;
  std::vector<TablePlan> plans_;
  std::vector<Relationship> relationships_;
  std::vector<TranslatedQuery> views_;
  std::vector<std::string> createdTables_;
  std::vector<std::string> createdViews_;
  std::unique_ptr<ParallelSteps> parallel_;
  std::vector<TableChecksum> targetChecksums_;  // written by the parallel steps
  std::vector<std::string> pendingConstraints_;
  UpsizeReport report_;
};

}  // namespace

bool UpsizeReport::verified() const {
  for (const auto& t : tables)
    if (!t.verified()) return false;
  return true;
}

std::string UpsizeReport::text() const {
  std::string out = "Upsized into " + target + "\n\nTables (rows and checksum, source / target):\n";
  for (const auto& t : tables) {
    char line[512];
    std::snprintf(line, sizeof line, "  %-32s %12llu / %-12llu %s / %s  %s\n", t.name.c_str(),
                  static_cast<unsigned long long>(t.sourceRows), static_cast<unsigned long long>(t.targetRows),
                  t.sourceChecksum.c_str(), t.targetChecksum.c_str(), t.verified() ? "ok" : "DIFFERENT");
    out += line;
  }
  out += "\nCreated:\n";
  for (const auto& c : created) out += "  " + c + "\n";
  out += "\nNotes:\n";
  if (notes.empty()) out += "  none\n";
  for (const auto& n : notes) out += "  " + n + "\n";
  if (!phases.empty()) {
    out += "\nSeconds:";
    for (const auto& [phase, seconds] : phases) {
      char part[96];
      std::snprintf(part, sizeof part, " %s %.2f;", phase.c_str(), seconds);
      out += part;
    }
    out.back() = '\n';
  }
  out += verified() ? "\nVerification: every table matches.\n" : "\nVerification: DIFFERENCES FOUND.\n";
  return out;
}

UpsizeReport upsizeDatabase(Database& db, UpsizeTarget& target, const UpsizeOptions& options) {
  // Without this, a change committed by another program halfway through
  // would leave some tables copied before it and some after, and the
  // checksums (taken from the rows as read) would not show it.
  Database::ReadScope reading(db);
  return Upsizer(db, target, options).run();
}

std::unique_ptr<UpsizeTarget> openUpsizeTarget(const std::string& target, const std::string& schema) {
  if (target.rfind("sqlite:", 0) == 0) {
    if (target.size() == 7) throw EngineError("The target 'sqlite:' names no file.");
    return std::make_unique<SqliteTarget>(target.substr(7));
  }
  return std::make_unique<PostgresTarget>(target, schema);
}

}  // namespace kevra
