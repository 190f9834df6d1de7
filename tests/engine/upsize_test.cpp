// Upsizing into SQLite files and a real PostgreSQL server: types, keys,
// case-insensitive uniqueness, relationships, identity counters, refusals
// that leave the target alone, and the read-back verification.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "engine/format/value_text.h"
#include "engine/storage/file_system.h"
#include "engine/table/database_creator.h"
#include "engine/table/schema_writer.h"
#include "engine/table/table_writer.h"
#include "engine/upsize/column_mapping.h"
#include "engine/upsize/parallel_steps.h"
#include "engine/upsize/postgres_binary.h"
#include "engine/upsize/postgres_row_hash.h"
#include "engine/upsize/postgres_target.h"
#include "engine/upsize/query_translation.h"
#include "engine/upsize/sqlite_target.h"
#include "engine/upsize/table_checksum.h"
#include "engine/upsize/upsize_target.h"
#include "engine/upsize/upsizer.h"
#include "jet4_samples.h"
#include "write_test_support.h"

namespace kevra::test {
namespace {

ColumnSpec col(const std::string& name, ColumnType type, uint16_t length = 0, bool required = false) {
  ColumnSpec c;
  c.name = name;
  c.type = type;
  c.length = length;
  c.required = required;
  return c;
}

IndexSpec idx(const std::string& name, std::vector<IndexColumnSpec> columns, bool primary, bool unique) {
  IndexSpec s;
  s.name = name;
  s.columns = std::move(columns);
  s.primaryKey = primary;
  s.unique = unique;
  return s;
}

std::string shellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// A database with the shapes an upsize has to carry: a text primary key,
// names with blanks, every value type, defaults, a descending index, an
// autonumber, and a cascading relationship.
class FixtureDatabase {
 public:
  FixtureDatabase() {
    char pattern[] = "/tmp/kevra-upsize-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    path_ = dir_ + "/shop.mdb";
    createDatabase(realFileSystem(), path_);
    auto db = openForWriting(path_);
    {
      TableWriter writer(db);
      SchemaWriter s(db, writer);
      ColumnSpec ratio = col("Ratio", ColumnType::Single, 4);
      ColumnSpec weight = col("Weight", ColumnType::Decimal, 17);
      weight.precision = 10;
      weight.scale = 3;
      s.createTable("Supplier List",
                    {col("Code", ColumnType::Text, 20, true), col("Supplier Name", ColumnType::Text, 100),
                     col("Rating", ColumnType::Byte, 1), col("Since", ColumnType::DateTime, 8),
                     col("Balance", ColumnType::Currency, 8), weight, col("Active", ColumnType::Boolean, 1),
                     col("Tag", ColumnType::Guid, 16), col("Note", ColumnType::Memo), ratio,
                     col("Big", ColumnType::Double, 8)},
                    {idx("PrimaryKey", {{"Code", false}}, true, true),
                     idx("By name", {{"Supplier Name", true}, {"Rating", false}}, false, false)});
      s.setDefaultValue("Supplier List", "Since", "Now()");
      s.setDefaultValue("Supplier List", "Balance", "0");
      s.setDefaultValue("Supplier List", "Supplier Name", "\"n/a\"");
      s.setDefaultValue("Supplier List", "Rating", "=[Balance]+1");
      ColumnSpec id = col("Part ID", ColumnType::Long, 4);
      id.autoNumber = true;
      s.createTable("Parts", {id, col("Supplier", ColumnType::Text, 20), col("Label", ColumnType::Text, 30),
                              col("Price", ColumnType::Currency, 8)},
                    {idx("PrimaryKey", {{"Part ID", false}}, true, true),
                     idx("Label", {{"Label", false}}, false, true)});
      RelationshipSpec r;
      r.name = "SupplierParts";
      r.table = "Parts";
      r.columns = {"Supplier"};
      r.referencedTable = "Supplier List";
      r.referencedColumns = {"Code"};
      r.cascadeUpdates = true;
      r.cascadeDeletes = true;
      s.addRelationship(r);
      // A relationship to a unique text index that is not the primary key.
      s.createTable("Stock", {col("Label", ColumnType::Text, 60), col("Count", ColumnType::Long, 4)});
      RelationshipSpec stock;
      stock.name = "PartStock";
      stock.table = "Stock";
      stock.columns = {"Label"};
      stock.referencedTable = "Parts";
      stock.referencedColumns = {"Label"};
      s.addRelationship(stock);
    }
    std::string memo(200000, 'm');
    memo += "\ttab\\back\nline";
    runSql(db, "INSERT INTO [Supplier List] (Code, [Supplier Name], Rating, Since, Balance, Weight, Active, Tag, "
               "[Note], Ratio, Big) VALUES ('abc', 'Acme', 255, #2024-02-29 13:45:07#, 12345678.9012, "
               "1234567.125, True, '{6F9619FF-8B86-D011-B42D-00C04FC964FF}', '" + memo + "', 0.1, 1e300)");
    runSql(db, "INSERT INTO [Supplier List] (Code, [Supplier Name], Since, Balance, Active) VALUES "
               "('XYZ', NULL, #1899-12-30#, -0.0001, False)");
    runSql(db, "INSERT INTO [Supplier List] (Code) VALUES ('Nulls')");
    for (int i = 1; i <= 5; ++i)
      runSql(db, "INSERT INTO Parts (Supplier, Label, Price) VALUES ('" + std::string(i % 2 ? "abc" : "XYZ") +
                     "', 'Part " + std::to_string(i) + "', " + std::to_string(i) + ".5)");
    runSql(db, "DELETE FROM Parts WHERE [Part ID] = 5");  // the counter continues after 5, not after 4
  }
  ~FixtureDatabase() { std::filesystem::remove_all(dir_); }
  const std::string& path() const { return path_; }
  std::string scratch(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_, path_;
};

std::string sqlite(const std::string& file, const std::string& sql) {
  auto [code, out] = runCommand("sqlite3 -batch " + shellQuote(file) + " " + shellQuote(sql));
  return (code ? "ERROR " : "") + out;
}

UpsizeReport upsizeTo(const std::string& file, const std::string& target, UpsizeOptions options = {},
                      const std::string& password = "", const std::string& schema = "") {
  OpenOptions o;
  o.password = password;
  auto db = Database::open(file, o);
  auto t = openUpsizeTarget(target, schema);
  return upsizeDatabase(*db, *t, options);
}

TEST(UpsizeMapping, DefaultsTranslateOnlyWhenTheyAreConstants) {
  using K = ValueKind;
  const auto pg = TargetDialect::PostgreSQL;
  EXPECT_EQ(translateDefault("Now()", K::Timestamp, pg), "CURRENT_TIMESTAMP");
  EXPECT_EQ(translateDefault("=date()", K::Timestamp, pg), "CURRENT_DATE");
  EXPECT_EQ(translateDefault("GenGUID()", K::Uuid, pg), "gen_random_uuid()");
  EXPECT_EQ(translateDefault("\"it's \"\"x\"\"\"", K::Text, pg), "'it''s \"x\"'");
  EXPECT_EQ(translateDefault("Yes", K::Boolean, pg), "TRUE");
  EXPECT_EQ(translateDefault("0", K::Boolean, TargetDialect::SQLite), "0");
  EXPECT_EQ(translateDefault("-12.5", K::Exact, pg), "-12.5");
  EXPECT_EQ(translateDefault("#2001-02-03#", K::Timestamp, pg), "'2001-02-03 00:00:00'");
  EXPECT_EQ(translateDefault("[Other]+1", K::Integer, pg), std::nullopt);
  EXPECT_EQ(translateDefault("\"a\" & \"b\"", K::Text, pg), std::nullopt);
  EXPECT_EQ(translateDefault("1.5", K::Integer, pg), std::nullopt);
  EXPECT_EQ(translateDefault("Now()", K::Text, pg), std::nullopt);
}

TEST(UpsizeMapping, ValuesKeepTheirExactTextAndTargetsNormalizeToIt) {
  EXPECT_EQ(canonicalText(Currency{-1}, ValueKind::Exact), "-0.0001");
  EXPECT_EQ(normalizeTargetText("-0.0001", ValueKind::Exact), "-0.0001");
  EXPECT_EQ(normalizeTargetText("3.5000", ValueKind::Exact), canonicalText(Currency{35000}, ValueKind::Exact));
  EXPECT_EQ(normalizeTargetText("0.0000", ValueKind::Exact), canonicalText(Currency{0}, ValueKind::Exact));
  EXPECT_EQ(canonicalText(DateTime{0.5}, ValueKind::Timestamp), "1899-12-30 12:00:00");
  EXPECT_EQ(canonicalText(fromCivil({2024, 2, 29, 1, 2, 3, 120}), ValueKind::Timestamp), "2024-02-29 01:02:03.12");
  EXPECT_THROW(canonicalText(DateTime{1e9}, ValueKind::Timestamp), EngineError);
  EXPECT_THROW(canonicalText(std::string("a\0b", 3), ValueKind::Text), EngineError);
  EXPECT_EQ(normalizeTargetText("0.10000000149011612", ValueKind::Single), canonicalText(0.1f, ValueKind::Single));
  EXPECT_EQ(normalizeTargetText("t", ValueKind::Boolean), canonicalText(true, ValueKind::Boolean));
  EXPECT_EQ(normalizeTargetText("\\x00ff", ValueKind::Bytes), canonicalText(Binary{0, 255}, ValueKind::Bytes));
}

// A row the encoder cannot finish (a number too wide for its column) leaves
// the buffer as it was: the rows before it stay whole, nothing half-written.
TEST(UpsizeMapping, ARowThatCannotBeEncodedLeavesTheCopyBufferAsItWas) {
  MappedColumn text, small;
  text.kind = ValueKind::Text;
  small.kind = ValueKind::Integer;
  small.integerBytes = 2;
  const std::vector<MappedColumn> columns = {text, small};
  std::string buffer(binaryCopyHeader());
  appendBinaryRow(buffer, {std::string(3000, 'x'), int32_t(7)}, columns);
  const std::string before = buffer;
  EXPECT_THROW(appendBinaryRow(buffer, {std::string(5000, 'y'), int32_t(70000)}, columns), EngineError);
  EXPECT_EQ(buffer, before);
  // What is there still reads back as one whole row.
  int rows = 0;
  BinaryCopyReader reader([&](const char*, size_t size) {
    ++rows;
    EXPECT_EQ(size, 2u + 4 + 3000 + 4 + 2);
  });
  reader.feed(buffer.data(), buffer.size());
  EXPECT_EQ(rows, 1);
}

// A target that only records which steps ran on it.
class StepLog : public UpsizeTarget {
 public:
  TargetDialect dialect() const override { return TargetDialect::PostgreSQL; }
  std::string description() const override { return "steps"; }
  size_t maxNameBytes() const override { return 63; }
  std::string tableName(const std::string& name) const override { return name; }
  bool tableExists(const std::string&) override { return false; }
  void execute(const std::string&) override {}
  uint64_t count(const std::string&) override { return 0; }
  void begin() override {}
  void commit() override {}
  void rollback() override {}
  std::unique_ptr<RowStream> insertInto(const std::string&, const std::vector<MappedColumn>&) override { return nullptr; }
  TableChecksum targetChecksum(const std::string&, const std::vector<MappedColumn>&) override { return {}; }
};

std::vector<std::unique_ptr<UpsizeTarget>> stepLogs(int n) {
  std::vector<std::unique_ptr<UpsizeTarget>> out;
  for (int i = 0; i < n; ++i) out.push_back(std::make_unique<StepLog>());
  return out;
}

// Index builds go before read-backs queued ahead of them, waiting for the
// builds does not wait for a read-back still running, and a failure ends
// every wait.
TEST(UpsizeParallelSteps, BuildsGoFirstAndCanBeWaitedForAlone) {
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  {
    // The only connection is held by a step until released, so what is
    // queued meanwhile is taken in the order the groups give.
    ParallelSteps steps(stepLogs(1));
    std::vector<std::string> order;
    auto note = [&](const std::string& what) {
      std::lock_guard lock(m);
      order.push_back(what);
    };
    steps.add([&](UpsizeTarget&) {
      std::unique_lock lock(m);
      cv.wait(lock, [&] { return release; });
    }, 2);
    steps.add([&](UpsizeTarget&) { note("read-back"); }, 2);
    steps.add([&](UpsizeTarget&) { note("build 1"); }, 1);
    steps.add([&](UpsizeTarget&) { note("build 2"); }, 1);
    {
      std::lock_guard lock(m);
      release = true;
    }
    cv.notify_all();
    steps.wait();
    EXPECT_EQ(order, (std::vector<std::string>{"build 1", "build 2", "read-back"}));
  }
  {
    ParallelSteps steps(stepLogs(2));
    bool readBackGoes = false;
    std::atomic<bool> readBackDone{false};
    steps.add([&](UpsizeTarget&) {
      std::unique_lock lock(m);
      cv.wait_for(lock, std::chrono::seconds(5), [&] { return readBackGoes; });
      readBackDone = true;
    }, 2);
    steps.add([](UpsizeTarget&) {}, 1);
    steps.wait(1);
    EXPECT_FALSE(readBackDone);  // still held: wait(1) did not wait for it
    {
      std::lock_guard lock(m);
      readBackGoes = true;
    }
    cv.notify_all();
    steps.wait();
    EXPECT_TRUE(readBackDone);
  }
  {
    ParallelSteps steps(stepLogs(1));
    steps.add([](UpsizeTarget&) { throw EngineError("refused"); }, 1);
    steps.add([](UpsizeTarget&) {}, 2);
    EXPECT_THROW(steps.wait(2), EngineError);
    EXPECT_THROW(steps.wait(1), EngineError);
    EXPECT_THROW(steps.wait(), EngineError);
  }
}

// While the other connections are busy, the caller's own takes the queued
// builds and leaves later groups to them; a failure there ends the waits.
TEST(UpsizeParallelSteps, TheCallersConnectionTakesQueuedBuilds) {
  for (bool failing : {false, true}) {
    std::mutex m;
    std::condition_variable cv;
    bool held = false, release = false;
    ParallelSteps steps(stepLogs(1));
    StepLog here;
    std::vector<std::pair<std::string, const UpsizeTarget*>> ran;
    auto note = [&](const std::string& what, const UpsizeTarget& on) {
      std::lock_guard lock(m);
      ran.emplace_back(what, &on);
    };
    steps.add([&](UpsizeTarget&) {
      std::unique_lock lock(m);
      held = true;
      cv.notify_all();
      cv.wait(lock, [&] { return release; });
    }, 2);
    {
      std::unique_lock lock(m);
      cv.wait(lock, [&] { return held; });  // the only worker is busy from here on
    }
    steps.add([&](UpsizeTarget& c) {
      note("build 1", c);
      if (failing) throw EngineError("refused");
    }, 1);
    steps.add([&](UpsizeTarget& c) { note("build 2", c); }, 1);
    steps.add([&](UpsizeTarget& c) { note("read-back", c); }, 2);
    steps.runHere(here, 1);
    {
      std::lock_guard lock(m);
      if (failing)
        EXPECT_EQ(ran, (std::vector<std::pair<std::string, const UpsizeTarget*>>{{"build 1", &here}}));
      else
        EXPECT_EQ(ran, (std::vector<std::pair<std::string, const UpsizeTarget*>>{{"build 1", &here}, {"build 2", &here}}));
      release = true;
    }
    cv.notify_all();
    if (failing) {
      EXPECT_THROW(steps.wait(1), EngineError);
      EXPECT_EQ(ran.size(), 1u);  // nothing queued ran after the failure
    } else {
      steps.wait();
      ASSERT_EQ(ran.size(), 3u);
      EXPECT_EQ(ran[2].first, "read-back");
      EXPECT_NE(ran[2].second, &here);
    }
  }
}

TEST(UpsizeQueries, JetExpressionsTranslateOrAreRefusedByName) {
  const auto pg = TargetDialect::PostgreSQL;
  const auto lite = TargetDialect::SQLite;
  EXPECT_EQ(translateExpression("IIf([Qty]>1, \"many\" & [Unit Name], Nz(Note, 'none'))", pg),
            "(CASE WHEN \"Qty\" > 1 THEN 'many' || \"Unit Name\" ELSE COALESCE(\"Note\", 'none') END)");
  EXPECT_EQ(translateExpression("Len(Mid(a, 2, 3)) = 3 And b Is Not Null", lite),
            "length(substr(\"a\", 2, 3)) = 3 AND \"b\" IS NOT NULL");
  EXPECT_EQ(translateExpression("Name Like \"a*b?%\"", pg), "\"Name\" ILIKE 'a%b_\\%'");
  EXPECT_EQ(translateExpression("Name Like 'a*'", lite), "\"Name\" LIKE 'a%'");
  EXPECT_EQ(translateExpression("d >= #2001-02-03 04:05:06#", pg), "\"d\" >= TIMESTAMP '2001-02-03 04:05:06'");
  EXPECT_EQ(translateExpression("x In (1, 2) Or y = True", lite), "\"x\" IN (1 , 2) OR \"y\" = 1");
  auto refusal = [&](const std::string& jet) {
    try {
      translateExpression(jet, pg);
    } catch (const EngineError& e) {
      return std::string(e.what());
    }
    return std::string("translated");
  };
  EXPECT_EQ(refusal("Format(d, \"yyyy\")"), "the function Format()");
  EXPECT_EQ(refusal("Name Like \"#*\""), "a LIKE pattern with # or [ ]");
  EXPECT_EQ(refusal("a \\ b"), "the operator \\");
  EXPECT_EQ(refusal("Nz(a)"), "Nz with 1 arguments");
}

TEST(UpsizeMapping, ChecksumIgnoresOrderButNotContent) {
  auto digest = [](std::vector<std::vector<std::optional<std::string>>> rows) {
    TableChecksum c;
    for (auto& r : rows) {
      c.beginRow();
      for (auto& f : r) c.addField(f);
      c.endRow();
    }
    return c.digest();
  };
  using R = std::vector<std::optional<std::string>>;
  const auto base = digest({R{"a", "1"}, R{"b", std::nullopt}});
  EXPECT_EQ(base, digest({R{"b", std::nullopt}, R{"a", "1"}}));
  EXPECT_NE(base, digest({R{"b", ""}, R{"a", "1"}}));        // NULL is not the empty text
  EXPECT_NE(base, digest({R{"a1", ""}, R{"b", std::nullopt}}));  // field borders count
  EXPECT_NE(base, digest({R{"a", "1"}, R{"a", "1"}, R{"b", std::nullopt}}));
}

class UpsizeSqliteSample : public ::testing::TestWithParam<const char*> {};

TEST_P(UpsizeSqliteSample, EveryTableArrivesAndVerifies) {
  std::string name = GetParam();
  char pattern[] = "/tmp/kevra-upsize-XXXXXX";
  std::string dir = ::mkdtemp(pattern);
  const std::string password = name == "v2000_with-password.mdb" ? "password" : "";
  UpsizeReport report = upsizeTo(sample(name), "sqlite:" + dir + "/out.db", {}, password);
  EXPECT_TRUE(report.verified()) << report.text();
  OpenOptions o;
  o.password = password;
  auto db = Database::open(sample(name), o);
  EXPECT_EQ(report.tables.size(), db->userTableNames().size());
  for (const auto& t : report.tables)
    EXPECT_EQ(sqlite(dir + "/out.db", "SELECT count(*) FROM \"" + t.name + "\""), std::to_string(t.sourceRows) + "\n");
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Samples, UpsizeSqliteSample, kJet4Samples, sampleParamName);

TEST(UpsizeSqlite, KeysRelationshipsAndValuesSurvive) {
  FixtureDatabase fixture;
  const std::string out = fixture.scratch("shop.db");
  UpsizeReport report = upsizeTo(fixture.path(), "sqlite:" + out);
  ASSERT_TRUE(report.verified()) << report.text();
  EXPECT_EQ(sqlite(out, "SELECT Balance, Weight, Since, Active, Tag, length(Note), Ratio FROM \"Supplier List\" "
                        "WHERE Code = 'abc'"),
            "12345678.9012|1234567.125|2024-02-29 13:45:07|1|6f9619ff-8b86-d011-b42d-00c04fc964ff|200014|"
            "0.100000001490116\n");
  // Text keys compare without case, as in the file.
  EXPECT_NE(sqlite(out, "INSERT INTO \"Supplier List\" (Code, Active) VALUES ('ABC', 0)").find("UNIQUE"),
            std::string::npos);
  EXPECT_EQ(sqlite(out, "SELECT count(*) FROM \"Supplier List\" WHERE Code = 'ABC'"), "1\n");
  // The relationship is a foreign key with its cascades.
  EXPECT_NE(sqlite(out, "PRAGMA foreign_keys=ON; INSERT INTO Parts (Supplier) VALUES ('nobody')").find("FOREIGN KEY"),
            std::string::npos);
  EXPECT_EQ(sqlite(out, "PRAGMA foreign_keys=ON; DELETE FROM \"Supplier List\" WHERE Code='XYZ'; "
                        "SELECT count(*) FROM Parts"),
            "2\n");
  // The counter continues after the largest number copied (5 was deleted in the file).
  EXPECT_EQ(sqlite(out, "INSERT INTO Parts (Label) VALUES ('new'); SELECT max(\"Part ID\") FROM Parts"), "5\n");
  EXPECT_NE(sqlite(out, "SELECT sql FROM sqlite_master WHERE name = 'Supplier List_By name'").find("DESC"),
            std::string::npos);
}

TEST(UpsizeSqlite, SavedSelectQueriesBecomeViewsOrAreListed) {
  char pattern[] = "/tmp/kevra-upsize-XXXXXX";
  std::string dir = ::mkdtemp(pattern);
  UpsizeReport report = upsizeTo(sample("querytestv2000.mdb"), "sqlite:" + dir + "/q.db");
  EXPECT_EQ(sqlite(dir + "/q.db", "SELECT type || ':' || name FROM sqlite_master WHERE type = 'view'"),
            "view:SelectQuery\n");
  EXPECT_EQ(sqlite(dir + "/q.db", "SELECT count(*) FROM SelectQuery"), "0\n");
  const std::string text = report.text();
  EXPECT_NE(text.find("Query 'UpdateQuery' not carried over: not a select query."), std::string::npos) << text;
  report = upsizeTo(sample("accesslike.mdb"), "sqlite:" + dir + "/l.db");
  EXPECT_NE(report.text().find("'q_like2' not carried over: its SQL holds a LIKE pattern with # or [ ]"),
            std::string::npos)
      << report.text();
  std::filesystem::remove_all(dir);
}

TEST(UpsizeSqlite, AnExistingTableIsRefusedAndTheTargetLeftAlone) {
  FixtureDatabase fixture;
  const std::string out = fixture.scratch("taken.db");
  sqlite(out, "CREATE TABLE parts (x); INSERT INTO parts VALUES (42)");
  const std::string before = sqlite(out, "SELECT name FROM sqlite_master ORDER BY name");
  try {
    upsizeTo(fixture.path(), "sqlite:" + out);
    ADD_FAILURE() << "accepted";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("'Parts' already exists"), std::string::npos) << e.what();
  }
  EXPECT_EQ(sqlite(out, "SELECT name FROM sqlite_master ORDER BY name"), before);
  EXPECT_EQ(sqlite(out, "SELECT x FROM parts"), "42\n");
  UpsizeOptions replace;
  replace.replace = true;
  EXPECT_TRUE(upsizeTo(fixture.path(), "sqlite:" + out, replace).verified());
  EXPECT_EQ(sqlite(out, "SELECT count(*) FROM Parts"), "4\n");
}

// A target that loses the last row of Parts on the way: verification must see it.
class LossyTarget : public SqliteTarget {
 public:
  using SqliteTarget::SqliteTarget;
  std::unique_ptr<RowStream> insertInto(const std::string& table, const std::vector<MappedColumn>& columns) override {
    auto inner = SqliteTarget::insertInto(table, columns);
    if (table != "Parts") return inner;
    struct Lossy : RowStream {
      std::unique_ptr<RowStream> inner;
      std::optional<std::vector<Value>> held;
      void row(const std::vector<Value>& f, TableChecksum& checksum) override {
        if (held) inner->row(*held, checksum);
        held = f;
      }
      void finish() override { inner->finish(); }
    };
    auto lossy = std::make_unique<Lossy>();
    lossy->inner = std::move(inner);
    return lossy;
  }
};

TEST(UpsizeSqlite, VerificationSeesARowLostOnTheWay) {
  FixtureDatabase fixture;
  auto db = Database::open(fixture.path());
  {
    LossyTarget target(fixture.scratch("lossy.db"));
    UpsizeReport report = upsizeDatabase(*db, target, {});
    EXPECT_FALSE(report.verified());
    EXPECT_NE(report.text().find("DIFFERENCES FOUND"), std::string::npos);
    for (const auto& t : report.tables) EXPECT_EQ(t.verified(), t.name != "Parts") << t.name;
  }
  // With --atomic the difference undoes everything.
  LossyTarget target(fixture.scratch("lossy-atomic.db"));
  UpsizeOptions atomic;
  atomic.atomic = true;
  EXPECT_THROW(upsizeDatabase(*db, target, atomic), EngineError);
  EXPECT_FALSE(std::filesystem::exists(fixture.scratch("lossy-atomic.db")));
}

TEST(UpsizeSqlite, ATypeWithNoCounterpartIsRefusedByName) {
  FixtureDatabase fixture;
  {
    auto db = openForWriting(fixture.path());
    TableWriter writer(db);
    SchemaWriter s(db, writer);
    ColumnSpec odd = col("Attachment", ColumnType::Binary, 0);
    odd.storedType = 0x11;
    s.createTable("Odd", {col("ID", ColumnType::Long, 4), odd});
  }
  const std::string out = fixture.scratch("odd.db");
  try {
    upsizeTo(fixture.path(), "sqlite:" + out);
    ADD_FAILURE() << "accepted";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("Column 'Attachment' of table 'Odd' has a type"), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(UpsizeSqlite, ACancelLeavesNoNewFileAndNoTables) {
  FixtureDatabase fixture;
  const std::string fresh = fixture.scratch("fresh.db");
  UpsizeOptions cancel;
  cancel.progress = [](const std::string& table, uint64_t) { return table != "Parts"; };
  EXPECT_THROW(upsizeTo(fixture.path(), "sqlite:" + fresh, cancel), UpsizeCancelled);
  EXPECT_FALSE(std::filesystem::exists(fresh));
  const std::string existing = fixture.scratch("existing.db");
  sqlite(existing, "CREATE TABLE keep (x)");
  EXPECT_THROW(upsizeTo(fixture.path(), "sqlite:" + existing, cancel), UpsizeCancelled);
  // (SQLite's own counter table, once made, stays.)
  EXPECT_EQ(sqlite(existing, "SELECT group_concat(name) FROM sqlite_master WHERE name NOT LIKE 'sqlite%'"), "keep\n");
}

// The file is read in one state: while the upsize runs, a writer elsewhere
// cannot take the lock it needs to put pages into the file.
TEST(UpsizeSqlite, AWriterElsewhereWaitsUntilTheUpsizeEnds) {
  FixtureDatabase fixture;
  auto probe = realFileSystem().open(fixture.path(), OpenMode::ReadWrite);  // as a writer opens it
  int probes = 0;
  UpsizeOptions watch;
  watch.progress = [&](const std::string&, uint64_t) {
    ++probes;
    EXPECT_FALSE(probe->lockReaders(true, 0));
    return true;
  };
  EXPECT_TRUE(upsizeTo(fixture.path(), "sqlite:" + fixture.scratch("locked.db"), watch).verified());
  EXPECT_GT(probes, 0);
  EXPECT_TRUE(probe->lockReaders(true, 0));
  probe->unlockReaders();
}

// A PostgreSQL server of its own for each test, on a Unix socket in a
// temporary folder (scripts/pg-test-server.sh).
class UpsizePostgres : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kevra-pg-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    auto [code, out] = runCommand(std::string(KEVRA_SCRIPTS_DIR) + "/pg-test-server.sh start " + dir_);
    ASSERT_EQ(code, 0) << out;
    conninfo_ = out.substr(0, out.find('\n'));
  }
  void TearDown() override { runCommand(std::string(KEVRA_SCRIPTS_DIR) + "/pg-test-server.sh stop " + dir_); }
  std::string psql(const std::string& sql) {
    auto [code, out] = runCommand("psql -X -A -t -q -v ON_ERROR_STOP=1 " + shellQuote(conninfo_) + " -c " +
                                  shellQuote(sql));
    return (code ? "ERROR " : "") + out;
  }
  std::pair<int, std::string> cli(const std::string& file, const std::string& extra = "") {
    return runCommand(std::string(KEVRA_CLI_PATH) + " upsize " + shellQuote(file) + " " + shellQuote(conninfo_) +
                      " --report " + dir_ + "/report.txt " + extra);
  }
  std::string dir_, conninfo_;
};

TEST_F(UpsizePostgres, SchemaKeysAndDataArriveAsMapped) {
  FixtureDatabase fixture;
  auto [code, out] = cli(fixture.path());
  ASSERT_EQ(code, 0) << out;
  EXPECT_NE(out.find("every table matches"), std::string::npos) << out;
  std::ifstream report(dir_ + "/report.txt");
  std::string reportText((std::istreambuf_iterator<char>(report)), {});
  EXPECT_NE(reportText.find("default =[Balance]+1 not translated"), std::string::npos) << reportText;

  EXPECT_EQ(psql("SELECT column_name || ':' || data_type || ':' || coalesce(character_maximum_length::text, '') || "
                 "':' || coalesce(numeric_precision::text, '') || ',' || coalesce(numeric_scale::text, '') || ':' || "
                 "is_nullable || ':' || coalesce(column_default, '') FROM information_schema.columns "
                 "WHERE table_name = 'Supplier List' ORDER BY ordinal_position"),
            "Code:character varying:10:,:NO:\n"
            "Supplier Name:character varying:50:,:YES:'n/a'::character varying\n"
            "Rating:smallint::16,0:YES:\n"
            "Since:timestamp without time zone::,:YES:CURRENT_TIMESTAMP\n"
            "Balance:numeric::19,4:YES:0\n"
            "Weight:numeric::10,3:YES:\n"
            "Active:boolean::,:NO:\n"
            "Tag:uuid::,:YES:\n"
            "Note:text::,:YES:\n"
            "Ratio:real::24,:YES:\n"
            "Big:double precision::53,:YES:\n");
  EXPECT_EQ(psql("SELECT \"Balance\", \"Weight\", \"Since\", \"Active\", \"Tag\", length(\"Note\"), "
                 "right(\"Note\", 14) = E'\\ttab\\\\back\\nline', \"Big\" FROM \"Supplier List\" WHERE \"Code\" = 'abc'"),
            "12345678.9012|1234567.125|2024-02-29 13:45:07|t|6f9619ff-8b86-d011-b42d-00c04fc964ff|200014|t|"
            "1e+300\n");
  // Identity continues after the largest number copied (5 was deleted in the file).
  EXPECT_EQ(psql("INSERT INTO \"Parts\" (\"Label\") VALUES ('new') RETURNING \"Part ID\""), "5\n");
  // Byte keeps its range.
  EXPECT_NE(psql("UPDATE \"Supplier List\" SET \"Rating\" = 256 WHERE \"Code\" = 'abc'").find("check constraint"),
            std::string::npos);
  // Case-insensitive keys: 'ABC' collides with 'abc', and so does a unique text index.
  EXPECT_NE(psql("INSERT INTO \"Supplier List\" (\"Code\", \"Active\") VALUES ('ABC', false)").find("duplicate key"),
            std::string::npos);
  EXPECT_NE(psql("INSERT INTO \"Parts\" (\"Label\") VALUES ('PART 1')").find("duplicate key"), std::string::npos);
  EXPECT_EQ(psql("SELECT count(*) FROM \"Supplier List\" WHERE \"Code\" LIKE 'a%'"), "1\n");
  // The foreign key holds, with its cascades.
  EXPECT_NE(psql("INSERT INTO \"Parts\" (\"Supplier\") VALUES ('nobody')").find("foreign key"), std::string::npos);
  EXPECT_EQ(psql("SELECT constraint_name || ':' || update_rule || ',' || delete_rule FROM "
                 "information_schema.referential_constraints ORDER BY 1"),
            "PartStock:NO ACTION,NO ACTION\nSupplierParts:CASCADE,CASCADE\n");
  EXPECT_NE(psql("INSERT INTO \"Stock\" (\"Label\") VALUES ('part 1')").find("foreign key"), std::string::npos);
  EXPECT_EQ(psql("INSERT INTO \"Stock\" (\"Label\") VALUES ('Part 1')"), "");
  EXPECT_EQ(psql("UPDATE \"Supplier List\" SET \"Code\" = 'abd' WHERE \"Code\" = 'abc'; "
                 "SELECT count(*) FROM \"Parts\" WHERE \"Supplier\" = 'abd'"),
            "2\n");
  EXPECT_NE(psql("SELECT indexdef FROM pg_indexes WHERE indexname = 'Supplier List_By name'").find("DESC"),
            std::string::npos);
}

TEST_F(UpsizePostgres, RefusalsLeaveTheServerAsItWas) {
  FixtureDatabase fixture;
  psql("CREATE TABLE \"Parts\" (x int); INSERT INTO \"Parts\" VALUES (7)");
  auto [code, out] = cli(fixture.path());
  EXPECT_NE(code, 0);
  EXPECT_NE(out.find("'Parts' already exists"), std::string::npos) << out;
  EXPECT_EQ(psql("SELECT string_agg(table_name, ',') FROM information_schema.tables WHERE table_schema = 'public'"),
            "Parts\n");
  // --atomic: a failure in the middle (a text value PostgreSQL cannot hold)
  // rolls everything back, the replaced table included.
  {
    auto db = openForWriting(fixture.path());
    runSql(db, "INSERT INTO Parts (Label) VALUES ('bad" + std::string(1, '\0') + "')");
  }
  auto [atomicCode, atomicOut] = cli(fixture.path(), "--atomic --replace");
  EXPECT_NE(atomicCode, 0);
  EXPECT_NE(atomicOut.find("NUL"), std::string::npos) << atomicOut;
  EXPECT_EQ(psql("SELECT string_agg(table_name, ',') FROM information_schema.tables WHERE table_schema = 'public'"),
            "Parts\n");
  EXPECT_EQ(psql("SELECT x FROM \"Parts\""), "7\n");
  // Without --atomic the tables made before the failure are dropped again,
  // while their indexes were being built on the other connections.
  auto [freshCode, freshOut] = cli(fixture.path(), "--schema fresh");
  EXPECT_NE(freshCode, 0);
  EXPECT_NE(freshOut.find("NUL"), std::string::npos) << freshOut;
  EXPECT_EQ(psql("SELECT count(*) FROM information_schema.tables WHERE table_schema = 'fresh'"), "0\n");
  auto [badCode, badOut] =
      runCommand(std::string(KEVRA_CLI_PATH) + " upsize " + shellQuote(fixture.path()) + " 'host=" + dir_ +
                 " port=1 user=kevra dbname=postgres'");
  EXPECT_NE(badCode, 0);
  EXPECT_NE(badOut.find("Could not connect to the PostgreSQL server"), std::string::npos) << badOut;
}

// The far ends of each type, written in their binary forms, read back by
// the server's own text output.
TEST_F(UpsizePostgres, ValuesArriveExactlyAtTheEndsOfTheirRanges) {
  FixtureDatabase fixture;
  {
    auto db = openForWriting(fixture.path());
    TableWriter writer(db);
    {
      SchemaWriter s(db, writer);
      ColumnSpec amount = col("Amount", ColumnType::Decimal, 17);
      amount.precision = 28;
      amount.scale = 6;
      s.createTable("Edge", {col("N", ColumnType::Long, 4), col("When", ColumnType::DateTime, 8),
                             col("Money", ColumnType::Currency, 8), amount, col("Small", ColumnType::Single, 4),
                             col("Wide", ColumnType::Double, 8), col("Tiny", ColumnType::Byte, 1),
                             col("Short", ColumnType::Integer, 2), col("Blob", ColumnType::OLE)},
                    {});
    }
    auto def = db->table("Edge");
    auto add = [&](std::vector<std::optional<Value>> row) { writer.insertRow(*def, row); };
    auto decimal = [](bool negative, unsigned __int128 magnitude) {
      Decimal d;
      d.negative = negative;
      d.magnitude = magnitude;
      d.precision = 28;
      d.scale = 6;
      return Value(d);
    };
    writer.begin();
    unsigned __int128 big = 98765432109876543ull;
    big = big * 1000000000ull + 210123456ull;
    add({Value(int32_t(1)), Value(DateTime{-1.25}), Value(Currency{INT64_MAX}), decimal(true, big), Value(0.1f),
         Value(-2.5e-310), Value(uint8_t(255)), Value(int16_t(-32768)), Value(Binary{0x00, 0xff, 0x5c})});
    add({Value(int32_t(2)), Value(fromCivil({100, 1, 1, 0, 0, 0, 0})), Value(Currency{INT64_MIN}),
         decimal(false, 1), Value(-0.0f), Value(0.0), Value(uint8_t(0)), Value(int16_t(32767)), Value(Binary{})});
    add({Value(int32_t(3)), Value(fromCivil({9999, 12, 31, 23, 59, 59, 999})), Value(Currency{0}),
         decimal(false, 10000000000ull), Value(3.4028235e38f), Value(1.7976931348623157e308), std::nullopt,
         std::nullopt, std::nullopt});
    add({Value(int32_t(4)), Value(fromCivil({2024, 2, 29, 13, 45, 7, 250})), Value(Currency{-1}), decimal(true, 0),
         Value(1e-45f), Value(-1.0), std::nullopt, std::nullopt, std::nullopt});
    writer.commit();
  }
  auto [code, out] = cli(fixture.path());
  ASSERT_EQ(code, 0) << out;
  EXPECT_NE(out.find("every table matches"), std::string::npos) << out;
  EXPECT_EQ(psql("SELECT \"When\", \"Money\", \"Amount\", \"Small\", \"Wide\", \"Tiny\", \"Short\", "
                 "encode(\"Blob\", 'hex') FROM \"Edge\" ORDER BY \"N\""),
            "1899-12-29 06:00:00|922337203685477.5807|-98765432109876543210.123456|0.1|-2.5e-310|255|-32768|00ff5c\n"
            "0100-01-01 00:00:00|-922337203685477.5808|0.000001|-0|0|0|32767|\n"
            "9999-12-31 23:59:59.999|0.0000|10000.000000|3.4028235e+38|1.7976931348623157e+308|||\n"
            "2024-02-29 13:45:07.25|-0.0001|0.000000|1e-45|-1|||\n");
}

// Every kind of value, at the ends of its range and between, hashes here as
// the server hashes it stored: row by row, and summed as the verification
// sums them.
TEST_F(UpsizePostgres, ServerHashesAgreeWithTheOnesComputedHere) {
  auto column = [](const char* name, ValueKind kind, const char* sqlType, int integerBytes = 0, int scale = 0) {
    MappedColumn c;
    c.name = name;
    c.kind = kind;
    c.typeSql = sqlType;
    c.integerBytes = integerBytes;
    c.scale = scale;
    return c;
  };
  const std::vector<MappedColumn> columns = {
      column("N", ValueKind::Integer, "integer", 4),       column("Yes", ValueKind::Boolean, "boolean"),
      column("Small", ValueKind::Integer, "smallint", 2),  column("Big", ValueKind::Integer, "bigint", 8),
      column("Single", ValueKind::Single, "real"),         column("Double", ValueKind::Double, "double precision"),
      column("Money", ValueKind::Exact, "numeric(19,4)", 0, 4),
      column("Amount", ValueKind::Exact, "numeric(28,6)", 0, 6),
      column("When", ValueKind::Timestamp, "timestamp"),   column("Text", ValueKind::Text, "text"),
      column("Tag", ValueKind::Uuid, "uuid")};
  std::string create = "CREATE TABLE \"Hashes\" (";
  for (size_t i = 0; i < columns.size(); ++i) create += (i ? ", \"" : "\"") + columns[i].name + "\" " + columns[i].typeSql;
  ASSERT_EQ(psql(create + ")"), "");
  auto decimal = [](bool negative, unsigned __int128 magnitude) {
    Decimal d;
    d.negative = negative, d.magnitude = magnitude, d.precision = 28, d.scale = 6;
    return Value(d);
  };
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Value> doubles = {0.0, -0.0, 1.5, -2.5e-310, 1.7976931348623157e308, inf, -inf, nan};
  const std::vector<Value> moneys = {Currency{0}, Currency{-1}, Currency{INT64_MAX}, Currency{INT64_MIN},
                                     Currency{10000}, Currency{123456789}};
  const std::vector<Value> amounts = {decimal(false, 0), decimal(true, 0), decimal(true, 1),
                                      decimal(false, 100000000), decimal(true, 12345678901234567ull)};
  std::vector<std::vector<Value>> rows;
  const std::vector<std::string> letters = {"Z", "ü", "r", "i", "c", "h", " ", "東", "京", " "};
  auto text = [&](int n) {  // n characters: every length in bytes from 0 to past 30
    std::string t;
    for (int i = 0; i < n; ++i) t += i < int(letters.size()) ? letters[size_t(i)] : std::string(1, char('a' + i % 26));
    return t;
  };
  for (int n = 0; n < 30; ++n) {
    Guid tag;
    for (int i = 0; i < 16; ++i) tag.bytes[size_t(i)] = uint8_t(n * 17 + i);
    std::vector<Value> row = {int32_t(n), bool(n % 2), int16_t(n % 3 ? -32768 + n : 32767 - n),
                              int64_t(n % 2 ? INT64_MIN + n : (int64_t(1) << 40) * n - 7), float(n % 4 ? n / 3.0f : -0.0f),
                              doubles[size_t(n) % doubles.size()], moneys[size_t(n) % moneys.size()],
                              amounts[size_t(n) % amounts.size()], DateTime{n * 1234.5678 - 40000},
                              text(n), tag};
    if (n >= 25) row[size_t(n - 24)] = std::monostate{};  // a NULL in turn
    rows.push_back(row);
  }
  PostgresTarget target(conninfo_, "public");
  ASSERT_TRUE(target.hashesOnServer(columns));
  TableChecksum sent;
  {
    target.begin();
    auto stream = target.insertInto("Hashes", columns);
    for (const auto& row : rows) stream->row(row, sent);
    stream->finish();
    target.commit();
  }
  std::string expected;
  for (const auto& row : rows) {
    std::string bytes;
    appendBinaryRow(bytes, row, columns);
    expected += std::to_string(std::get<int32_t>(row[0])) + "|" +
                std::to_string(int64_t(serverRowHash(bytes.data(), bytes.size(), columns))) + "\n";
  }
  EXPECT_EQ(psql("SELECT \"N\", " + serverRowHashSql(columns) + " FROM \"Hashes\" ORDER BY \"N\""), expected);
  TableChecksum stored = target.targetChecksum("Hashes", columns);
  EXPECT_EQ(stored.rows(), rows.size());
  EXPECT_EQ(stored.hex(), sent.hex());
}

// Text stored in another encoding than the one sent hashes other bytes on
// the server: there the rows are read back instead, and verify all the same.
TEST_F(UpsizePostgres, AServerInAnotherEncodingHasItsRowsReadBack) {
  ASSERT_EQ(psql("CREATE DATABASE latin ENCODING 'LATIN1' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0"), "");
  std::string latin = conninfo_;
  latin.replace(latin.find("dbname=postgres"), 15, "dbname=latin");
  MappedColumn text;
  text.name = "T";
  text.kind = ValueKind::Text;
  EXPECT_TRUE(PostgresTarget(conninfo_, "public").hashesOnServer({text}));
  EXPECT_FALSE(PostgresTarget(latin, "public").hashesOnServer({text}));
  FixtureDatabase fixture;
  auto db = Database::open(fixture.path());
  PostgresTarget target(latin, "public");
  UpsizeReport report = upsizeDatabase(*db, target, {});
  EXPECT_TRUE(report.verified()) << report.text();
}

// A server that changes one stored value before the table is read back, on
// whichever connection reads it.
class TamperingTarget : public PostgresTarget {
 public:
  TamperingTarget(const std::string& conninfo, const std::string& schema, std::string tamper)
      : PostgresTarget(conninfo, schema), conninfo_(conninfo), schema_(schema), tamper_(std::move(tamper)) {}
  std::unique_ptr<UpsizeTarget> openAnother() override {
    return std::make_unique<TamperingTarget>(conninfo_, schema_, tamper_);
  }
  TableChecksum targetChecksum(const std::string& table, const std::vector<MappedColumn>& columns) override {
    execute(tamper_);
    return PostgresTarget::targetChecksum(table, columns);
  }

