// Export throughput: every row of a table of bench/medium.mdb through the
// engine's cursor and the CSV / JSON Lines writers that kevra-cli uses,
// written to /dev/null. Reports rows per second. scripts/bench-export.sh
// compares the CLI with mdb-export on the same table. The same 512 rows in
// an Access 97 file and in its Jet 4 sibling compare the two row layouts.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/isam/text_export.h"

namespace {

const std::string kBenchFile = std::string(KEVRA_SHARED_DIR) + "/samples/bench/medium.mdb";

enum class Format { Csv, JsonLines };

void exportTable(benchmark::State& state, const char* tableName, Format format, const std::string& file = kBenchFile) {
  auto db = kevra::Database::open(file);
  auto table = db->table(tableName);
  std::vector<std::string> names;
  for (const auto& c : table->columns) names.push_back(c.name);
  std::FILE* devNull = std::fopen("/dev/null", "wb");
  if (!devNull) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  int64_t rows = 0;
  for (auto _ : state) {
    kevra::TextSink sink(devNull);
    auto writer = format == Format::Csv ? kevra::makeCsvWriter(sink) : kevra::makeJsonLinesWriter(sink);
    writer->begin(names);
    auto cursor = db->openCursor(table);
    std::vector<kevra::Value> row;
    int64_t n = 0;
    while (cursor->next(row)) {
      writer->row(row);
      ++n;
    }
    sink.flush();
    rows += n;
    state.counters["rows"] = double(n);
  }
  std::fclose(devNull);
  state.SetItemsProcessed(rows);
}

void BM_ExportCustomersCsv(benchmark::State& s) { exportTable(s, "Customers", Format::Csv); }
void BM_ExportCustomersJsonLines(benchmark::State& s) { exportTable(s, "Customers", Format::JsonLines); }
void BM_ExportOrdersCsv(benchmark::State& s) { exportTable(s, "Orders", Format::Csv); }
void BM_ExportOrdersJsonLines(benchmark::State& s) { exportTable(s, "Orders", Format::JsonLines); }

void BM_ExportJet3Csv(benchmark::State& s) {
  exportTable(s, "Table1", Format::Csv, std::string(KEVRA_SHARED_DIR) + "/samples/formats/v1997-compindextestv1997.mdb");
}
void BM_ExportJet4SiblingCsv(benchmark::State& s) {
  exportTable(s, "Table1", Format::Csv, std::string(KEVRA_SHARED_DIR) + "/samples/compindextestv2000.mdb");
}

// Opening the file and reading the catalog and one definition: the fixed cost of every export.
void BM_OpenAndReadDefinition(benchmark::State& state) {
  for (auto _ : state) {
    auto db = kevra::Database::open(kBenchFile);
    benchmark::DoNotOptimize(db->table("Customers"));
  }
}

BENCHMARK(BM_ExportCustomersCsv)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportCustomersJsonLines)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportOrdersCsv)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportOrdersJsonLines)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportJet3Csv)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExportJet4SiblingCsv)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenAndReadDefinition)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
