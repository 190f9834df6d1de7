// Atomic changes: a writer stopped at every step of a commit (reads
// included), torn writes, failing flushes and failing reads all leave a file
// that opens cleanly and holds either the state before the change or the
// state after it; a recovery that cannot read its journal changes nothing.
// Most cases run on the in-memory file system through the fault-injecting
// one; the writer lock and early page moves use real files and processes.
// The foreign writers (dBase, Paradox, Excel, HTML, text) are stopped or
// failed at every operation too: their folder then holds no new table file
// or the whole one, never a part.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "engine/format/value_text.h"
#include "engine/isam/dbase_driver.h"
#include "engine/isam/excel_driver.h"
#include "engine/isam/html_driver.h"
#include "engine/isam/paradox_driver.h"
#include "engine/isam/text_driver.h"
#include "engine/storage/fault_injecting_file_system.h"
#include "engine/storage/journal_recovery.h"
#include "engine/storage/memory_file_system.h"
#include "engine/storage/page_file.h"
#include "engine/storage/rollback_journal.h"
#include "engine/util/error.h"
#include "engine/table/table_cursor.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

const std::string kFile = "/db/overflowtestv2000.mdb";

std::shared_ptr<Database> openOn(FileSystem& fs, const std::string& path, bool readOnly) {
  OpenOptions o;
  o.readOnly = readOnly;
  o.fileSystem = &fs;
  return Database::open(path, o);
}

// Every row as text, for comparing whole table states.
std::string snapshot(const std::shared_ptr<Database>& db) {
  std::string out;
  for (auto& row : allRows(db, "Table1")) {
    for (auto& v : row) out += (isNull(v) ? "<null>" : valueToText(v)) + "|";
    out += "\n";
  }
  out += "count=" + std::to_string(db->table("Table1")->rowCount);
  return out;
}
std::string snapshot(const std::string& path) { return snapshot(Database::open(path)); }
std::string snapshot(FileSystem& fs, const std::string& path) { return snapshot(openOn(fs, path, true)); }

