// Access 97 (Jet 3) files read by the engine: the header and page size, the
// one-byte row layout with its jump table, General 97 text keys, index seeks
// against scans, the whole-file check, the code page, and writes refused.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "database/connection.h"
#include "engine/format/jet3_row.h"
#include "engine/index/general97_key_encoder.h"
#include "engine/sql/result_set.h"
#include "engine/sql/statement_runner.h"
#include "engine/storage/memory_file_system.h"
#include "engine/storage/page_file.h"
#include "engine/table/database.h"
#include "engine/table/file_check.h"
#include "engine/table/table_cursor.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"
#include "sample_files.h"

using namespace kevra;

namespace {

std::string formatsSample(const std::string& name) { return test::sample("formats/" + name); }

Bytes key(std::initializer_list<uint8_t> text, bool ascending = true) {
  Bytes out;
  appendGeneral97KeySegment(ByteSpan(text.begin(), text.size()), ascending, out);
  return out;
}

std::vector<std::vector<Value>> selectAll(const std::shared_ptr<Database>& db, const std::string& sql) {
  StatementResult r = runStatement(db, sql);
  EXPECT_TRUE(r.rows) << sql;
  std::vector<std::vector<Value>> all, block;
  for (uint64_t at = 0; r.rows->fetch(at, 100, block) > 0; at += block.size())
    all.insert(all.end(), block.begin(), block.end());
  return all;
}

std::vector<Value> column(const std::shared_ptr<Database>& db, const std::string& table, const std::string& name) {
  auto def = db->table(table);
  size_t k = size_t(def->findColumn(name) - def->columns.data());
  TableCursor cursor(db, def);
  std::vector<Value> row, out;
  while (cursor.next(row)) out.push_back(row[k]);
  return out;
}

}  // namespace

TEST(Jet3Header, PageSizeCodePageAndSortOrderComeFromPageZero) {
  auto db = Database::open(test::sample("testv1997.mdb"));
  EXPECT_EQ(db->header().format, FileFormat::Jet3);
  EXPECT_EQ(db->header().codePage, 1252);
  EXPECT_EQ(db->header().sortOrder, 0x0409);
  EXPECT_FALSE(db->header().hasPassword());
  EXPECT_EQ(db->pages().pageSize(), 2048u);
  EXPECT_EQ(db->pages().pageCount(), 118784u / 2048u);
  EXPECT_EQ(db->pages().layout().textCodePage, 1252);
}

TEST(Jet3Row, OffsetsPastByte255ComeFromTheJumpTable) {
  // Two variable columns of 200 and 100 bytes: eod (301) is the first offset
  // at or past 256, so the one jump entry names list entry 2 (the eod).
  Bytes row(307, 'x');
  row[0] = 2;        // ncols
  row[301] = 45;     // eod, 301 - 256
  row[302] = 201;    // slot 1
  row[303] = 1;      // slot 0
  row[304] = 2;      // jump entry 0
  row[305] = 2;      // nv
  row[306] = 0x03;   // null mask
  Jet3Row r;
  locateJet3Row(ByteSpan(row), 0, "T", r);
  EXPECT_EQ(r.columnCount, 2u);
  ASSERT_EQ(r.varCount(), 2u);
  EXPECT_EQ(r.varOffsets, (std::vector<uint16_t>{1, 201, 301}));
  EXPECT_EQ(r.fixedEnd, 301u);

  // A dummy entry (FF) that no offset reaches leaves every offset as stored.
  row[304] = 0xFF;
  row[301] = 255;
  locateJet3Row(ByteSpan(row), 0, "T", r);
  EXPECT_EQ(r.varOffsets, (std::vector<uint16_t>{1, 201, 255}));
}

TEST(Jet3Row, ImpossibleCountsAreCorruptionNotWildReads) {
  Jet3Row r;
  Bytes tooManyColumns{200, 1, 2};
  EXPECT_THROW(locateJet3Row(ByteSpan(tooManyColumns), 0, "T", r), CorruptFileError);
  Bytes tooManyVarSlots{1, 'a', 'b', 3, 2, 1, 250, 0x01};
  EXPECT_THROW(locateJet3Row(ByteSpan(tooManyVarSlots), 0, "T", r), CorruptFileError);
  Bytes eodPastEnd{1, 'a', 'b', 7, 1, 1, 0x01};  // eod 7 lies in the offsets
  EXPECT_THROW(locateJet3Row(ByteSpan(eodPastEnd), 0, "T", r), CorruptFileError);
}