 private:
  std::string conninfo_, schema_, tamper_;
};

TEST_F(UpsizePostgres, VerificationSeesAValueChangedOnTheServer) {
  FixtureDatabase fixture;
  auto db = Database::open(fixture.path());
  const std::string row = " WHERE \"Code\" = 'abc'";
  const std::vector<std::pair<std::string, std::string>> tampers = {
      {"Supplier List", "UPDATE \"Supplier List\" SET \"Balance\" = 12345678.9013" + row},
      {"Supplier List", "UPDATE \"Supplier List\" SET \"Weight\" = -1234567.125" + row},  // the sign alone
      {"Supplier List", "UPDATE \"Supplier List\" SET \"Since\" = '2024-02-29 13:45:07.000001'" + row},
      {"Supplier List", "UPDATE \"Supplier List\" SET \"Active\" = false" + row},
      {"Supplier List", "UPDATE \"Supplier List\" SET \"Tag\" = '6f9619ff-8b86-d011-b42d-00c04fc964fe'" + row},
      {"Supplier List", "UPDATE \"Supplier List\" SET \"Note\" = overlay(\"Note\" placing 'M' from 7 for 1)" + row},
      {"Supplier List", "UPDATE \"Supplier List\" SET \"Ratio\" = 0.10000001" + row},
      {"Supplier List", "UPDATE \"Supplier List\" SET \"Big\" = 1e299" + row},
      {"Supplier List", "UPDATE \"Supplier List\" SET \"Rating\" = NULL" + row},
      {"Supplier List", "UPDATE \"Supplier List\" SET \"Supplier Name\" = 'ACME'" + row},
      {"Parts", "UPDATE \"Parts\" SET \"Price\" = 1.5001 WHERE \"Part ID\" = 1"},
      {"Parts", "DELETE FROM \"Parts\" WHERE \"Part ID\" = 4"},
  };
  int n = 0;
  for (const auto& [table, tamper] : tampers) {
    TamperingTarget target(conninfo_, "tampered" + std::to_string(++n), tamper);
    UpsizeReport report = upsizeDatabase(*db, target, {});
    EXPECT_FALSE(report.verified()) << tamper;
    for (const auto& t : report.tables) EXPECT_EQ(t.verified(), t.name != table) << tamper << "\n" << report.text();
  }
  // Untouched, the same upsize verifies.
  TamperingTarget target(conninfo_, "untouched", "SELECT 1");
  EXPECT_TRUE(upsizeDatabase(*db, target, {}).verified());
}

// A cancel once the first tables are in, while their indexes are built and
// read back on the other connections: those are stopped and every table
// made is dropped again.
TEST_F(UpsizePostgres, ACancelDuringTheParallelStepsLeavesNoTables) {
  FixtureDatabase fixture;
  UpsizeOptions cancel;
  cancel.progress = [](const std::string& table, uint64_t) { return table != "Supplier List"; };
  EXPECT_THROW(upsizeTo(fixture.path(), conninfo_, cancel, "", "cancelled"), UpsizeCancelled);
  EXPECT_EQ(psql("SELECT count(*) FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                 "WHERE n.nspname = 'cancelled'"),
            "0\n");
  // The same upsize then goes through.
  EXPECT_TRUE(upsizeTo(fixture.path(), conninfo_, {}, "", "cancelled").verified());
}

// A server that refuses rows in the middle of a copy (here a CHECK that no
// row passes, added to Parts before its rows go in).
class RefusingTarget : public PostgresTarget {
 public:
  using PostgresTarget::PostgresTarget;
  std::unique_ptr<RowStream> insertInto(const std::string& table, const std::vector<MappedColumn>& columns) override {
    if (table == "Parts") execute("ALTER TABLE \"Parts\" ADD CONSTRAINT refuse CHECK (false)");
    return PostgresTarget::insertInto(table, columns);
  }
};

TEST_F(UpsizePostgres, ARowTheServerRefusesStopsTheUpsizeAndLeavesNoTables) {
  FixtureDatabase fixture;
  auto db = Database::open(fixture.path());
  RefusingTarget target(conninfo_, "refused");
  try {
    upsizeDatabase(*db, target, {});
    ADD_FAILURE() << "accepted";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("Copying rows into table 'Parts' failed"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("refuse"), std::string::npos) << e.what();
  }
  EXPECT_EQ(psql("SELECT count(*) FROM information_schema.tables WHERE table_schema = 'refused'"), "0\n");
}

// Rows that break a relationship on the way (here a part whose supplier is
// not there): the foreign key is refused, while the read-backs still run on
// the other connections, and no table stays.
class OrphaningTarget : public PostgresTarget {
 public:
  using PostgresTarget::PostgresTarget;
  std::unique_ptr<RowStream> insertInto(const std::string& table, const std::vector<MappedColumn>& columns) override {
    auto inner = PostgresTarget::insertInto(table, columns);
    if (table != "Parts") return inner;
    struct Orphaning : RowStream {
      std::unique_ptr<RowStream> inner;
      size_t supplier = 0;
      void row(const std::vector<Value>& values, TableChecksum& checksum) override {
        auto changed = values;
        changed[supplier] = std::string("nobody");
        inner->row(changed, checksum);
      }
      void finish() override { inner->finish(); }
    };
    auto orphaning = std::make_unique<Orphaning>();
    orphaning->inner = std::move(inner);
    while (columns[orphaning->supplier].name != "Supplier") ++orphaning->supplier;
    return orphaning;
  }
};

TEST_F(UpsizePostgres, RowsThatBreakARelationshipStopTheUpsizeAndLeaveNoTables) {
  FixtureDatabase fixture;
  auto db = Database::open(fixture.path());
  OrphaningTarget target(conninfo_, "orphans");
  try {
    upsizeDatabase(*db, target, {});
    ADD_FAILURE() << "accepted";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("SupplierParts"), std::string::npos) << e.what();
  }
  EXPECT_EQ(psql("SELECT count(*) FROM information_schema.tables WHERE table_schema = 'orphans'"), "0\n");
}

size_t primaryKeys(const UpsizeReport& report) {
  return size_t(std::count_if(report.created.begin(), report.created.end(),
                              [](const std::string& c) { return c.rfind("primary key ", 0) == 0; }));
}

TEST_F(UpsizePostgres, EverySampleArrivesAndVerifies) {
  int n = 0;
  for (const char* name :
       {"accesslike.mdb", "catesri_test.mdb", "compindextestv2000.mdb", "delcoltestv2000.mdb", "empty.mdb",
        "fixednumerictestv2000.mdb", "indextestv2000.mdb", "linked.mdb", "meza_test.mdb", "overflowtestv2000.mdb",
        "querytestv2000.mdb", "test2v2000.mdb", "testaccess2_2000.mdb", "testindexpropertiesv2000.mdb",
        "testunicodecompv2003.mdb", "testv2000.mdb"}) {
    std::string schema = name;
    schema = schema.substr(0, schema.find('.'));
    // Every other one in one transaction on one connection, the rest with
    // indexes and read-back on further connections.
    UpsizeOptions options;
    options.atomic = ++n % 2 == 0;
    UpsizeReport report = upsizeTo(sample(name), conninfo_, options, "", schema);
    EXPECT_TRUE(report.verified()) << name << "\n" << report.text();
    EXPECT_EQ(psql("SELECT count(*) FROM information_schema.table_constraints WHERE constraint_schema = '" + schema +
                   "' AND constraint_type = 'PRIMARY KEY'"),
              std::to_string(primaryKeys(report)) + "\n")
        << name;
  }
}

}  // namespace
}  // namespace kevra::test
