// The records model on the largest sample table (Customers, 100,000 rows):
// time until the first screen of rows can be painted, and peak memory after
// scrolling to the last row. Targets: first screen under 50 ms; the peak
// memory does not grow with the number of rows (the model keeps a bounded
// number of row blocks).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "browse/records_dataset.h"
#include "browse/records_model.h"
#include "ui/database_session.h"

namespace {

constexpr int kScreenRows = 40;

std::string benchFile() { return std::string(KEVRA_SHARED_DIR) + "/samples/bench/medium.mdb"; }

double peakResidentMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in kilobytes on Linux
}

void openCustomers(kevra::browse::RecordsDataset& dataset) {
  dataset.setConnectionString(kevra::ui::kJetConnectionPrefix + benchFile());
  dataset.setCommandText("select * from [Customers]");
  dataset.Open();
}

// Reads every cell of rows [first, first + count) as the grid would paint them.
void paintRows(const kevra::browse::RecordsModel& model, int first, int count) {
  for (int row = first; row < first + count && row < model.rowCount(); ++row)
    for (int column = 0; column < model.columnCount(); ++column)
      benchmark::DoNotOptimize(model.data(model.index(row, column)));
}

void BM_FirstScreen(benchmark::State& state) {
  for (auto _ : state) {
    kevra::browse::RecordsDataset dataset;
    openCustomers(dataset);
    kevra::browse::RecordsModel model;
    model.setDataSet(&dataset);
    if (model.canFetchMore()) model.fetchMore();
    paintRows(model, 0, kScreenRows);
    if (model.rowCount() < kScreenRows) state.SkipWithError("fewer rows than one screen");
  }
}
BENCHMARK(BM_FirstScreen)->Unit(benchmark::kMillisecond);

void BM_ScrollToEnd(benchmark::State& state) {
  const double before = peakResidentMegabytes();
  long rows = 0;
  int cachedBlocks = 0;
  double halfway = 0;
  for (auto _ : state) {
    kevra::browse::RecordsDataset dataset;
    openCustomers(dataset);
    kevra::browse::RecordsModel model;
    model.setDataSet(&dataset);
    // Scroll a screen at a time, as a view asks for more rows when its end
    // comes into sight.
    while (model.canFetchMore()) {
      model.fetchMore();
      paintRows(model, std::max(0, model.rowCount() - kScreenRows), kScreenRows);
      if (halfway == 0 && model.rowCount() >= 50000) halfway = peakResidentMegabytes();
    }
    // Jump back to the top: evicted blocks are read again.
    paintRows(model, 0, kScreenRows);
    rows = model.rowCount();
    cachedBlocks = model.cachedBlockCount();
  }
  state.counters["rows"] = double(rows);
  state.counters["cached_blocks"] = cachedBlocks;
  state.counters["maxrss_before_MB"] = before;
  state.counters["maxrss_halfway_MB"] = halfway;
  state.counters["maxrss_end_MB"] = peakResidentMegabytes();
}
BENCHMARK(BM_ScrollToEnd)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