TEST(General97Keys, WorkedExamplesFromAccessIndexPages) {
  EXPECT_EQ(key({'a'}), (Bytes{0x7f, 0x60, 0x00}));
  EXPECT_EQ(key({'a', 'b', 'c'}), (Bytes{0x7f, 0x60, 0x61, 0x62, 0x00}));
  EXPECT_EQ(key({'a', 'b', 'c'}, false), (Bytes{0x80, 0x9f, 0x9e, 0x9d, 0xff}));
  EXPECT_EQ(key({'A', 'A', ' ', 'A', 'A'}), (Bytes{0x7f, 0x60, 0x60, 0x11, 0x60, 0x60, 0x00}));
  EXPECT_EQ(key({'A', 'A', '-', 'A', 'A'}), (Bytes{0x7f, 0x60, 0x60, 0x1e, 0x60, 0x60, 0x00}));
  EXPECT_EQ(key({'A', 'A', 0xC1, 'A', 'A'}), (Bytes{0x7f, 0x60, 0x60, 0x60, 0x60, 0x60, 0x02, 0x24, 0x00}));
  EXPECT_EQ(key({'A', 'A', 0xF1, 'A', 'A'}), (Bytes{0x7f, 0x60, 0x60, 0x70, 0x60, 0x60, 0x02, 0x27, 0x00}));
  EXPECT_EQ(key({'A', 'A', 0xE6, 'A', 'A'}), (Bytes{0x7f, 0x60, 0x60, 0x60, 0x66, 0x60, 0x60, 0x00}));
  EXPECT_EQ(key({'-', 0xC1, 'A', '-', 0xC1}), (Bytes{0x7f, 0x1e, 0x60, 0x60, 0x1e, 0x60, 0x04, 0x24, 0x00}));
  EXPECT_EQ(key({'A', 'A', 'A', '-', 0xC1}), (Bytes{0x7f, 0x60, 0x60, 0x60, 0x1e, 0x60, 0x02, 0x22, 0x40}));
  EXPECT_EQ(key({'a', 0x81, 'a'}), (Bytes{0x7f, 0x60, 0x10, 0x60, 0x00}));
  // Trailing spaces take no part.
  EXPECT_EQ(key({'a', ' ', ' '}), key({'a'}));
}

TEST(General97Keys, ThePrimaryStartBoundsEveryCaseAndAccentOfATextAndNothingShorter) {
  const uint8_t plain[] = {'a', 'a'}, accented[] = {'A', 0xE1};
  Bytes start;
  appendGeneral97KeyPrimary(ByteSpan(plain), true, start);
  for (Bytes k : {key({'a', 'a'}), key({'A', 'A'}), key({'a', 0xE1}), key({'a', 'a', 'b'})})
    EXPECT_TRUE(std::equal(start.begin(), start.end(), k.begin())) << "shares the start";
  EXPECT_FALSE(std::equal(start.begin(), start.end(), key({'a'}).begin()));
  Bytes descending;
  appendGeneral97KeyPrimary(ByteSpan(accented), false, descending);
  Bytes full = key({'a', 'a', 'c'}, false);
  EXPECT_TRUE(std::equal(descending.begin(), descending.end(), full.begin()));
}

TEST(Jet3Read, TextMemoAndAnOleChainOfTwoKilobytePieces) {
  auto db = Database::open(formatsSample("v1997-test2v1997.mdb"));
  EXPECT_EQ(std::get<std::string>(column(db, "MSP_PROJECTS", "PROJ_OPT_CURRENCY_SYMBOL")[0]), "\u00A3");  // byte A3
  EXPECT_EQ(std::get<std::string>(column(db, "MSP_PROJECTS", "PROJ_NAME")[0]), "Project1");
  auto author = std::get<std::string>(column(db, "MSP_PROJECTS", "PROJ_PROP_AUTHOR")[0]);
  EXPECT_EQ(author.size(), 348u);  // one LVAL row
  EXPECT_EQ(author.rfind("Jon Iles", 0), 0u);
  auto ole = std::get<Binary>(column(db, "MSP_PROJECTS", "RESERVED_BINARY_DATA")[0]);
  EXPECT_EQ(ole.size(), 22970u);  // 11 pieces of 2,032 bytes and one of 618
  auto def = db->table("MSP_PROJECTS");
  EXPECT_EQ(def->columns.size(), 74u);
  EXPECT_EQ(def->findColumn("PROJ_NAME")->length, 2 * 255) << "Text lengths count two bytes a character";
}