std::vector<uint8_t> sampleBytes(const std::string& name) {
  std::ifstream in(sample(name), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A memory file system holding one sample at kFile.
std::unique_ptr<MemoryFileSystem> memoryWithSample(const std::string& name = "overflowtestv2000.mdb") {
  auto fs = std::make_unique<MemoryFileSystem>();
  fs->put(kFile, sampleBytes(name));
  return fs;
}

// One transaction touching existing pages, new pages and the page map.
void bigChange(const std::shared_ptr<Database>& db) {
  TableWriter writer(db);
  auto def = db->table("Table1");
  writer.begin();
  for (int i = 0; i < 400; ++i) {
    std::vector<std::optional<Value>> row(def->columns.size());
    row[0] = Value("crash test " + std::to_string(i));
    row[1] = Value(std::string(40, char('a' + i % 26)));
    writer.insertRow(*def, row);
  }
  auto rows = db->openCursor(def);
  std::vector<Value> first;
  rows->next(first);
  first[8] = Value(std::string("touched"));
  writer.updateRow(*def, rows->lastLocation(), first);
  writer.commit();
}
void bigChange(const std::string& path) { bigChange(openForWriting(path)); }

// Opens kFile for writing through `fs` and makes the big change; whatever the
// file system does to it (failure, crash) ends here.
void bigChangeOn(FileSystem& fs) {
  try {
    bigChange(openOn(fs, kFile, false));
  } catch (const SimulatedCrash&) {
  } catch (const EngineError&) {
  }
}

// A memory file system whose kFile was left mid-commit by a crash: some of
// the new pages are in the file and the complete journal is beside it.
std::unique_ptr<MemoryFileSystem> crashedMidCommit() {
  auto fs = memoryWithSample();
  bool journalSynced = false;
  int writesAfterJournal = 0;
  FaultInjectingFileSystem dying(*fs, [&](const FaultPoint& p) {
    if (p.operation == FileOperation::Sync && p.path == RollbackJournal::pathFor(kFile)) journalSynced = true;
    if (journalSynced && p.operation == FileOperation::Write && p.path == kFile && ++writesAfterJournal == 3)
      return Fault::crash(p.length / 2);
    return Fault::proceed();
  });
  bigChangeOn(dying);
  EXPECT_TRUE(dying.crashed());
  EXPECT_TRUE(RollbackJournal::exists(*fs, kFile));
  return fs;
}

}  // namespace

TEST(CrashSafety, StoppedAtEveryStepOfACommitLeavesOldOrNewState) {
  std::string oldState, newState;
  uint64_t operations = 0;
  {
    auto fs = memoryWithSample();
    oldState = snapshot(*fs, kFile);
    FaultInjectingFileSystem counting(*fs);
    bigChange(openOn(counting, kFile, false));
    operations = counting.operations();
    newState = snapshot(*fs, kFile);
  }
  ASSERT_NE(oldState, newState);
  ASSERT_GT(operations, 10u);
  int sawOld = 0, sawNew = 0, stoppedAtRead = 0;
  for (uint64_t stopAt = 1; stopAt <= operations + 1; ++stopAt) {
    auto fs = memoryWithSample();
    FaultInjectingFileSystem faulty(*fs, [&](const FaultPoint& p) {
      if (p.sequence != stopAt) return Fault::proceed();
      if (p.operation == FileOperation::Read) ++stoppedAtRead;
      // A torn write: half of it lands, then the process is gone.
      return Fault::crash(p.operation == FileOperation::Write ? p.length / 2 : 0);
    });
    bigChangeOn(faulty);
    // A read-only open sees the recovered state without changing the file...
    const auto before = fs->bytes(kFile);
    const std::string viewed = snapshot(*fs, kFile);
    EXPECT_EQ(fs->bytes(kFile), before) << "stop at " << stopAt;
    // ...and a writer's open restores it for real.
    openOn(*fs, kFile, false).reset();
    EXPECT_FALSE(RollbackJournal::exists(*fs, kFile)) << stopAt;
    const std::string state = snapshot(*fs, kFile);
    EXPECT_EQ(viewed, state) << "stop at " << stopAt;
    EXPECT_TRUE(state == oldState || state == newState) << "stop at " << stopAt;
    sawOld += state == oldState;
    sawNew += state == newState;
  }
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
  EXPECT_GT(stoppedAtRead, 0);
}

TEST(CrashSafety, FailingFlushRollsBackAndReportsTheError) {
  auto fs = memoryWithSample();
  const std::string before = snapshot(*fs, kFile);
  const auto bytes = fs->bytes(kFile);
  FaultInjectingFileSystem faulty(*fs, [](const FaultPoint& p) {
    return p.operation == FileOperation::Sync && p.path == kFile ? Fault::fail() : Fault::proceed();
  });
  EXPECT_THROW(bigChange(openOn(faulty, kFile, false)), EngineError);
  openOn(*fs, kFile, false).reset();
  EXPECT_EQ(snapshot(*fs, kFile), before);
  EXPECT_EQ(fs->bytes(kFile), bytes);
}

TEST(CrashSafety, FailingJournalLeavesTheFileUntouched) {
  auto fs = memoryWithSample();
  const auto bytes = fs->bytes(kFile);
  FaultInjectingFileSystem faulty(*fs, [](const FaultPoint& p) {
    const bool journal = p.path == RollbackJournal::pathFor(kFile);
    return p.operation == FileOperation::Write && journal ? Fault::fail(10) : Fault::proceed();
  });
  EXPECT_THROW(bigChange(openOn(faulty, kFile, false)), EngineError);
  EXPECT_EQ(fs->bytes(kFile), bytes);
}

// Any one read failing during a change — row pages, index pages, the page
// map — refuses the change with an error and leaves the file as it was.
TEST(CrashSafety, AFailedReadDuringAChangeLeavesTheFileAsItWas) {
  const std::string file = "/db/testv2000.mdb";  // Table1: primary key on text A, index on text B
  auto change = [&](FileSystem& fs) {
    auto db = openOn(fs, file, false);
    TableWriter writer(db);
    auto def = db->table("Table1");
    writer.begin();
    for (int i = 0; i < 300; ++i) {
      std::vector<std::optional<Value>> row(def->columns.size());
      row[0] = Value("key " + std::to_string(1000 + i));
      row[1] = Value("second " + std::to_string(i % 17));
      writer.insertRow(*def, row);
    }
    writer.commit();
  };
  uint64_t reads = 0;
  std::vector<uint8_t> original;
  {
    MemoryFileSystem fs;
    fs.put(file, sampleBytes("testv2000.mdb"));
    original = fs.bytes(file);
    FaultInjectingFileSystem counting(fs, [&](const FaultPoint& p) {
      reads += p.operation == FileOperation::Read;
      return Fault::proceed();
    });
    change(counting);
    ASSERT_EQ(allRows(openOn(fs, file, true), "Table1").size(), allRows(openOn(counting, file, true), "Table1").size());
  }
  ASSERT_GT(reads, 5u);
  // Every read up to the commit: the first ones open the file, later ones
  // walk the indexes while rows go in.
  for (uint64_t failAt = 1; failAt <= reads; ++failAt) {
    MemoryFileSystem fs;
    fs.put(file, original);
    uint64_t seen = 0;
    FaultInjectingFileSystem faulty(fs, [&](const FaultPoint& p) {
      if (p.operation != FileOperation::Read) return Fault::proceed();
      return ++seen == failAt ? Fault::fail() : Fault::proceed();
    });
    try {
      change(faulty);
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find("Could not read"), std::string::npos) << e.what();
    }
    if (seen < failAt) continue;  // this run read less (nothing failed)
    EXPECT_EQ(fs.bytes(file), original) << "read " << failAt;
    EXPECT_FALSE(RollbackJournal::exists(fs, file)) << "read " << failAt;
  }
}

