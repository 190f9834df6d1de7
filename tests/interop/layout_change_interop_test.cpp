// Files changed by kevra-cli sql in ways that move the layout of existing
// rows (a first variable field added to fixed-width rows; a field turned
// from text into a number and back), read by mdbtools and by mdb-reader:
// every cell of the changed tables must agree with kevra-cli export.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "kevra_cli.h"
#include "mdb_oracle.h"
#include "mdb_reader_oracle.h"
#include "normalise.h"

namespace kevra::interop {
namespace {

// The order of `theirs` that pairs each of `ourKeys` with an equal one of
// `theirKeys`; the stored order when they are not the same keys. Rows that
// grew out of their page are moved, and both readers return a moved row
// where its bytes are, ours where its row number is.
template <typename Row>
void alignByKeys(const std::vector<std::string>& ourKeys, const std::vector<std::string>& theirKeys,
                 std::vector<Row>& theirs) {
  std::multimap<std::string, size_t> byKey;
  for (size_t i = 0; i < theirKeys.size(); ++i) byKey.emplace(theirKeys[i], i);
  std::vector<Row> reordered;
  for (const auto& key : ourKeys) {
    auto it = byKey.find(key);
    if (it == byKey.end()) return;  // not the same rows: compared as stored, and reported
    reordered.push_back(theirs[it->second]);
    byKey.erase(it);
  }
  if (reordered.size() == theirs.size()) theirs = std::move(reordered);
}

class ChangedLayout : public ::testing::Test {
 protected:
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // A private copy of the sample `name`, as a sample kevra-cli can read.
  SampleFile copyOf(const std::string& name) {
    if (dir_.empty()) {
      char pattern[] = "/tmp/kevra-layout-interop-XXXXXX";
      dir_ = ::mkdtemp(pattern);
    }
    const std::string path = dir_ + "/" + name;
    std::filesystem::copy_file(samplesDir() + "/" + name, path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return {path, name, "JET4"};
  }

  static void sql(const SampleFile& file, const std::string& statement) {
    ProcessResult r = runCli({"sql", file.path, statement});
    ASSERT_EQ(r.exitCode, 0) << statement << ": " << r.err;
  }

  // Every cell of `table` as kevra-cli exports it, against mdb-json and
  // against mdb-reader, in stored order. Returns the number of rows.
  static size_t expectReadersAgree(const SampleFile& file, const std::string& table) {
    SCOPED_TRACE("table " + table);
    const Json schema = cliSchema(file);
    const Json* def = schemaTable(schema, table);
    EXPECT_NE(def, nullptr);
    if (!def) return 0;
    std::vector<std::pair<std::string, int>> columns;
    for (const auto& c : def->at("columns").items) columns.emplace_back(c.at("name").text, std::stoi(c.at("type").text));
    const std::vector<Json> ours = cliJsonRows(file, table);
    std::vector<Json> theirs = mdbJsonRows(file.path, table);
    EXPECT_EQ(theirs.size(), ours.size()) << "mdb-json";
    std::vector<std::string> ourKeys, theirKeys;
    for (const auto& row : ours) {
      ourKeys.emplace_back();
      for (const auto& [name, type] : columns) ourKeys.back() += alignmentKey(type, row.find(name), false) + '\x1f';
    }
    for (const auto& row : theirs) {
      theirKeys.emplace_back();
      for (const auto& [name, type] : columns) theirKeys.back() += alignmentKey(type, row.find(name), true) + '\x1f';
    }
    alignByKeys(ourKeys, theirKeys, theirs);
    for (size_t r = 0; r < ours.size() && r < theirs.size(); ++r)
      for (const auto& [name, type] : columns) {
        const Json* mine = ours[r].find(name);
        EXPECT_NE(mine, nullptr) << "row " << r << " column " << name;
        if (!mine) continue;
        const std::string why = compareWithMdbJson(type, theirs[r].find(name), *mine);
        EXPECT_TRUE(why.empty()) << "mdb-json, row " << r << " column " << name << ": " << why;
      }
    MdbReaderTable reference = mdbReaderTable(file.path, table);
    EXPECT_EQ(reference.rows.size(), ours.size()) << "mdb-reader";
    // Their integer and text cells print as ours do: the key of a row.
    auto keyed = [&](size_t c) { return reference.types[c] == "long" || reference.types[c] == "text"; };
    ourKeys.clear();
    theirKeys.clear();
    for (const auto& row : ours) {
      ourKeys.emplace_back();
      for (size_t c = 0; c < reference.columns.size(); ++c) {
        const Json* v = row.find(reference.columns[c]);
        if (keyed(c)) ourKeys.back() += (!v || v->isNull() ? "\x01" : v->text) + '\x1f';
      }
    }
    for (const auto& row : reference.rows) {
      theirKeys.emplace_back();
      for (size_t c = 0; c < reference.columns.size(); ++c)
        if (keyed(c)) theirKeys.back() += (row[c].isNull() ? "\x01" : row[c].text) + '\x1f';
    }
    alignByKeys(ourKeys, theirKeys, reference.rows);
    for (size_t r = 0; r < ours.size() && r < reference.rows.size(); ++r)
      for (size_t c = 0; c < reference.columns.size(); ++c) {
        const std::string why =
            compareWithMdbReader(reference.types[c], reference.rows[r][c], ours[r].find(reference.columns[c]));
        EXPECT_TRUE(why.empty()) << "mdb-reader, row " << r << " column " << reference.columns[c] << ": " << why;
      }
    return ours.size();
  }

  std::string dir_;
};

TEST_F(ChangedLayout, AFirstVariableFieldOnFixedWidthRows) {
  const SampleFile made = copyOf("testv2000.mdb");
  sql(made, "CREATE TABLE F (a LONG, b DOUBLE)");
  for (int i = 1; i <= 30; ++i)
    sql(made, "INSERT INTO F (a, b) VALUES (" + std::to_string(i) + ", " + std::to_string(i) + ".5)");
  sql(made, "ALTER TABLE F ADD COLUMN t TEXT(10)");
  sql(made, "UPDATE F SET t = 'x' WHERE a < 4");
  sql(made, "DELETE FROM F WHERE a = 5");
  sql(made, "ALTER TABLE F ADD COLUMN m MEMO");
  sql(made, "UPDATE F SET m = 'memo' WHERE a = 7");
  EXPECT_EQ(expectReadersAgree(made, "F"), 29u);

  const SampleFile esri = copyOf("catesri_test.mdb");
  sql(esri, "ALTER TABLE GDB_ReleaseInfo ADD COLUMN Note TEXT(20)");
  sql(esri, "ALTER TABLE my_teapot_wells_Shape_Index ADD COLUMN Remark MEMO");
  sql(esri, "UPDATE my_teapot_wells_Shape_Index SET Remark = 'checked' WHERE IndexedObjectId = 1");
  EXPECT_GT(expectReadersAgree(esri, "GDB_ReleaseInfo"), 0u);
  EXPECT_GT(expectReadersAgree(esri, "my_teapot_wells_Shape_Index"), 0u);

  const SampleFile access2 = copyOf("testaccess2_2000.mdb");
  sql(access2, "ALTER TABLE Table2 ADD COLUMN Note TEXT(20)");
  EXPECT_GT(expectReadersAgree(access2, "Table2"), 0u);
}

TEST_F(ChangedLayout, FieldsChangedBetweenTextAndNumbers) {
  const SampleFile file = copyOf("testv2000.mdb");
  sql(file, "CREATE TABLE T (a TEXT(10), b LONG)");
  sql(file, "INSERT INTO T (a, b) VALUES ('1', 5)");
  sql(file, "INSERT INTO T (a, b) VALUES ('2', 6)");
  sql(file, "ALTER TABLE T ALTER COLUMN a LONG");
  EXPECT_EQ(expectReadersAgree(file, "T"), 2u);
  EXPECT_EQ(mdbJsonRows(file.path, "T")[0].find("b")->text, "5");

  sql(file, "CREATE TABLE Goods (id COUNTER PRIMARY KEY, Qty DOUBLE, name TEXT(20), rating LONG, gone TEXT(5))");
  for (int i = 1; i <= 50; ++i)
    sql(file, "INSERT INTO Goods (Qty, name, rating) VALUES (" + std::to_string(i) + ".75, 'n" + std::to_string(i) +
                  "', " + std::to_string(i % 5) + ")");
  sql(file, "ALTER TABLE Goods DROP COLUMN gone");
  sql(file, "ALTER TABLE Goods ALTER COLUMN Qty TEXT(20)");
  EXPECT_EQ(expectReadersAgree(file, "Goods"), 50u);
  sql(file, "ALTER TABLE Goods ALTER COLUMN Qty DOUBLE");
  EXPECT_EQ(expectReadersAgree(file, "Goods"), 50u);
}

}  // namespace
}  // namespace kevra::interop
