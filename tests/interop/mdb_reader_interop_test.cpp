// Every row of every user table of every Jet 4 sample, read by kevra-cli and
// by mdb-reader (npm), the second independent reader, value by value.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "kevra_cli.h"
#include "mdb_reader_oracle.h"
#include "sample_params.h"

namespace kevra::interop {
namespace {

std::string passwordOf(const SampleFile& sample) {
  return passwordArgs(sample).empty() ? std::string() : std::string(kSamplePassword);
}

// Tables with rows moved by an update (overflow pointers): ours returns such
// a row where its pointer slot is, mdb-reader where its bytes were moved to.
bool hasMovedRows(const std::string& file, const std::string& table) {
  return (file == "overflowtestv2000.mdb" && table == "Table1") || (file == "catesri_test.mdb" && table == "my_pipelines");
}

// A row's integer and text cells as one key, which both sides print alike.
std::string keyOf(const Json* v) { return !v || v->isNull() ? "\x01" : v->text; }
bool isKeyType(const std::string& type) { return type == "long" || type == "integer" || type == "text"; }

// Puts mdb-reader's rows into our order, pairing rows with equal cells.
void alignRows(const MdbReaderTable& reference, const std::vector<Json>& ours, std::vector<std::vector<Json>>& theirs) {
  std::multimap<std::string, size_t> byKey;
  for (size_t i = 0; i < theirs.size(); ++i) {
    std::string key;
    for (size_t c = 0; c < theirs[i].size(); ++c)
      if (isKeyType(reference.types[c])) key += keyOf(&theirs[i][c]) + '\x1f';
    byKey.emplace(key, i);
  }
  std::vector<std::vector<Json>> reordered;
  for (const auto& row : ours) {
    std::string key;
    for (size_t c = 0; c < reference.columns.size(); ++c)
      if (isKeyType(reference.types[c])) key += keyOf(row.find(reference.columns[c])) + '\x1f';
    auto it = byKey.find(key);
    if (it == byKey.end()) return;  // not a permutation: compare in order and report
    reordered.push_back(theirs[it->second]);
    byKey.erase(it);
  }
  theirs = std::move(reordered);
}

class Jet4FileByMdbReader : public ::testing::TestWithParam<SampleFile> {};

TEST_P(Jet4FileByMdbReader, TablesAndEveryValueAgree) {
  const SampleFile& sample = GetParam();
  std::vector<std::string> theirs = mdbReaderTables(sample.path, passwordOf(sample));
  std::vector<std::string> ours = cliTables(sample);
  std::sort(theirs.begin(), theirs.end());
  std::sort(ours.begin(), ours.end());
  ASSERT_EQ(ours, theirs) << "user tables differ";
  for (const std::string& table : theirs) {
    SCOPED_TRACE("table " + table);
    MdbReaderTable reference = mdbReaderTable(sample.path, table, passwordOf(sample));
    std::vector<Json> rows = cliJsonRows(sample, table);
    ASSERT_EQ(rows.size(), reference.rows.size()) << "row count differs";
    if (hasMovedRows(sample.name, table)) alignRows(reference, rows, reference.rows);
    int failures = 0;
    for (size_t r = 0; r < rows.size() && failures < 10; ++r)
      for (size_t c = 0; c < reference.columns.size(); ++c) {
        std::string why =
            compareWithMdbReader(reference.types[c], reference.rows[r][c], rows[r].find(reference.columns[c]));
        if (!why.empty()) {
          ++failures;
          ADD_FAILURE() << "row " << r << " column " << reference.columns[c] << ": " << why;
        }
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, Jet4FileByMdbReader, ::testing::ValuesIn(jet4Samples()), sampleTestName);

}  // namespace
}  // namespace kevra::interop