// A crash leaves a complete journal and a half-written file. A recovery that
// cannot read the journal must not guess: the open fails with the error,
// file and journal stay as they are, and a later open recovers.
TEST(CrashSafety, ARecoveryThatCannotReadChangesNothingAndALaterOneRecovers) {
  const std::string oldState = snapshot(*memoryWithSample(), kFile);
  auto fs = crashedMidCommit();
  const auto halfWritten = fs->bytes(kFile);
  const auto journal = fs->bytes(RollbackJournal::pathFor(kFile));

  {
    FaultInjectingFileSystem failing(*fs, [&](const FaultPoint& p) {
      return p.operation == FileOperation::Read && p.path == RollbackJournal::pathFor(kFile) ? Fault::fail()
                                                                                            : Fault::proceed();
    });
    EXPECT_THROW(openOn(failing, kFile, false), EngineError);
    EXPECT_EQ(fs->bytes(kFile), halfWritten);
    EXPECT_EQ(fs->bytes(RollbackJournal::pathFor(kFile)), journal);
  }
  // A recovery stopped halfway through writing the originals back is simply
  // done again by the next open.
  int restoreWrites = 0;
  FaultInjectingFileSystem stopped(*fs, [&](const FaultPoint& p) {
    if (p.operation == FileOperation::Write && p.path == kFile && ++restoreWrites == 2) return Fault::crash(100);
    return Fault::proceed();
  });
  EXPECT_THROW(openOn(stopped, kFile, false), SimulatedCrash);
  EXPECT_TRUE(RollbackJournal::exists(*fs, kFile));
  openOn(*fs, kFile, false).reset();
  EXPECT_FALSE(RollbackJournal::exists(*fs, kFile));
  EXPECT_EQ(snapshot(*fs, kFile), oldState);
}

TEST(MemoryFileSystem, ADatabaseInMemoryReadsAndChangesAsOnDisk) {
  ScratchCopy copy("overflowtestv2000.mdb");
  auto fs = memoryWithSample();
  EXPECT_EQ(snapshot(*fs, kFile), snapshot(copy.path()));
  bigChange(openOn(*fs, kFile, false));
  bigChange(copy.path());
  EXPECT_EQ(snapshot(*fs, kFile), snapshot(copy.path()));
  const auto bytes = fs->bytes(kFile);
  EXPECT_EQ(std::vector<char>(bytes.begin(), bytes.end()), copy.bytes());
  // One writer at a time, as with real files: the lock is per open file.
  MemoryFileSystem& memory = *fs;
  auto first = memory.open(kFile, OpenMode::ReadWrite);
  auto second = memory.open(kFile, OpenMode::ReadWrite);
  EXPECT_TRUE(first->tryLockExclusive());
  EXPECT_FALSE(second->tryLockExclusive());
  first.reset();
  EXPECT_TRUE(second->tryLockExclusive());
}