TEST(Jet3Read, ACodePageGivenByTheCallerWinsOverTheHeader) {
  OpenOptions options;
  options.codePage = 1251;
  auto db = Database::open(formatsSample("v1997-test2v1997.mdb"), options);
  EXPECT_EQ(std::get<std::string>(column(db, "MSP_PROJECTS", "PROJ_OPT_CURRENCY_SYMBOL")[0]), "\u0408");  // A3 in 1251
  options.codePage = 65001;
  EXPECT_THROW(Database::open(formatsSample("v1997-test2v1997.mdb"), options), EngineError);
}

TEST(Jet3Read, DoubleByteCodePagesAreReadThroughTheSystemConverter) {
  // PROJ_NAME "Project1" becomes the GBK bytes of four Chinese characters in
  // a file whose header still says 1252 (as mdb-export reads it with
  // MDB_JET3_CHARSET=GBK).
  std::ifstream in(formatsSample("v1997-test2v1997.mdb"), std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  const size_t at = 104303;
  ASSERT_EQ(std::string(bytes.begin() + at, bytes.begin() + at + 8), "Project1");
  const uint8_t gbk[] = {0xCF, 0xEE, 0xC4, 0xBF, 0xC3, 0xFB, 0xB3, 0xC6};  // 项目名称
  std::copy(std::begin(gbk), std::end(gbk), bytes.begin() + at);
  MemoryFileSystem fs;
  fs.put("/gbk.mdb", bytes);
  OpenOptions options;
  options.fileSystem = &fs;
  auto name = [&] { return std::get<std::string>(column(Database::open("/gbk.mdb", options), "MSP_PROJECTS", "PROJ_NAME")[0]); };
  EXPECT_EQ(name(), "\u00CF\u00EE\u00C4\u00BF\u00C3\u00FB\u00B3\u00C6") << "the header's 1252";
  options.codePage = 936;
  EXPECT_EQ(name(), "\u9879\u76EE\u540D\u79F0");
  EXPECT_EQ(std::get<std::string>(column(Database::open("/gbk.mdb", options), "MSP_PROJECTS", "PROJ_OPT_CURRENCY_SYMBOL")[0]),
            "\uFFFD") << "a lone lead byte is marked, not dropped";
  // The single-byte tables still serve their own code pages.
  options.codePage = 1251;
  EXPECT_EQ(std::get<std::string>(column(Database::open("/gbk.mdb", options), "MSP_PROJECTS", "PROJ_OPT_CURRENCY_SYMBOL")[0]),
            "\u0408");
  for (int unknown : {4242, -936, 70000}) {
    options.codePage = unknown;
    try {
      Database::open("/gbk.mdb", options);
      ADD_FAILURE() << "code page " << unknown << " accepted";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find("Code page " + std::to_string(unknown) + " is not one"), std::string::npos)
          << e.what();
    }
  }
}

TEST(Jet3Read, TheConnectionStringNamesTheCodePage) {
  const std::string base = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + formatsSample("v1997-test2v1997.mdb");
  db::Connection connection;
  connection.Open(base + ";Jet OLEDB:Code Page=1251");
  EXPECT_TRUE(connection.readOnly());
  EXPECT_EQ(connection.readOnlyReason(), "Access 97 files open read-only for now.");
  EXPECT_EQ(std::get<std::string>(column(connection.engine(), "MSP_PROJECTS", "PROJ_OPT_CURRENCY_SYMBOL")[0]), "\u0408");
  db::Connection wrong;
  EXPECT_THROW(wrong.Open(base + ";Jet OLEDB:Code Page=cyrillic"), EngineError);
}

