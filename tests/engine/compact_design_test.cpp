// Compaction keeps the design of the source: each field's flags (Unicode
// compression among them) and sort order, each index's name and the order of
// the index definitions, and the file's collation; a collation whose keys
// cannot be built is refused by name rather than changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "engine/compact/compactor.h"
#include "engine/storage/header.h"
#include "jet4_samples.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

constexpr uint16_t kChinesePrc = 2052;

std::shared_ptr<Database> openWith(const std::string& path, const std::string& pw) {
  OpenOptions o;
  o.password = pw;
  return Database::open(path, o);
}

bool isJetTable(const std::string& name) {
  return name == "MSysObjects" || name == "MSysACEs" || name == "MSysQueries" || name == "MSysRelationships";
}

// Every local table but Jet's own four: each field with its flags, extra
// flags and sort order; each logical index in stored order with its name,
// kind, role and fields.
std::string design(const std::string& path, const std::string& pw) {
  auto db = openWith(path, pw);
  std::vector<std::string> tables;
  for (const auto& o : db->objects())
    if (o.isLocalTable() && !isJetTable(o.name)) tables.push_back(o.name);
  std::sort(tables.begin(), tables.end());
  std::string out;
  for (const auto& name : tables) {
    auto def = db->table(name);
    out += "table " + name + "\n";
    for (const auto& c : def->columns)
      out += "  field " + c.name + " flags " + std::to_string(c.flags) + " ext " + std::to_string(c.extFlags) +
             " sort " + std::to_string(c.sortOrder) + "/" + std::to_string(c.sortVersion) + "\n";
    for (const auto& li : def->logicalIndexes) {
      out += "  index " + li.name + " kind " + std::to_string(int(li.kind)) + " role " +
             std::to_string(li.relationshipRole) + " on";
      for (const auto& c : def->realIndexes[li.realIndex].columns)
        out += " " + def->indexedColumn(c.columnNumber).name + (c.ascending ? "" : " desc");
      out += "\n";
    }
  }
  return out;
}

// Sets the sort order and code page the header (its masked region) declares.
void setHeaderCollation(const std::string& path, uint16_t sortOrder, uint16_t codePage) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  uint8_t masked[128];
  f.seekg(0x18);
  f.read(reinterpret_cast<char*>(masked), sizeof masked);
  const uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
  rc4Xor(key, 4, masked, sizeof masked);
  putU16(masked + 0x6E - 0x18, sortOrder);
  putU16(masked + 0x3C - 0x18, codePage);
  rc4Xor(key, 4, masked, sizeof masked);
  f.seekp(0x18);
  f.write(reinterpret_cast<const char*>(masked), sizeof masked);
}

// Sets the sort order of the Text and Memo fields of `table` that `which`
// picks, in their descriptors on the table's first definition page.
void setFieldSortOrder(const std::string& path, const std::string& table, uint16_t sortOrder,
                       const std::function<bool(const ColumnDef&)>& which = {}) {
  auto def = Database::open(path)->table(table);
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<uint8_t> page(4096);
  f.seekg(std::streamoff(def->tdefPage) * 4096);
  f.read(reinterpret_cast<char*>(page.data()), std::streamsize(page.size()));
  for (const auto& c : def->columns) {
    if ((c.type != ColumnType::Text && c.type != ColumnType::Memo) || (which && !which(c))) continue;
    // A descriptor: type code, 1625, the column number.
    const uint8_t start[7] = {c.rawType, 0x59, 0x06, 0x00, 0x00, uint8_t(c.number), uint8_t(c.number >> 8)};
    const auto at = std::search(page.begin(), page.end(), std::begin(start), std::end(start));
    ASSERT_NE(at, page.end()) << "no descriptor of " << table << "." << c.name;
    putU16(&*at + 11, sortOrder);
  }
  f.seekp(std::streamoff(def->tdefPage) * 4096);
  f.write(reinterpret_cast<const char*>(page.data()), std::streamsize(page.size()));
}

std::string compactionMessage(const std::string& from, const std::string& to) {
  try {
    compactDatabase(realFileSystem(), from, to);
  } catch (const EngineError& e) {
    return e.what();
  }
  return "(compacted)";
}