TEST(WriterLock, SecondWriterIsRefusedReadersStillRead) {
  ScratchCopy copy("overflowtestv2000.mdb");
  auto writer = openForWriting(copy.path());
  EXPECT_EQ(openForWriting(copy.path()), writer);  // same process: one shared database
  // Another process: kevra-cli wanting to change rows, then only reading.
  auto run = [&](const std::string& args) {
    std::string command = std::string(KEVRA_CLI_PATH) + " " + args + " 2>&1";
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = ::pclose(p);
    return std::make_pair(WEXITSTATUS(status), out);
  };
  auto [code, message] = run("sql '" + copy.path() + "' \"DELETE FROM Table1\"");
  EXPECT_NE(code, 0);
  EXPECT_NE(message.find("in use"), std::string::npos) << message;
  auto [readCode, tables] = run("tables '" + copy.path() + "'");
  EXPECT_EQ(readCode, 0);
  EXPECT_EQ(tables, "Table1\n");
  writer.reset();
  EXPECT_EQ(run("sql '" + copy.path() + "' \"DELETE FROM Table1 WHERE data1 = 'row1col1'\"").second, "1\n");
}

TEST(CrashSafety, PagesMovedToTheFileEarlyAreUndoneByRollbackAndByRecovery) {
  ScratchCopy copy("overflowtestv2000.mdb");
  const auto original = copy.bytes();
  const std::string before = snapshot(copy.path());
  auto insertSome = [](TableWriter& writer, const TableDef& def, int from, int count) {
    for (int i = from; i < from + count; ++i) {
      std::vector<std::optional<Value>> row(def.columns.size());
      row[0] = Value("spilled " + std::to_string(i));
      writer.insertRow(def, row);
    }
  };
  {
    auto db = openForWriting(copy.path());
    auto def = db->table("Table1");
    TableWriter writer(db);
    writer.begin();
    insertSome(writer, *def, 0, 500);
    db->pages().spill();  // half the change is in the file now
    EXPECT_NE(copy.bytes(), original);
    insertSome(writer, *def, 500, 500);
    EXPECT_EQ(allRows(db, "Table1").size(), 1007u);
    writer.rollback();
  }
  EXPECT_EQ(copy.bytes(), original);
  EXPECT_FALSE(RollbackJournal::exists(realFileSystem(), copy.path()));

  // A writer that dies after moving pages early: the next open restores.
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto db = openForWriting(copy.path());
    auto def = db->table("Table1");
    TableWriter writer(db);
    writer.begin();
    insertSome(writer, *def, 0, 800);
    db->pages().spill();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(snapshot(copy.path()), before);
  openForWriting(copy.path()).reset();
  EXPECT_EQ(copy.bytes(), original);

  // And the same change committed after a spill lands whole.
  {
    auto db = openForWriting(copy.path());
    auto def = db->table("Table1");
    TableWriter writer(db);
    writer.begin();
    insertSome(writer, *def, 0, 600);
    db->pages().spill();
    insertSome(writer, *def, 600, 600);
    writer.commit();
  }
  EXPECT_EQ(Database::open(copy.path())->table("Table1")->rowCount, 1207u);
  EXPECT_EQ(allRows(Database::open(copy.path()), "Table1").size(), 1207u);
}

namespace {

void expectRefusedUntouched(MemoryFileSystem& fs, const std::string& file, const std::string& why) {
  const auto bytes = fs.bytes(file);
  const auto journal = fs.bytes(RollbackJournal::pathFor(file));
  try {
    openOn(fs, file, false);
    ADD_FAILURE() << "a journal that does not belong was applied (" << why << ")";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("does not belong to this file"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("kevra-cli recover"), std::string::npos) << e.what();
  }
  EXPECT_EQ(fs.bytes(file), bytes) << why;
  EXPECT_EQ(fs.bytes(RollbackJournal::pathFor(file)), journal) << why;
}

}  // namespace

