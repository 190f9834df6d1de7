// Which tables a file has, which files are refused, linked tables and the
// database password: kevra-cli and the engine against mdbtools.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/table/database.h"
#include "engine/util/error.h"
#include "kevra_cli.h"
#include "mdb_oracle.h"
#include "sample_params.h"

namespace kevra::interop {
namespace {

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

bool caseInsensitiveLess(const std::string& a, const std::string& b) { return lower(a) < lower(b); }

const SampleFile& sampleNamed(const std::string& name) {
  for (const auto& s : allSamples())
    if (s.name == name) return s;
  throw std::runtime_error("sample " + name + " is missing");
}

std::string readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A one-line message on stderr and a non-zero exit: what every CLI error must look like.
void expectCleanFailure(const ProcessResult& r) {
  EXPECT_FALSE(r.timedOut);
  EXPECT_NE(r.exitCode, 0);
  EXPECT_GT(r.exitCode, 0) << "the CLI must exit, not crash";
  std::string err = r.err;
  while (!err.empty() && (err.back() == '\n' || err.back() == '\r')) err.pop_back();
  EXPECT_FALSE(err.empty()) << "no message on stderr";
  EXPECT_EQ(err.find('\n'), std::string::npos) << "message is not one line: " << r.err;
}

TEST(SampleCorpus, MdbtoolsSeesTheJet4Files) {
  // Guards the parameterised suites below against passing on an empty list.
  EXPECT_GE(jet4Samples().size(), 15u) << "mdbtools missing, or the samples folder moved: " << samplesDir();
  for (const auto& s : allSamples()) EXPECT_NE(s.version, "UNREADABLE") << s.name;
}

class TablesOfJet4File : public ::testing::TestWithParam<SampleFile> {};

TEST_P(TablesOfJet4File, UserTablesMatchMdbtoolsInNameOrder) {
  const SampleFile& sample = GetParam();
  std::vector<std::string> ours = cliTables(sample);
  std::vector<std::string> theirs = mdbUserTables(sample.path);
  // mdb-tables prints catalog storage order; ours is by name, case-insensitively.
  EXPECT_TRUE(std::is_sorted(ours.begin(), ours.end(), caseInsensitiveLess)) << "tables are not in name order";
  std::sort(theirs.begin(), theirs.end(), caseInsensitiveLess);
  EXPECT_EQ(ours, theirs);
}

TEST_P(TablesOfJet4File, SavedQueriesMatchMdbQueries) {
  const SampleFile& sample = GetParam();
  std::vector<std::string> theirs = mdbQueries(sample.path);
  auto db = Database::open(sample.path, OpenOptions{true, sample.name == "v2000_with-password.mdb" ? kSamplePassword : ""});
  std::vector<std::string> ours;
  for (const auto& object : db->objects())
    if (object.isQuery() && object.name.rfind("~", 0) != 0) ours.push_back(object.name);
  std::sort(ours.begin(), ours.end());
  std::sort(theirs.begin(), theirs.end());
  EXPECT_EQ(ours, theirs);
}

INSTANTIATE_TEST_SUITE_P(Samples, TablesOfJet4File, ::testing::ValuesIn(jet4Samples()), sampleTestName);

// Access 97 files open read-only: every reading command works, and a
// change is refused naming the format, leaving the file as it was.
class ReadOnlyFormat : public ::testing::TestWithParam<SampleFile> {};

TEST_P(ReadOnlyFormat, ReadsWorkAndAChangeIsRefusedNamingTheFormat) {
  const SampleFile& sample = GetParam();
  std::vector<std::string> tables = mdbUserTables(sample.path);
  ASSERT_FALSE(tables.empty());
  for (const auto& args : std::vector<std::vector<std::string>>{{"tables", sample.path},
                                                                 {"schema", sample.path},
                                                                 {"export", sample.path, tables[0]}}) {
    SCOPED_TRACE(args[0]);
    ProcessResult r = runCli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(r.out.empty());
  }
  const std::string before = readFileBytes(sample.path);
  ProcessResult r = runCli({"sql", sample.path, "delete from [" + tables[0] + "]"});
  expectCleanFailure(r);
  EXPECT_NE(r.err.find("Access 97 files open read-only for now."), std::string::npos) << r.err;
  EXPECT_EQ(readFileBytes(sample.path), before) << "the file changed";
}

std::vector<SampleFile> readOnlySamples() {
  std::vector<SampleFile> list;
  for (const auto& s : allSamples())
    if (s.version == "JET3") list.push_back(s);
  return list;
}

INSTANTIATE_TEST_SUITE_P(Samples, ReadOnlyFormat, ::testing::ValuesIn(readOnlySamples()), sampleTestName);

// linked.mdb holds two links to files that are not on this machine.
TEST(LinkedTables, AreListedAsLinksLikeMdbtoolsSeesThem) {
  const SampleFile& sample = sampleNamed("linked.mdb");
  std::vector<std::string> theirs = mdbLinkedTables(sample.path);
  ASSERT_EQ(theirs.size(), 2u);
  auto db = Database::open(sample.path);
  std::vector<std::string> ours;
  for (const auto& entry : db->tableList())
    if (entry.type == "LINK") ours.push_back(entry.name);
  std::sort(theirs.begin(), theirs.end(), caseInsensitiveLess);
  EXPECT_EQ(ours, theirs) << "LINK entries, in name order";
  for (const auto& name : theirs) {
    const CatalogObject* object = db->findObject(name);
    ASSERT_NE(object, nullptr) << name;
    EXPECT_TRUE(object->isLink());
    EXPECT_NE(lower(object->database).find("linkee"), std::string::npos) << "target file of " << name;
  }
  // Links are not local tables: `tables` (user tables) does not list them.
  EXPECT_TRUE(cliTables(sample).empty());
}

TEST(LinkedTables, ReadingOneWhoseTargetIsMissingIsAClearError) {
  const SampleFile& sample = sampleNamed("linked.mdb");
  auto db = Database::open(sample.path);
  for (const auto& name : mdbLinkedTables(sample.path)) {
    SCOPED_TRACE(name);
    try {
      db->table(name);
      ADD_FAILURE() << "opened a link whose target file is missing";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << "message does not name the table: " << e.what();
    }
    ProcessResult r = runCli({"export", sample.path, name, "--format", "jsonl"});
    expectCleanFailure(r);
    EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
  }
}

TEST(DatabasePassword, OpensWithTheRightPasswordAndRefusesOtherwise) {
  const SampleFile& sample = sampleNamed("v2000_with-password.mdb");
  // mdbtools ignores the password (it is only a masked header field).
  std::vector<std::string> theirs = mdbUserTables(sample.path);

  ProcessResult ok = runCli({"tables", sample.path, "--password", kSamplePassword});
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_EQ(splitLines(ok.out), theirs);

  for (const auto& args : std::vector<std::vector<std::string>>{
           {"tables", sample.path}, {"tables", sample.path, "--password", "wrong"}, {"export", sample.path, "Table1"}}) {
    SCOPED_TRACE(args.back());
    ProcessResult r = runCli(args);
    expectCleanFailure(r);
    EXPECT_NE(lower(r.err).find("password"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }

  auto db = Database::open(sample.path, OpenOptions{true, kSamplePassword});
  EXPECT_TRUE(db->header().hasPassword());
  EXPECT_EQ(db->userTableNames(), theirs);
  EXPECT_THROW(Database::open(sample.path), EngineError);
  EXPECT_THROW(Database::open(sample.path, OpenOptions{true, "Password"}), EngineError) << "passwords are case-sensitive";
}

TEST(DatabasePassword, FilesWithoutPasswordIgnoreOneGiven) {
  // A password on a file that has none is not an error (a provider ignores it).
  const SampleFile& sample = sampleNamed("testv2000.mdb");
  ProcessResult r = runCli({"tables", sample.path, "--password", "anything"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(Database::open(sample.path)->header().hasPassword());
}

TEST(CliErrors, MissingFileAndTableAreOneLineMessages) {
  const SampleFile& sample = sampleNamed("testv2000.mdb");
  ProcessResult noFile = runCli({"tables", samplesDir() + "/no-such-file.mdb"});
  expectCleanFailure(noFile);
  ProcessResult noTable = runCli({"export", sample.path, "NoSuchTable"});
  expectCleanFailure(noTable);
  EXPECT_NE(noTable.err.find("NoSuchTable"), std::string::npos) << noTable.err;
  ProcessResult badFormat = runCli({"export", sample.path, "Table1", "--format", "xml"});
  expectCleanFailure(badFormat);
  ProcessResult help = runCli({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("export"), std::string::npos) << "--help lists the commands";
}

TEST(CliOutput, OutputFileHoldsExactlyWhatStdoutGets) {
  const SampleFile& sample = sampleNamed("compindextestv2000.mdb");
  const std::string path = ::testing::TempDir() + "kevra-cli-output-" + std::to_string(getpid()) + ".jsonl";
  for (const char* format : {"csv", "jsonl"}) {
    SCOPED_TRACE(format);
    ProcessResult toStdout = runCli({"export", sample.path, "Table1", "--format", format});
    ProcessResult toFile = runCli({"export", sample.path, "Table1", "--format", format, "--output", path});
    ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err;
    ASSERT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_TRUE(toFile.out.empty());
    std::ifstream in(path, std::ios::binary);
    std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, toStdout.out);
    EXPECT_EQ(splitLines(written).size(), std::string(format) == "csv" ? 513u : 512u);
  }
  std::remove(path.c_str());
  ProcessResult unwritable = runCli({"export", sample.path, "Table1", "--output", "/nonexistent-dir/out.csv"});
  expectCleanFailure(unwritable);
}

}  // namespace
}  // namespace kevra::interop
