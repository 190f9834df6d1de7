// Table definitions written back: every TDEF of every sample, re-encoded and
// written over itself, reads back as the same definition, leaves every row
// readable and passes kevra-cli check; a definition that grows takes more
// pages and gives them back when it shrinks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "engine/catalog/tdef_reader.h"
#include "engine/catalog/tdef_writer.h"
#include "engine/storage/page_file.h"
#include "engine/storage/usage_map.h"
#include "jet4_samples.h"
#include "write_test_support.h"

using namespace kevra;
using namespace kevra::test;

namespace {

// Every field the reader fills, in one text, so two definitions compare whole.
std::string describe(const TableDef& t) {
  std::ostringstream o;
  o << t.name << " page " << t.tdefPage << " sys " << t.systemTable << " rows " << t.rowCount << " auto "
    << t.lastAutoNumber << " max " << t.maxColumnCount << " var " << t.varColumnCount << " maps " << t.ownedMapPointer
    << "/" << t.freeMapPointer << "\n";
  for (const auto& c : t.columns)
    o << " col " << c.name << " t" << int(c.rawType) << " n" << c.number << " v" << c.varIndex << " o" << (c.isFixed() ? c.fixedOffset : 0)  // variable columns keep garbage there
     
      << " l" << c.length << " f" << int(c.flags) << " x" << int(c.extFlags) << " p" << int(c.precision) << " s"
      << int(c.scale) << " so" << c.sortOrder << " sv" << int(c.sortVersion) << "\n";
  for (const auto& r : t.realIndexes) {
    o << " real";
    for (const auto& c : r.columns) o << " " << c.columnNumber << (c.ascending ? "+" : "-");
    o << " map " << r.usageMapPointer << " root " << r.rootPage << " f" << int(r.flags) << " c" << r.statistic << "/"
      << r.distinctKeys << "\n";
  }
  for (const auto& l : t.logicalIndexes)
    o << " logical " << l.name << " #" << l.number << " r" << l.realIndex << " role " << int(l.relationshipRole)
      << " other " << l.otherIndexNumber << "@" << l.otherTablePage << " cu" << l.cascadeUpdates << " cd"
      << l.cascadeDeletes << " k" << int(l.kind) << "\n";
  for (const auto& m : t.longValueMaps)
    o << " lv " << m.columnNumber << " " << m.ownedMapPointer << "/" << m.freeMapPointer << "\n";
  return o.str();
}

std::shared_ptr<Database> openSample(const std::string& path, bool readOnly) {
  OpenOptions o;
  o.readOnly = readOnly;
  if (path.find("password") != std::string::npos) o.password = "password";
  return Database::open(path, o);
}

std::vector<std::pair<std::string, uint32_t>> localTables(const Database& db) {
  std::vector<std::pair<std::string, uint32_t>> tables;
  for (const auto& o : db.objects())
    if (o.isLocalTable()) tables.emplace_back(o.name, uint32_t(o.id));
  return tables;
}

class TdefRoundTrip : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(TdefRoundTrip, EveryDefinitionWrittenOverItselfReadsBackTheSame) {
  ScratchCopy copy(GetParam());
  std::map<std::string, std::string> before;
  std::map<std::string, size_t> rowsBefore;
  {
    auto db = openSample(copy.path(), true);
    for (auto& [name, page] : localTables(*db)) {
      before[name] = describe(*db->table(name));
      rowsBefore[name] = allRows(db, name).size();
    }
  }
  ASSERT_FALSE(before.empty());
  {
    auto db = openSample(copy.path(), false);
    db->pages().beginTransaction();
    for (auto& [name, page] : localTables(*db)) {
      auto def = readTableDef(db->pages(), page, name);
      // The encoder reproduces what the reader took from the pages.
      Bytes encoded = encodeTableDef(*def);
      EXPECT_EQ(u32At(encoded, 8), encoded.size()) << name;
      writeTableDef(db->pages(), *def, true);
    }
    db->pages().commit();
    db->invalidateCaches();
  }
  auto db = openSample(copy.path(), true);
  for (auto& [name, page] : localTables(*db)) {
    EXPECT_EQ(describe(*db->table(name)), before[name]) << GetParam() << " " << name;
    EXPECT_EQ(allRows(db, name).size(), rowsBefore[name]) << name;
  }
  db.reset();
  EXPECT_EQ(checkFile(copy.path(), std::string(GetParam()).find("password") != std::string::npos
                                       ? "--password password"
                                       : ""),
            "clean");
}

INSTANTIATE_TEST_SUITE_P(Jet4, TdefRoundTrip, kJet4Samples, sampleParamName);

TEST(TdefWriter, TextColumnsKeepTheirSortOrderAndItsVersion) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  TableDef changed = *db->table("Table1");
  ColumnDef& text = *std::find_if(changed.columns.begin(), changed.columns.end(),
                                  [](const ColumnDef& c) { return c.type == ColumnType::Text; });
  text.sortOrder = 0x0804;
  text.sortVersion = 1;
  db->pages().beginTransaction();
  writeTableDef(db->pages(), changed, true);
  db->pages().commit();
  db->invalidateCaches();
  EXPECT_EQ(describe(*db->table("Table1")), describe(changed));
}

TEST(TdefWriter, ADefinitionGrowsOntoNewPagesAndGivesThemBack) {
  ScratchCopy copy("testv2000.mdb");
  auto db = openForWriting(copy.path());
  const auto original = db->table("Table1");
  auto pagesOf = [&](uint32_t first) {
    std::vector<uint32_t> pages;
    for (uint32_t p = first; p != 0; p = u32At(db->pages().span(db->pages().read(p)), 4)) pages.push_back(p);
    return pages;
  };
  const size_t pagesBefore = pagesOf(original->tdefPage).size();
  const uint32_t fileBefore = db->pages().pageCount();

  // Two hundred long column names take the definition past two pages.
  TableDef grown = *original;
  for (int i = 0; i < 200; ++i) {
    ColumnDef c;
    c.name = "a rather long column name number " + std::to_string(i);
    c.type = ColumnType::Long;
    c.rawType = uint8_t(ColumnType::Long);
    c.number = uint16_t(grown.maxColumnCount++);
    c.flags = 0x03;
    c.fixedOffset = uint16_t(grown.fixedAreaSize());
    c.length = 4;
    c.sortOrder = 0x0409;  // what every non-text column carries
    grown.columns.push_back(c);
  }
  db->pages().beginTransaction();
  writeTableDef(db->pages(), grown, true);
  db->pages().commit();
  db->invalidateCaches();
  EXPECT_GE(pagesOf(original->tdefPage).size(), 3u);
  EXPECT_EQ(describe(*db->table("Table1")), describe(grown));
  EXPECT_EQ(allRows(db, "Table1").size(), original->rowCount);  // old rows read the new columns as NULL

  db->pages().beginTransaction();
  writeTableDef(db->pages(), *original, true);
  db->pages().commit();
  db->invalidateCaches();
  EXPECT_EQ(pagesOf(original->tdefPage).size(), pagesBefore);
  EXPECT_EQ(describe(*db->table("Table1")), describe(*original));
  // The pages the grown definition took are free again in the global map.
  const auto globalFree = UsageMap::read(db->pages(), (1u << 8) | 0, "the global page map").pages();
  size_t freed = 0;
  for (uint32_t p : globalFree) freed += p >= fileBefore;
  EXPECT_GE(freed, 2u);
  db.reset();
  EXPECT_EQ(checkFile(copy.path()), "clean");
}
