// Posting one cell edit from the records grid, on a table of 1,000 rows and
// on one of 1,000,000 rows. A post writes the row and patches the grid's
// model in place, so its cost must not grow with the table: the two latencies
// are to stay within a factor of two of each other.
//
// The tables are made at start in a temporary folder: a copy of the sample
// testv2000.mdb whose Table1 (nine fields of every common type, a text
// primary key and a second text index) is filled with generated rows through
// the engine. The edited row sits in the middle of the table, reached by
// scrolling as the grid reaches it; the edited field is the indexed text B.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "browse/records_dataset.h"
#include "browse/records_model.h"
#include "engine/table/database.h"
#include "engine/table/table_writer.h"
#include "ui/database_session.h"

namespace {

namespace fs = std::filesystem;

constexpr long kBatch = 250000;
constexpr int kEditedField = 1;  // B: Text(100), indexed

// The folder the tables are made in, removed when the program ends.
struct ScratchFolder {
  fs::path path = fs::temp_directory_path() / ("kevra-grid-post-" + std::to_string(::getpid()));
  ScratchFolder() { fs::create_directories(path); }
  ~ScratchFolder() { fs::remove_all(path); }
};

const fs::path& scratchFolder() {
  static const ScratchFolder folder;
  return folder.path;
}

// A copy of testv2000.mdb whose Table1 holds `rows` rows (the sample's two
// and generated ones), made on first use.
std::string tableFile(long rows) {
  static std::map<long, std::string> made;
  if (auto found = made.find(rows); found != made.end()) return found->second;
  const fs::path path = scratchFolder() / ("table1-" + std::to_string(rows) + ".mdb");
  fs::copy_file(std::string(KEVRA_SHARED_DIR) + "/samples/testv2000.mdb", path, fs::copy_options::overwrite_existing);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);

  auto db = kevra::Database::open(path.string(), kevra::OpenOptions{false, ""});
  auto table = db->table("Table1");
  kevra::TableWriter writer(db);
  const long generated = rows - 2;
  for (long done = 0; done < generated;) {
    writer.begin();
    for (long i = 0; i < kBatch && done < generated; ++i, ++done) {
      std::string key = std::to_string(done);
      key = "key" + std::string(8 - std::min<size_t>(8, key.size()), '0') + key;
      std::vector<std::optional<kevra::Value>> row(table->columns.size());
      row[0] = kevra::Value(key);
      row[1] = kevra::Value("generated row " + std::to_string(done * 7919 % 1000003));
      row[2] = kevra::Value(uint8_t(done % 256));
      row[3] = kevra::Value(int16_t(done % 30000));
      row[4] = kevra::Value(int32_t(done));
      row[5] = kevra::Value(double(done) / 7.0);
      row[6] = kevra::Value(kevra::DateTime{30000.0 + double(done % 20000)});
      row[7] = kevra::Value(kevra::Currency{done * 25});
      row[8] = kevra::Value(done % 3 == 0);
      writer.insertRow(*table, row);
    }
    writer.commit();
  }
  return made[rows] = path.string();
}

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