TEST(JournalBinding, AJournalIsAppliedOnlyToTheFileAndStateItWasMadeFor) {
  const std::string oldState = snapshot(*memoryWithSample(), kFile);

  // Beside another database: refused, both files kept; a reader reads that
  // database as it is, ignoring the stranger's journal.
  {
    auto fs = crashedMidCommit();
    const std::string other = "/db/other.mdb";
    fs->put(other, sampleBytes("overflowtestv2000.mdb"));
    fs->put(RollbackJournal::pathFor(other), fs->bytes(RollbackJournal::pathFor(kFile)));
    expectRefusedUntouched(*fs, other, "journal beside another file");
    EXPECT_EQ(snapshot(*fs, other), oldState);
    EXPECT_NE(openOn(*fs, other, true)->pages().journalProblem(), "");
  }
  // The file changed by another program after the crash, on a page the
  // journal covers: refused; the explicit recovery refuses to apply too,
  // and may only set the journal aside.
  {
    auto fs = crashedMidCommit();
    JournalContents journal;
    ASSERT_TRUE(RollbackJournal::read(*fs, kFile, journal));
    auto bytes = fs->bytes(kFile);
    const uint32_t page = std::prev(journal.pages.end())->first;
    bytes[size_t(page) * 4096 + 2000] ^= 0x5A;
    auto handle = fs->open(kFile, OpenMode::ReadWrite);
    handle->write(bytes.data(), bytes.size(), 0);
    handle.reset();
    expectRefusedUntouched(*fs, kFile, "file changed since");
    EXPECT_THROW(recoverJournal(*fs, kFile, false), EngineError);
    EXPECT_TRUE(RollbackJournal::exists(*fs, kFile));
    EXPECT_EQ(recoverJournal(*fs, kFile, true), RecoveryOutcome::Discarded);
    EXPECT_FALSE(RollbackJournal::exists(*fs, kFile));
    EXPECT_EQ(fs->bytes(kFile), bytes);
  }
  // The same bytes under a new inode (the file was restored from a copy):
  // not applied by an open, but an explicit recovery finds every page its
  // own and undoes the change.
  {
    auto fs = crashedMidCommit();
    fs->put(kFile, fs->bytes(kFile));
    expectRefusedUntouched(*fs, kFile, "file replaced");
    EXPECT_EQ(recoverJournal(*fs, kFile, false), RecoveryOutcome::Applied);
    EXPECT_FALSE(RollbackJournal::exists(*fs, kFile));
    EXPECT_EQ(snapshot(*fs, kFile), oldState);
  }
  // And the journal's own file, untouched, is recovered by a plain open.
  {
    auto fs = crashedMidCommit();
    openOn(*fs, kFile, false).reset();
    EXPECT_FALSE(RollbackJournal::exists(*fs, kFile));
    EXPECT_EQ(snapshot(*fs, kFile), oldState);
    EXPECT_EQ(recoverJournal(*fs, kFile, false), RecoveryOutcome::NoJournal);
  }
}

TEST(JournalBinding, OpeningThroughASymbolicLinkRecoversFirst) {
  ScratchCopy copy("overflowtestv2000.mdb");
  const auto original = copy.bytes();
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto db = openForWriting(copy.path());
    auto def = db->table("Table1");
    TableWriter writer(db);
    writer.begin();
    for (int i = 0; i < 800; ++i) {
      std::vector<std::optional<Value>> row(def->columns.size());
      row[0] = Value("half written " + std::to_string(i));
      writer.insertRow(*def, row);
    }
    db->pages().spill();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_NE(copy.bytes(), original);
  char pattern[] = "/tmp/kevra-link-XXXXXX";
  const std::string linkDir = ::mkdtemp(pattern);
  const std::string link = linkDir + "/elsewhere.mdb";
  std::filesystem::create_symlink(copy.path(), link);
  openForWriting(link).reset();
  EXPECT_EQ(copy.bytes(), original);
  EXPECT_FALSE(RollbackJournal::exists(realFileSystem(), copy.path()));
  EXPECT_FALSE(std::filesystem::exists(RollbackJournal::pathFor(link)));
  std::filesystem::remove_all(linkDir);
}