class CompactDesign : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(CompactDesign, TheCopyKeepsFieldFlagsIndexNamesAndTheirOrder) {
  const std::string name = GetParam();
  const std::string pw = name.find("password") != std::string::npos ? "password" : "";
  ScratchCopy source(name);
  const std::string target = source.path() + ".compacted.mdb";
  CompactOptions options;
  options.sourcePassword = pw;
  compactDatabase(realFileSystem(), source.path(), target, options);
  EXPECT_EQ(design(target, pw), design(source.path(), pw));
  const DatabaseHeader before = openWith(source.path(), pw)->header(), after = openWith(target, pw)->header();
  EXPECT_EQ(after.sortOrder, before.sortOrder);
  EXPECT_EQ(after.codePage, before.codePage);
}

INSTANTIATE_TEST_SUITE_P(Jet4, CompactDesign, kJet4Samples, sampleParamName);

// The header's code page and sort order stay, the catalog's text takes the
// header's sort order, and fields that no index keys keep theirs.
TEST(CompactCollation, TheSourcesCodePageAndSortOrdersStay) {
  ScratchCopy source("testv2000.mdb");
  {
    auto db = openForWriting(source.path());
    runSql(db, "CREATE TABLE Notes (id LONG PRIMARY KEY, label TEXT(20), body MEMO, tag TEXT(5))");
    runSql(db, "INSERT INTO Notes (id, label, body, tag) VALUES (1, 'first', 'a note', 'x')");
  }
  setHeaderCollation(source.path(), 0x0409, 936);
  setFieldSortOrder(source.path(), "Notes", kChinesePrc, [](const ColumnDef& c) { return c.name != "tag"; });
  const std::string target = source.path() + ".out.mdb";
  compactDatabase(realFileSystem(), source.path(), target);
  auto copy = Database::open(target);
  EXPECT_EQ(copy->header().codePage, 936);
  EXPECT_EQ(copy->header().sortOrder, 0x0409);
  auto notes = copy->table("Notes");
  EXPECT_EQ(notes->findColumn("label")->sortOrder, kChinesePrc);
  EXPECT_EQ(notes->findColumn("body")->sortOrder, kChinesePrc);
  EXPECT_EQ(notes->findColumn("tag")->sortOrder, 0x0409);
  EXPECT_EQ(copy->table("MSysObjects")->findColumn("Name")->sortOrder, 0x0409);
  EXPECT_EQ(allRows(copy, "Notes").size(), 1u);
  copy.reset();
  EXPECT_EQ(checkFile(target), "clean");
}

// A file sorted in an order whose keys cannot be built (made here from a
// sample as such a file stores it: header and every text field), or one
// indexed field in such an order, is refused by the sort order's number;
// nothing is written.
TEST(CompactCollation, AnOrderWhoseKeysCannotBeBuiltIsRefusedByName) {
  {
    ScratchCopy source("testv2000.mdb");
    const std::string dir = std::filesystem::path(source.path()).parent_path().string();
    std::vector<std::string> tables;
    {
      auto db = Database::open(source.path());
      for (const auto& o : db->objects())
        if (o.isLocalTable()) tables.push_back(o.name);
    }
    for (const auto& table : tables) setFieldSortOrder(source.path(), table, kChinesePrc);
    setHeaderCollation(source.path(), kChinesePrc, 936);
    const std::string message = compactionMessage(source.path(), dir + "/out.mdb");
    EXPECT_NE(message.find("Cannot compact 'testv2000.mdb': its text is sorted in sort order 2052"), std::string::npos)
        << message;
    EXPECT_FALSE(std::filesystem::exists(dir + "/out.mdb"));
  }
  {
    ScratchCopy source("testv2000.mdb");
    const std::string dir = std::filesystem::path(source.path()).parent_path().string();
    {
      auto db = openForWriting(source.path());
      runSql(db, "CREATE TABLE Named (name TEXT(20) PRIMARY KEY, note TEXT(20))");
    }
    setFieldSortOrder(source.path(), "Named", kChinesePrc);
    const std::string message = compactionMessage(source.path(), dir + "/out.mdb");
    EXPECT_NE(message.find("field 'name' of table 'Named' is indexed in sort order 2052"), std::string::npos)
        << message;
    EXPECT_FALSE(std::filesystem::exists(dir + "/out.mdb"));
  }
}
