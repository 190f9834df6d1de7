// Reaching any row of a big table in the records grid: the first screen, a
// jump to the last row (Ctrl+End) and one to row 500,000, on a table of
// 1,000,000 rows against the same on one of 1,000 rows (each jump to the
// same fraction of its table). The model counts the table from its stored
// row count and reads only the blocks shown, so the first screen must not
// grow with the table, and peak memory stays flat through the jumps.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "browse/records_dataset.h"
#include "browse/records_model.h"
#include "generated_table.h"
#include "ui/database_session.h"

namespace {

constexpr int kScreenRows = 40;

double peakResidentMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void open(kevra::browse::RecordsDataset& dataset, long rows) {
  dataset.setConnectionString(kevra::ui::kJetConnectionPrefix + tableFile(rows));
  dataset.setCommandText("select * from [Table1]");
  dataset.Open();
}

// Reads every cell of the screen that starts at `first`, as the grid paints it.
void paintRows(const kevra::browse::RecordsModel& model, int first) {
  for (int row = first; row < first + kScreenRows && row < model.rowCount(); ++row)
    for (int column = 0; column < model.columnCount(); ++column)
      benchmark::DoNotOptimize(model.data(model.index(row, column)));
}

// Opens the table and paints the first screen; then, for a `fraction` above
// 0, the screen ending at that fraction of the table's rows.
void openAndShow(benchmark::State& state, double fraction) {
  const long rows = state.range(0);
  tableFile(rows);  // made before the clock runs
  const double before = peakResidentMegabytes();
  long shownRows = 0;
  for (auto _ : state) {
    kevra::browse::RecordsDataset dataset;
    open(dataset, rows);
    kevra::browse::RecordsModel model;
    model.setDataSet(&dataset);
    paintRows(model, 0);
    if (fraction > 0) {
      const int last = std::min(model.rowCount() - 1, int(double(rows) * fraction));
      paintRows(model, std::max(0, last - kScreenRows + 1));
      if (model.index(last, 0).data().isNull()) state.SkipWithError("the row jumped to was not read");
    }
    shownRows = model.rowCount();
  }
  state.counters["rows"] = double(shownRows);
  state.counters["maxrss_before_MB"] = before;
  state.counters["maxrss_after_MB"] = peakResidentMegabytes();
}

void BM_FirstScreen(benchmark::State& state) { openAndShow(state, 0); }
void BM_JumpToLastRow(benchmark::State& state) { openAndShow(state, 1.0); }
void BM_JumpToMiddle(benchmark::State& state) { openAndShow(state, 0.5); }

constexpr long kSmallTable = 1000;
constexpr long kLargeTable = 1000000;
BENCHMARK(BM_FirstScreen)->Arg(kSmallTable)->Arg(kLargeTable)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JumpToLastRow)->Arg(kSmallTable)->Arg(kLargeTable)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JumpToMiddle)->Arg(kSmallTable)->Arg(kLargeTable)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