TEST(Jet3Read, PropertiesOfKkdBlobsAreRead) {
  auto db = Database::open(test::sample("testv1997.mdb"));
  const PropertyBlob& db97 = db->databaseProperties();
  const PropertyRecord* version = db97.table.find("AccessVersion");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(std::get<std::string>(version->value), "07.53");
}

TEST(Jet3Read, WritesAreRefusedWithTheReasonAndTheFileKeepsItsBytes) {
  const std::string path = test::sample("testv1997.mdb");
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> before((std::istreambuf_iterator<char>(in)), {});
  MemoryFileSystem fs;
  fs.put("/db.mdb", before);
  OpenOptions options;
  options.readOnly = false;
  options.fileSystem = &fs;
  auto db = Database::open("/db.mdb", options);
  EXPECT_TRUE(db->readOnly());
  EXPECT_EQ(db->readOnlyReason(), "Access 97 files open read-only for now.");
  try {
    TableWriter writer(db);
    runStatement(db, "delete from Table1", &writer);
    ADD_FAILURE() << "a delete ran on an Access 97 file";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("Access 97 files open read-only for now."), std::string::npos) << e.what();
  }
  auto file = fs.open("/db.mdb", OpenMode::Read);
  std::vector<uint8_t> after(file->size());
  file->read(after.data(), after.size(), 0);
  EXPECT_EQ(after, before);
}

TEST(Jet3Check, EveryIndexEntryReDerivesInEverySample) {
  for (const std::string& path :
       {test::sample("testv1997.mdb"), test::sample("testindexcodesv1997.mdb"), formatsSample("v1997-test2v1997.mdb"),
        formatsSample("v1997-compindextestv1997.mdb"), formatsSample("v1997-indextestv1997.mdb")}) {
    SCOPED_TRACE(path);
    CheckReport report = checkDatabase(Database::open(path));
    EXPECT_TRUE(report.clean()) << (report.problems.empty() ? "" : report.problems[0]);
    EXPECT_GT(report.indexes, 0u);
  }
}

TEST(Jet3Check, AWrongTextKeyOnAJet3LeafIsFound) {
  // testv1997.mdb page 32 is the leaf of Table1's index on B; its first entry
  // is "b" (7f 61 00). Make it read "c".
  std::ifstream in(test::sample("testv1997.mdb"), std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  const size_t at = 32 * 2048 + 0xF8 + 1;
  ASSERT_EQ(bytes[at], 0x61);
  bytes[at] = 0x62;
  MemoryFileSystem fs;
  fs.put("/damaged.mdb", bytes);
  OpenOptions options;
  options.fileSystem = &fs;
  CheckReport report = checkDatabase(Database::open("/damaged.mdb", options));
  ASSERT_FALSE(report.clean());
  EXPECT_NE(report.problems[0].find("Table1"), std::string::npos) << report.problems[0];
}

TEST(Jet3Seek, TextIndexSeeksFindWhatAScanFinds) {
  // Every text value of every indexed table, sought through its index (=
  // and LIKE 'x*') and through a scan of an expression no index serves.
  auto db = Database::open(test::sample("testindexcodesv1997.mdb"));
  size_t sought = 0;
  for (const std::string table : {"Table1", "Table1_desc", "Table11", "Table15", "Table15_desc"}) {
    SCOPED_TRACE(table);
    auto plan = explainStatement(db, "select * from [" + table + "] where [data] = 'a'");
    ASSERT_FALSE(plan.empty());
    EXPECT_NE(plan[0].find("index"), std::string::npos) << plan[0];
    for (const Value& v : column(db, table, "data")) {
      const std::string* text = std::get_if<std::string>(&v);
      if (!text || text->find('\'') != std::string::npos || text->find_first_of("*?#[") != std::string::npos) continue;
      for (const std::string& op : {"= '" + *text + "'", "like '" + text->substr(0, 3) + "*'"}) {
        auto seek = selectAll(db, "select count(*) from [" + table + "] where [data] " + op);
        auto scan = selectAll(db, "select count(*) from [" + table + "] where [data] & '' " + op);
        ASSERT_EQ(seek.size(), 1u);
        EXPECT_EQ(std::get<int32_t>(seek[0][0]), std::get<int32_t>(scan[0][0])) << op;
        ++sought;
      }
    }
  }
  EXPECT_GT(sought, 500u);
}
