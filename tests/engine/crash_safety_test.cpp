// Atomic changes: a writer killed at every step of a commit, short writes and
// failing flushes all leave a file that opens cleanly and holds either the
// state before the change or the state after it. Also the writer lock.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/format/value_text.h"
#include "engine/storage/file_io.h"
#include "engine/storage/page_file.h"
#include "engine/storage/rollback_journal.h"
#include "engine/util/error.h"
#include "engine/table/table_cursor.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

// Every row as text, for comparing whole table states.
std::string snapshot(const std::string& path) {
  auto db = Database::open(path);
  std::string out;
  for (auto& row : allRows(db, "Table1")) {
    for (auto& v : row) out += (isNull(v) ? "<null>" : valueToText(v)) + "|";
    out += "\n";
  }
  out += "count=" + std::to_string(db->table("Table1")->rowCount);
  return out;
}

// One transaction touching existing pages, new pages and the page map.
void bigChange(const std::string& path) {
  auto db = openForWriting(path);
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

int countOperations(const std::string& samplePath) {
  ScratchCopy copy(samplePath);
  int ops = 0;
  setIoFaultHook([&](IoOperation, const std::string&, size_t length) -> size_t {
    ++ops;
    return length ? length : 1;
  });
  bigChange(copy.path());
  setIoFaultHook(nullptr);
  return ops;
}

}  // namespace

TEST(CrashSafety, KilledAtEveryStepOfACommitLeavesOldOrNewState) {
  std::string oldState, newState;
  {
    ScratchCopy probe("overflowtestv2000.mdb");
    oldState = snapshot(probe.path());
    bigChange(probe.path());
    newState = snapshot(probe.path());
  }
  ASSERT_NE(oldState, newState);
  int operations = countOperations("overflowtestv2000.mdb");
  ASSERT_GT(operations, 3);
  int sawOld = 0, sawNew = 0;
  for (int killAt = 1; killAt <= operations + 1; ++killAt) {
    ScratchCopy copy("overflowtestv2000.mdb");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int ops = 0;
      setIoFaultHook([&](IoOperation op, const std::string&, size_t length) -> size_t {
        ++ops;
        if (ops == killAt && op == IoOperation::Write) return length / 2;  // a torn write...
        if (ops >= killAt) ::_exit(0);                                     // ...then the process dies
        return length ? length : 1;
      });
      try {
        bigChange(copy.path());
      } catch (...) {
      }
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    // A read-only open sees the recovered state without changing the file...
    std::string viewed = snapshot(copy.path());
    // ...and a writer's open restores it for real.
    openForWriting(copy.path()).reset();
    EXPECT_FALSE(RollbackJournal::exists(copy.path())) << killAt;
    std::string state = snapshot(copy.path());
    EXPECT_EQ(viewed, state) << "kill at " << killAt;
    EXPECT_TRUE(state == oldState || state == newState) << "kill at " << killAt;
    sawOld += state == oldState;
    sawNew += state == newState;
  }
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
}

TEST(CrashSafety, FailingFlushRollsBackAndReportsTheError) {
  ScratchCopy copy("overflowtestv2000.mdb");
  std::string before = snapshot(copy.path());
  auto bytes = copy.bytes();
  setIoFaultHook([&](IoOperation op, const std::string& path, size_t length) -> size_t {
    if (op == IoOperation::Sync && path == copy.path()) return 0;
    return length ? length : 1;
  });
  EXPECT_THROW(bigChange(copy.path()), EngineError);
  setIoFaultHook(nullptr);
  openForWriting(copy.path()).reset();
  EXPECT_EQ(snapshot(copy.path()), before);
  EXPECT_EQ(copy.bytes(), bytes);
}

TEST(CrashSafety, FailingJournalLeavesTheFileUntouched) {
  ScratchCopy copy("overflowtestv2000.mdb");
  auto bytes = copy.bytes();
  setIoFaultHook([&](IoOperation op, const std::string& path, size_t length) -> size_t {
    if (op == IoOperation::Write && path.size() > 8 && path.substr(path.size() - 8) == ".journal") return 10;
    return length ? length : 1;
  });
  EXPECT_THROW(bigChange(copy.path()), EngineError);
  setIoFaultHook(nullptr);
  EXPECT_EQ(copy.bytes(), bytes);
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
  EXPECT_FALSE(RollbackJournal::exists(copy.path()));

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
