// Posting one cell edit from the records grid, on a table of 1,000 rows and
// on one of 1,000,000 rows. A post writes the row and patches the grid's
// model in place, so its cost must not grow with the table: the two latencies
// are to stay within a factor of two of each other.
//
// The tables are made at start (generated_table.h). The edited row sits in the middle of the table, reached by
// scrolling as the grid reaches it; the edited field is the indexed text B.
#include <benchmark/benchmark.h>

#include <QString>
#include <string>

#include "browse/records_dataset.h"
#include "browse/records_model.h"
#include "generated_table.h"
#include "ui/database_session.h"

namespace {

constexpr int kEditedField = 1;  // B: Text(100), indexed

void BM_PostCellEdit(benchmark::State& state) {
  const long rows = state.range(0);
  const std::string path = tableFile(rows);
  kevra::browse::RecordsDataset dataset;
  dataset.setConnectionString(kevra::ui::kJetConnectionPrefix + path);
  dataset.setCommandText("select * from [Table1]");
  dataset.Open();
  kevra::browse::RecordsModel model;
  model.setDataSet(&dataset);
  const int edited = int(rows / 2);
  while (model.rowCount() <= edited && model.canFetchMore()) model.fetchMore();
  if (model.rowCount() <= edited) {
    state.SkipWithError("the table has fewer rows than made");
    return;
  }
  const QModelIndex cell = model.index(edited, kEditedField);
  long edits = 0;
  for (auto _ : state) {
    if (!model.setData(cell, QStringLiteral("edited %1").arg(edits++))) {
      state.SkipWithError("the cell took no edit");
      break;
    }
    model.post();
    benchmark::DoNotOptimize(model.data(cell));  // the row as the grid repaints it
  }
  state.counters["table_rows"] = double(dataset.rows().recordCount());
  model.setDataSet(nullptr);
}
constexpr long kSmallTable = 1000;
constexpr long kLargeTable = 1000000;
BENCHMARK(BM_PostCellEdit)->Arg(kSmallTable)->Arg(kLargeTable)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Both tables are made before either is timed, and what making them wrote
  // is on disk first, so neither run pays for the other's writing.
  tableFile(kSmallTable);
  tableFile(kLargeTable);
  ::sync();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