namespace {

// One foreign target: how to make its driver, the data source and table
// names, and the files a complete table consists of (the main file last).
struct ForeignTarget {
  const char* name;
  std::unique_ptr<ForeignDriver> (*make)(FileSystem&);
  std::string source, table;
  std::vector<std::string> files;
};

const std::string kOut = "/out";
const std::string kSchemaIni = kOut + "/Schema.ini";
const std::vector<uint8_t> kOldSchemaIni = {'[', 'o', 'l', 'd', '.', 'c', 's', 'v', ']', '\r', '\n'};

std::vector<ForeignTarget> foreignTargets() {
  return {
      {"dBase", makeDbaseDriver, kOut, "parts", {kOut + "/parts.dbt", kOut + "/parts.dbf"}},
      {"Paradox", makeParadoxDriver, kOut, "parts", {kOut + "/parts.mb", kOut + "/parts.db"}},
      {"Excel", makeExcelDriver, kOut + "/book.xls", "parts", {kOut + "/book.xls"}},
      {"HTML", makeHtmlDriver, kOut, "parts", {kOut + "/parts.html"}},
      {"text", makeTextDriver, kOut, "parts#csv", {kSchemaIni, kOut + "/parts.csv"}},
  };
}

// A folder holding only an unrelated Schema.ini.
std::unique_ptr<MemoryFileSystem> foreignFolder() {
  auto fs = std::make_unique<MemoryFileSystem>();
  fs->createFolder(kOut);
  fs->put(kSchemaIni, kOldSchemaIni);
  return fs;
}

// The bytes of a written file, less what changes from run to run: a Paradox
// table's header holds the time it was written (bytes 0x60-0x63).
std::vector<uint8_t> stableBytes(MemoryFileSystem& fs, const std::string& file) {
  std::vector<uint8_t> bytes = fs.bytes(file);
  if (file.size() > 3 && file.compare(file.size() - 3, 3, ".db") == 0 && bytes.size() >= 0x64)
    std::fill(bytes.begin() + 0x60, bytes.begin() + 0x64, uint8_t(0));
  return bytes;
}

// Writes 300 rows with long memos (past the write buffer so writes tear mid-file;
// dBase and Paradox need their memo files).
void exportParts(FileSystem& fs, const ForeignTarget& target) {
  const std::vector<ResultColumn> columns = {
      {"Id", ColumnType::Long}, {"Name", ColumnType::Text, 80}, {"Notes", ColumnType::Memo}};
  auto writer = target.make(fs)->createTable(target.source, target.table, columns);
  for (int32_t i = 0; i < 300; ++i)
    writer->write({Value(i), Value("part " + std::to_string(i)), Value(std::string(300 + i, char('a' + i % 26)))});
  writer->finish();
}

}  // namespace

TEST(CrashSafety, ForeignWritersStoppedAtEveryOperationLeaveNoTableOrTheWholeOne) {
  for (const ForeignTarget& target : foreignTargets()) {
    SCOPED_TRACE(target.name);
    auto clean = foreignFolder();
    FaultInjectingFileSystem counting(*clean);
    exportParts(counting, target);
    const uint64_t operations = counting.operations();
    std::map<std::string, std::vector<uint8_t>> complete;
    for (const std::string& file : target.files) complete[file] = stableBytes(*clean, file);
    ASSERT_GT(operations, 5u);

    int failures = 0, crashesWithTable = 0, crashesWithout = 0;
    for (uint64_t stopAt = 1; stopAt <= operations; ++stopAt) {
      for (bool crash : {false, true}) {
        auto fs = foreignFolder();
        FaultInjectingFileSystem faulty(*fs, [&](const FaultPoint& p) {
          if (p.sequence != stopAt) return Fault::proceed();
          const size_t keep = p.operation == FileOperation::Write ? p.length / 2 : 0;
          return crash ? Fault::crash(keep) : Fault::fail(keep);
        });
        try {
          exportParts(faulty, target);
          ADD_FAILURE() << "no error at operation " << stopAt;
        } catch (const SimulatedCrash&) {
          EXPECT_TRUE(crash) << stopAt;
        } catch (const EngineError& e) {
          EXPECT_FALSE(crash) << stopAt << ": " << e.what();
        }
        const std::string at = std::string(crash ? "crash" : "failure") + " at operation " + std::to_string(stopAt);
        if (!crash) {
          // A reported failure leaves the folder exactly as it was.
          ++failures;
          EXPECT_EQ(fs->paths(), (std::vector<std::string>{kSchemaIni})) << at;
          EXPECT_EQ(fs->bytes(kSchemaIni), kOldSchemaIni) << at;
          continue;
        }
        // A crash leaves each file whole or absent, and the main file only
        // beside all the others.
        for (const std::string& file : target.files) {
          if (!fs->exists(file)) continue;
          const auto bytes = stableBytes(*fs, file);
          EXPECT_TRUE(bytes == complete[file] || (file == kSchemaIni && bytes == kOldSchemaIni)) << file << ", " << at;
        }
        const bool hasTable = fs->exists(target.files.back());
        if (hasTable)
          for (const std::string& file : target.files)
            EXPECT_TRUE(fs->exists(file) && stableBytes(*fs, file) == complete[file]) << file << ", " << at;
        (hasTable ? crashesWithTable : crashesWithout) += 1;
      }
    }
    EXPECT_EQ(failures, int(operations));
    EXPECT_GT(crashesWithTable, 0);
    EXPECT_GT(crashesWithout, 0);
  }
}
