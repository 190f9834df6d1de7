// Encrypted files: Jet RC4 page encryption (Jet 3 and Jet 4) and the Office
// encryption of .accdb files, checked on the encrypted samples (known
// contents from their notes), with wrong and missing passwords, schemes that
// are refused by name, and writes to a Jet 4 encrypted file that stay
// encrypted and survive a crash at every step of a commit.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include "database/database_password.h"
#include "engine/compact/compactor.h"
#include "engine/format/value_text.h"
#include "engine/storage/fault_injecting_file_system.h"
#include "engine/storage/header.h"
#include "engine/storage/memory_file_system.h"
#include "engine/storage/page_codec.h"
#include "engine/storage/page_file.h"
#include "engine/storage/rollback_journal.h"
#include "engine/util/error.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

std::vector<uint8_t> formatSample(const std::string& name) {
  std::ifstream in(sample("formats/" + name), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::shared_ptr<Database> openOn(FileSystem& fs, const std::string& path, bool readOnly,
                                 const std::string& password = "") {
  OpenOptions o;
  o.readOnly = readOnly;
  o.password = password;
  o.fileSystem = &fs;
  return Database::open(path, o);
}

std::shared_ptr<Database> openSample(const std::string& name, const std::string& password = "") {
  OpenOptions o;
  o.password = password;
  return Database::open(sample("formats/" + name), o);
}

// Every row of `table` as "a|b|c" lines.
std::string rowsOf(const std::shared_ptr<Database>& db, const std::string& table) {
  std::string out;
  for (auto& row : allRows(db, table)) {
    for (auto& v : row) out += (isNull(v) ? "<null>" : valueToText(v)) + "|";
    out += "\n";
  }
  return out;
}

std::string messageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "(no error)";
}

ByteSpan page(const std::vector<uint8_t>& file, uint32_t n, size_t size) { return ByteSpan(file.data() + n * size, size); }

bool contains(const std::vector<uint8_t>& bytes, const std::string& text) {
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

}  // namespace

// ---- Jet page encryption ----

TEST(JetPageEncryption, Jet4SampleReadsItsRowsAndStaysWritable) {
  auto db = openSample("v2000-db-enc.mdb");
  EXPECT_EQ(db->header().encryptionKey, 0xA7B773E0u);
  EXPECT_EQ(db->userTableNames(), std::vector<std::string>{"Table1"});
  EXPECT_EQ(rowsOf(db, "Table1"), "1|hello|0|\n2|world|42|\n");
  EXPECT_EQ(db->pages().codec()->scheme(), "Jet RC4 page encryption");

  MemoryFileSystem fs;
  fs.put("/db/enc.mdb", formatSample("v2000-db-enc.mdb"));
  auto writable = openOn(fs, "/db/enc.mdb", false);
  EXPECT_FALSE(writable->readOnly());
  EXPECT_TRUE(writable->readOnlyReason().empty());
}

TEST(JetPageEncryption, Jet3SamplePagesDecodeIntoJet3Pages) {
  // The Jet 3 reader is not needed for this: the pages alone are checked.
  constexpr size_t kJet3Page = 2048;
  const auto file = formatSample("v1997-db97-enc.mdb");
  ASSERT_EQ(file.size(), 44 * kJet3Page);
  const DatabaseHeader header = decodeHeader(ByteSpan(file.data(), kJet3Page));
  ASSERT_EQ(header.format, FileFormat::Jet3);
  ASSERT_EQ(header.encryptionKey, 0xA7E0C0FEu);
  auto codec = openPageCodec(ByteSpan(file.data(), kJet3Page), header, "", "v1997-db97-enc.mdb");
  ASSERT_NE(codec, nullptr);
  int zeroPages = 0;
  for (uint32_t n = 1; n < 44; ++n) {
    std::vector<uint8_t> p(page(file, n, kJet3Page).begin(), page(file, n, kJet3Page).end());
    const bool wasZero = isUnwrittenPage(p.data(), p.size());
    codec->decode(n, p.data(), p.size());
    if (wasZero) {
      ++zeroPages;
      EXPECT_TRUE(isUnwrittenPage(p.data(), p.size())) << "never-written page " << n << " stays zero";
      continue;
    }
    EXPECT_GE(p[0], 1) << "page " << n;
    EXPECT_LE(p[0], 5) << "page " << n;
    EXPECT_EQ(p[1], 1) << "page " << n;
    if (n == 2) {
      EXPECT_EQ(p[0], 2) << "the catalog's table definition";
      EXPECT_EQ(p[2], 'V');
      EXPECT_EQ(p[3], 'C');
    }
    // Encoding is the same operation: the file's bytes come back.
    codec->encode(n, p.data(), p.size());
    EXPECT_TRUE(std::equal(p.begin(), p.end(), page(file, n, kJet3Page).begin())) << "page " << n;
  }
  EXPECT_EQ(zeroPages, 2);  // pages 32 and 34
}

TEST(JetPageEncryption, WrittenRowsAreEncryptedAndReadBack) {
  MemoryFileSystem fs;
  const auto original = formatSample("v2000-db-enc.mdb");
  fs.put("/db/enc.mdb", original);
  {
    auto db = openOn(fs, "/db/enc.mdb", false);
    runSql(db, "INSERT INTO Table1 (col1, col2) VALUES ('plaintext marker row', 7)");
    runSql(db, "UPDATE Table1 SET col2 = 43 WHERE ID = 2");
    runSql(db, "CREATE TABLE Second (a LONG, b TEXT(30))");
    runSql(db, "INSERT INTO Second VALUES (5, 'another marker text')");
  }
  const auto bytes = fs.bytes("/db/enc.mdb");
  EXPECT_FALSE(contains(bytes, "plaintext marker row")) << "the new row reached the file in the clear";
  EXPECT_FALSE(contains(bytes, "another marker text"));
  EXPECT_TRUE(std::equal(original.begin() + 0x3E, original.begin() + 0x42, bytes.begin() + 0x3E)) << "key kept";
  for (uint32_t n = uint32_t(original.size() / 4096); n < bytes.size() / 4096; ++n)
    EXPECT_FALSE(isUnwrittenPage(page(bytes, n, 4096).data(), 4096)) << "new page " << n << " is written";
  auto db = openOn(fs, "/db/enc.mdb", true);
  EXPECT_EQ(rowsOf(db, "Table1"), "1|hello|0|\n2|world|43|\n3|plaintext marker row|7|\n");
  EXPECT_EQ(rowsOf(db, "Second"), "5|another marker text|\n");
}

// As the crash tests of plain files: a writer stopped at every file
// operation of a commit (a write torn in half) leaves a file whose read-only
// view and whose recovered state are both the old or the new one. The
// journal holds encrypted bytes, so this also shows it is applied as such.
TEST(JetPageEncryption, StoppedAtEveryStepOfACommitLeavesOldOrNewState) {
  const std::string path = "/db/enc.mdb";
  const auto original = formatSample("v2000-db-enc.mdb");
  const auto change = [&](FileSystem& fs) {
    try {
      auto db = openOn(fs, path, false);
      runSql(db, "INSERT INTO Table1 (col1, col2) VALUES ('crash', 1)");
    } catch (const SimulatedCrash&) {
    } catch (const EngineError&) {
    }
  };
  std::string oldState, newState;
  uint64_t operations = 0;
  {
    MemoryFileSystem fs;
    fs.put(path, original);
    oldState = rowsOf(openOn(fs, path, true), "Table1");
    FaultInjectingFileSystem counting(fs);
    change(counting);
    operations = counting.operations();
    newState = rowsOf(openOn(fs, path, true), "Table1");
  }
  ASSERT_NE(oldState, newState);
  int sawOld = 0, sawNew = 0;
  for (uint64_t stopAt = 1; stopAt <= operations + 1; ++stopAt) {
    MemoryFileSystem fs;
    fs.put(path, original);
    FaultInjectingFileSystem faulty(fs, [&](const FaultPoint& p) {
      if (p.sequence != stopAt) return Fault::proceed();
      return Fault::crash(p.operation == FileOperation::Write ? p.length / 2 : 0);
    });
    change(faulty);
    const std::string viewed = rowsOf(openOn(fs, path, true), "Table1");
    openOn(fs, path, false).reset();
    EXPECT_FALSE(RollbackJournal::exists(fs, path)) << stopAt;
    const std::string state = rowsOf(openOn(fs, path, true), "Table1");
    EXPECT_EQ(viewed, state) << "stop at " << stopAt;
    EXPECT_TRUE(state == oldState || state == newState) << "stop at " << stopAt << ":\n" << state;
    sawOld += state == oldState;
    sawNew += state == newState;
    if (state == oldState) {
      EXPECT_EQ(fs.bytes(path), original) << "recovery puts the encrypted originals back, stop at " << stopAt;
    }
  }
  EXPECT_GT(sawOld, 10);
  EXPECT_GT(sawNew, 0);
}

TEST(JetPageEncryption, ACompactedCopyStaysEncryptedWithTheSameKey) {
  MemoryFileSystem fs;
  fs.put("/db/enc.mdb", formatSample("v2000-db-enc.mdb"));
  compactDatabase(fs, "/db/enc.mdb", "/db/copy.mdb", {});
  const auto bytes = fs.bytes("/db/copy.mdb");
  EXPECT_EQ(decodeHeader(ByteSpan(bytes.data(), 4096)).encryptionKey, 0xA7B773E0u);
  EXPECT_FALSE(contains(bytes, "hello")) << "a row reached the copy in the clear";
  EXPECT_EQ(rowsOf(openOn(fs, "/db/copy.mdb", true), "Table1"), "1|hello|0|\n2|world|42|\n");
}

// ---- Office encryption ----

TEST(OfficeEncryption, Rc4CryptoApiSampleOpensWithItsPassword) {
  auto db = openSample("v2007-db2007-oldenc.accdb", "Test123");
  EXPECT_EQ(db->userTableNames(), std::vector<std::string>{"Table1"});
  EXPECT_EQ(rowsOf(db, "Table1"), "1|foo|\n");
  EXPECT_EQ(db->pages().codec()->scheme(), "Office RC4 CryptoAPI (40-bit)");
  EXPECT_TRUE(db->readOnly());
}

TEST(OfficeEncryption, AgileSampleOpensWithItsPassword) {
  auto db = openSample("v2010-office-agile-4.4.accdb", "password");
  EXPECT_EQ(db->userTableNames(), std::vector<std::string>{"Table1"});
  EXPECT_EQ(rowsOf(db, "Table1"), "1|One|\n2|Two|\n3|Three|\n");
  EXPECT_EQ(db->pages().codec()->scheme(), "Office agile encryption (AES-256, SHA512)");
}

TEST(OfficeEncryption, MissingOrWrongPasswordIsRefusedAsForJet4) {
  for (const auto& [name, right] : {std::pair<std::string, std::string>{"v2007-db2007-oldenc.accdb", "Test123"},
                                    {"v2010-office-agile-4.4.accdb", "password"}}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(messageOf([&] { openSample(name); }),
              "'" + name + "' is protected by a database password; give the password to open it.");
    EXPECT_EQ(messageOf([&] { openSample(name, "wrong"); }), "Not a valid password for '" + name + "'.");
    EXPECT_EQ(messageOf([&] { openSample(name, right + " "); }), "Not a valid password for '" + name + "'.");
  }
}

TEST(OfficeEncryption, ASecondWriterOpenNeedsThePasswordToo) {
  // Writers of one file share one Database; sharing must not skip the check.
  MemoryFileSystem fs;
  fs.put("/db/agile.accdb", formatSample("v2010-office-agile-4.4.accdb"));
  auto first = openOn(fs, "/db/agile.accdb", false, "password");
  EXPECT_EQ(messageOf([&] { openOn(fs, "/db/agile.accdb", false, "wrong"); }),
            "Not a valid password for 'agile.accdb'.");
  EXPECT_EQ(messageOf([&] { openOn(fs, "/db/agile.accdb", false); }),
            "'agile.accdb' is protected by a database password; give the password to open it.");
  EXPECT_EQ(openOn(fs, "/db/agile.accdb", false, "password"), first);
}

TEST(OfficeEncryption, ACompactionIsRefusedOnceThePasswordOpensTheFile) {
  MemoryFileSystem fs;
  fs.put("/db/agile.accdb", formatSample("v2010-office-agile-4.4.accdb"));
  CompactOptions options;
  options.sourcePassword = "password";
  EXPECT_EQ(messageOf([&] { compactDatabase(fs, "/db/agile.accdb", "/db/copy.mdb", options); }),
            "Compacting .accdb files is not supported yet: 'agile.accdb' is an ACE 14 (Access 2010 .accdb) database, "
            "and only Jet 4 (.mdb) files can be compacted for now.");
  EXPECT_FALSE(fs.exists("/db/copy.mdb"));
}

namespace {

// Page 0 of the RC4 CryptoAPI sample with `patch` applied to it.
std::string refusalFor(const std::function<void(std::vector<uint8_t>&)>& patch) {
  auto file = formatSample("v2007-db2007-oldenc.accdb");
  std::vector<uint8_t> page0(file.begin(), file.begin() + 4096);
  patch(page0);
  const DatabaseHeader header = decodeHeader(page0);
  return messageOf([&] { openPageCodec(page0, header, "Test123", "crafted.accdb"); });
}

}  // namespace

TEST(OfficeEncryption, SchemesThatCannotBeReadAreRefusedByName) {
  // Version 4.2 with AES (flags CryptoAPI|AES, algorithm AES-256): the
  // non-standard variant, refused whether or not a password is given.
  const auto nonStandard = [](std::vector<uint8_t>& p) {
    putU32(&p[0x29F], 0x24);
    putU32(&p[0x2AF], 0x6610);
  };
  EXPECT_EQ(refusalFor(nonStandard),
            "'crafted.accdb' uses the non-standard AES variant of Office encryption (version 4.2 with AES), which "
            "cannot be read.");
  EXPECT_EQ(refusalFor([](std::vector<uint8_t>& p) { putU16(&p[0x29D], 3); }),
            "'crafted.accdb' uses the extensible Office encryption (version 4.3), which cannot be read.");
  EXPECT_EQ(refusalFor([](std::vector<uint8_t>& p) { putU16(&p[0x29B], 9); }),
            "'crafted.accdb' uses an Office encryption version this program does not know (9.2).");
  // Damaged information is a corrupt file, not a crash or a wrong password.
  EXPECT_NE(refusalFor([](std::vector<uint8_t>& p) { putU16(&p[0x299], 4000); }).find("is damaged"),
            std::string::npos);
  EXPECT_NE(refusalFor([](std::vector<uint8_t>& p) { putU32(&p[0x2A3], 0xFFFF); }).find("is damaged"),
            std::string::npos);
}

TEST(OfficeEncryption, ThePasswordPromptKnowsEncryptedFiles) {
  const std::string oldenc = sample("formats/v2007-db2007-oldenc.accdb");
  const std::string agile = sample("formats/v2010-office-agile-4.4.accdb");
  EXPECT_TRUE(db::databaseHasPassword(oldenc));
  EXPECT_TRUE(db::databaseHasPassword(agile));
  EXPECT_FALSE(db::databaseHasPassword(sample("formats/v2000-db-enc.mdb"))) << "Jet page encryption has no password";
  EXPECT_TRUE(db::databasePasswordMatches(oldenc, "Test123"));
  EXPECT_FALSE(db::databasePasswordMatches(oldenc, "test123"));
  EXPECT_TRUE(db::databasePasswordMatches(agile, "password"));
  EXPECT_FALSE(db::databasePasswordMatches(agile, ""));
}

TEST(JetPageEncryption, Jet3SampleReadsItsRows) {
  auto db = openSample("v1997-db97-enc.mdb");
  EXPECT_EQ(db->header().format, FileFormat::Jet3);
  EXPECT_EQ(db->userTableNames(), std::vector<std::string>{"Table1"});
  EXPECT_EQ(rowsOf(db, "Table1"), "1|hello|0|\n2|world|42|\n");
}
