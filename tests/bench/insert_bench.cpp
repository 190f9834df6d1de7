// Bulk insert into a copy of bench/medium.mdb's Customers (autonumber primary
// key, an index on the text column name, a memo): generated rows through the
// engine API in batches of one transaction each, and through SQL INSERT
// statements. SQLite inserting the same rows into a table with the same two
// indexes, in the same run, is the peer the figures are compared with.
// Counters: rows/s, and resident memory after each quarter of the rows so a
// reader can see it stays flat.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "engine/table/database.h"
#include "engine/sql/statement_runner.h"
#include "engine/table/table_writer.h"

namespace {

constexpr int kBatch = 250000;

long residentKb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct GeneratedRow {
  std::string name, notes, uname;
  int32_t qty;
  double score;
  int64_t balance;
  double created;
  bool active;
  uint8_t rating;
};

class RowGenerator {
 public:
  GeneratedRow next() {
    static const char* words[] = {"alpha", "Bravo", "charlie", "Delta", "écho", "Ωμέγα", "Мир", "kilo", "lima", "Zulu"};
    GeneratedRow r;
    r.name = std::string(words[rng_() % 10]) + " " + words[rng_() % 10] + " " + std::to_string(rng_() % 1000000);
    r.notes = "Note " + std::to_string(counter_++);
    r.uname = words[rng_() % 10];
    r.qty = int32_t(rng_() % 2000000) - 1000000;
    r.score = double(rng_() % 100000000) / 97.0;
    r.balance = int64_t(rng_() % 1000000000);
    r.created = 30000.0 + double(rng_() % 20000) + 0.5;
    r.active = rng_() & 1;
    r.rating = uint8_t(rng_() % 256);
    return r;
  }

 private:
  std::mt19937_64 rng_{42};
  long counter_ = 0;
};

std::string scratchCopy() {
  std::string dir = std::filesystem::temp_directory_path() / ("kevra-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string path = dir + "/medium.mdb";
  std::filesystem::copy_file(std::string(KEVRA_SHARED_DIR) + "/samples/bench/medium.mdb", path,
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  return path;
}

void reportMemory(benchmark::State& state, const std::vector<long>& quarters) {
  for (size_t i = 0; i < quarters.size(); ++i)
    state.counters["rss_kb_q" + std::to_string(i + 1)] = double(quarters[i]);
}

void BM_EngineApiInsert(benchmark::State& state) {
  const long rows = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    std::string path = scratchCopy();
    auto db = kevra::Database::open(path, kevra::OpenOptions{false, ""});
    auto table = db->table("Customers");
    kevra::TableWriter writer(db);
    RowGenerator gen;
    std::vector<long> quarters;
    state.ResumeTiming();
    for (long done = 0; done < rows;) {
      writer.begin();
      for (int i = 0; i < kBatch && done < rows; ++i, ++done) {
        GeneratedRow g = gen.next();
        std::vector<std::optional<kevra::Value>> row(table->columns.size());
        row[1] = kevra::Value(g.name);
        row[2] = kevra::Value(g.qty);
        row[3] = kevra::Value(g.score);
        row[4] = kevra::Value(kevra::Currency{g.balance});
        row[5] = kevra::Value(kevra::DateTime{g.created});
        row[6] = kevra::Value(g.active);
        row[7] = kevra::Value(g.notes);
        row[8] = kevra::Value(g.uname);
        row[9] = kevra::Value(g.rating);
        writer.insertRow(*table, row);
        if ((done + 1) % (rows / 4) == 0) quarters.push_back(residentKb());
      }
      writer.commit();
    }
    state.PauseTiming();
    reportMemory(state, quarters);
    db.reset();
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
    state.ResumeTiming();
  }
  state.counters["rows_per_s"] = benchmark::Counter(double(rows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SqlInsert(benchmark::State& state) {
  const long rows = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    std::string path = scratchCopy();
    auto db = kevra::Database::open(path, kevra::OpenOptions{false, ""});
    kevra::TableWriter writer(db);
    RowGenerator gen;
    state.ResumeTiming();
    for (long done = 0; done < rows;) {
      writer.begin();  // statements nest inside one transaction per batch
      for (int i = 0; i < kBatch && done < rows; ++i, ++done) {
        GeneratedRow g = gen.next();
        std::string sql = "INSERT INTO Customers (name, qty, score, active, notes, u_name, rating) VALUES ('" + g.name +
                          "', " + std::to_string(g.qty) + ", " + std::to_string(g.score) + ", " +
                          (g.active ? "True" : "False") + ", '" + g.notes + "', '" + g.uname + "', " +
                          std::to_string(g.rating) + ")";
        kevra::runStatement(db, sql, &writer);
      }
      writer.commit();
    }
    state.PauseTiming();
    db.reset();
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
    state.ResumeTiming();
  }
  state.counters["rows_per_s"] = benchmark::Counter(double(rows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SqlitePeerInsert(benchmark::State& state) {
  const long rows = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    std::string path = std::filesystem::temp_directory_path() / ("kevra-bench-peer-" + std::to_string(::getpid()) + ".db");
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE Customers (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, qty INTEGER, score REAL, "
                 "balance INTEGER, created REAL, active INTEGER, notes TEXT, u_name TEXT, rating INTEGER);"
                 "CREATE INDEX name_idx ON Customers(name);",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Customers (name, qty, score, balance, created, active, notes, u_name, rating) "
                       "VALUES (?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
    RowGenerator gen;
    state.ResumeTiming();
    for (long done = 0; done < rows;) {
      sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
      for (int i = 0; i < kBatch && done < rows; ++i, ++done) {
        GeneratedRow g = gen.next();
        sqlite3_bind_text(insert, 1, g.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 2, g.qty);
        sqlite3_bind_double(insert, 3, g.score);
        sqlite3_bind_int64(insert, 4, g.balance);
        sqlite3_bind_double(insert, 5, g.created);
        sqlite3_bind_int(insert, 6, g.active);
        sqlite3_bind_text(insert, 7, g.notes.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 8, g.uname.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 9, g.rating);
        sqlite3_step(insert);
        sqlite3_reset(insert);
      }
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    state.PauseTiming();
    sqlite3_finalize(insert);
    sqlite3_close(db);
    std::filesystem::remove(path);
    state.ResumeTiming();
  }
  state.counters["rows_per_s"] = benchmark::Counter(double(rows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_EngineApiInsert)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SqlInsert)->Arg(200000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SqlitePeerInsert)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
