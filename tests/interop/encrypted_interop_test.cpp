// Encrypted files against the independent readers: the page-encrypted Jet 4
// sample as mdbtools and mdb-reader decode it, the same file after kevra-cli
// wrote to it (it must stay readable by both), and the agile-encrypted .accdb
// as mdb-reader reads it with its password. (Neither reader decrypts the
// RC4 CryptoAPI .accdb; its known content is checked in the engine tests.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "kevra_cli.h"
#include "mdb_oracle.h"
#include "mdb_reader_oracle.h"
#include "normalise.h"

namespace kevra::interop {
namespace {

SampleFile formatSample(const std::string& name) { return {samplesDir() + "/formats/" + name, name, ""}; }

// Tables, then every value of every table, as kevra-cli and mdbtools read them.
void expectAgreementWithMdbtools(const SampleFile& sample) {
  std::vector<std::string> ours = cliTables(sample), theirs = mdbUserTables(sample.path);
  std::sort(ours.begin(), ours.end());
  std::sort(theirs.begin(), theirs.end());
  ASSERT_EQ(ours, theirs);
  const Json schema = cliSchema(sample);
  for (const std::string& table : theirs) {
    SCOPED_TRACE("table " + table);
    const Json* def = schemaTable(schema, table);
    ASSERT_NE(def, nullptr);
    std::vector<Json> rows = cliJsonRows(sample, table), reference = mdbJsonRows(sample.path, table);
    ASSERT_EQ(rows.size(), reference.size());
    ASSERT_EQ(rows.size(), mdbCount(sample.path, table));
    for (size_t r = 0; r < rows.size(); ++r)
      for (const auto& column : def->at("columns").items) {
        const std::string& name = column.at("name").text;
        const Json* ours = rows[r].find(name);
        ASSERT_NE(ours, nullptr) << "row " << r << " lacks " << name;
        EXPECT_EQ(compareWithMdbJson(std::stoi(column.at("type").text), reference[r].find(name), *ours), "")
            << "row " << r << " column " << name;
      }
  }
}

void expectAgreementWithMdbReader(const SampleFile& sample, const std::string& password) {
  std::vector<std::string> ours = cliTables(sample), theirs = mdbReaderTables(sample.path, password);
  std::sort(ours.begin(), ours.end());
  std::sort(theirs.begin(), theirs.end());
  ASSERT_EQ(ours, theirs);
  for (const std::string& table : theirs) {
    SCOPED_TRACE("table " + table);
    MdbReaderTable reference = mdbReaderTable(sample.path, table, password);
    std::vector<Json> rows = cliJsonRows(sample, table);
    ASSERT_EQ(rows.size(), reference.rows.size());
    for (size_t r = 0; r < rows.size(); ++r)
      for (size_t c = 0; c < reference.columns.size(); ++c)
        EXPECT_EQ(compareWithMdbReader(reference.types[c], reference.rows[r][c], rows[r].find(reference.columns[c])), "")
            << "row " << r << " column " << reference.columns[c];
  }
}

std::string cliOk(const std::vector<std::string>& args) {
  ProcessResult r = runCli(args);
  if (r.exitCode != 0) throw std::runtime_error("kevra-cli " + args[0] + " failed: " + r.err);
  return r.out;
}

}  // namespace

TEST(EncryptedJet4File, EveryValueMatchesMdbtools) { expectAgreementWithMdbtools(formatSample("v2000-db-enc.mdb")); }

TEST(EncryptedJet4File, EveryValueMatchesMdbReader) {
  expectAgreementWithMdbReader(formatSample("v2000-db-enc.mdb"), "");
}

TEST(EncryptedJet3File, EveryValueMatchesMdbtoolsAndMdbReader) {
  expectAgreementWithMdbtools(formatSample("v1997-db97-enc.mdb"));
  expectAgreementWithMdbReader(formatSample("v1997-db97-enc.mdb"), "");
}

TEST(EncryptedJet4File, RowsWeWriteStayEncryptedAndBothReadersReadThem) {
  char pattern[] = "/tmp/kevra-encrypted-interop-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  const std::string path = dir + "/v2000-db-enc.mdb";
  std::filesystem::copy_file(formatSample("v2000-db-enc.mdb").path, path);
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  cliOk({"sql", path, "INSERT INTO Table1 (col1, col2) VALUES ('written by us', 1234)"});
  cliOk({"sql", path, "UPDATE Table1 SET col1 = 'changed' WHERE ID = 1"});
  cliOk({"sql", path, "CREATE TABLE Added (n LONG, t TEXT(40), m MEMO)"});
  cliOk({"sql", path, "INSERT INTO Added VALUES (1, 'a text in a new table', 'a memo in a new table')"});
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(bytes.find("written by us"), std::string::npos) << "a row reached the file in the clear";
  EXPECT_EQ(bytes.find("a memo in a new table"), std::string::npos);

  const SampleFile written{path, "v2000-db-enc.mdb", ""};
  expectAgreementWithMdbtools(written);
  expectAgreementWithMdbReader(written, "");
  const std::vector<Json> rows = mdbJsonRows(path, "Table1");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].at("col1").text, "changed");
  EXPECT_EQ(rows[2].at("col1").text, "written by us");
  EXPECT_EQ(mdbReaderTable(path, "Added").rows.at(0).at(2).text, "a memo in a new table");
  EXPECT_EQ(cliOk({"check", path}).rfind("OK:", 0), 0u);
  std::filesystem::remove_all(dir);
}

TEST(AgileEncryptedAccdb, EveryValueMatchesMdbReaderWithThePassword) {
  const SampleFile sample = formatSample("v2010-office-agile-4.4.accdb");
  ASSERT_EQ(passwordArgs(sample), (std::vector<std::string>{"--password", "password"}));
  expectAgreementWithMdbReader(sample, "password");
  EXPECT_EQ(mdbReaderTable(sample.path, "Table1", "password").rows.size(), 3u);
}

// Neither reader decrypts this scheme: the command line against the file's
// known content, and the commands a user runs on it.
TEST(Rc4CryptoApiAccdb, EveryCommandReadsItWithThePassword) {
  const SampleFile sample = formatSample("v2007-db2007-oldenc.accdb");
  EXPECT_EQ(cliTables(sample), std::vector<std::string>{"Table1"});
  const std::vector<Json> rows = cliJsonRows(sample, "Table1");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("ID").text, "1");
  EXPECT_EQ(rows[0].at("Field1").text, "foo");
  EXPECT_NE(schemaTable(cliSchema(sample), "Table1"), nullptr);
  EXPECT_EQ(cliOk({"sql", sample.path, "SELECT Field1 FROM Table1 WHERE ID = 1", "--password", "Test123"}),
            "{\"Field1\":\"foo\"}\n");
  ProcessResult refused = runCli({"sql", sample.path, "DELETE FROM Table1", "--password", "Test123"});
  EXPECT_NE(refused.exitCode, 0);
  EXPECT_NE(refused.err.find("open read-only"), std::string::npos) << refused.err;
  ProcessResult wrong = runCli({"export", sample.path, "Table1", "--password", "test123"});
  EXPECT_NE(wrong.exitCode, 0);
  EXPECT_NE(wrong.err.find("Not a valid password for 'v2007-db2007-oldenc.accdb'."), std::string::npos) << wrong.err;
}

}  // namespace kevra::interop
