// New empty databases: the page plan, header, system-table definitions,
// catalog and access-control rows and index leaves of a Jet-created empty
// file; rows written afterwards keep kevra-cli check clean; an existing file
// is refused untouched; a failure at any step leaves nothing behind.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "database/catalog.h"
#include "engine/index/index_page.h"
#include "engine/storage/data_page.h"
#include "engine/storage/fault_injecting_file_system.h"
#include "engine/storage/header.h"
#include "engine/storage/memory_file_system.h"
#include "engine/table/database.h"
#include "engine/table/database_creator.h"
#include "engine/table/table_cursor.h"
#include "engine/table/table_writer.h"

using namespace kevra;

namespace {

Bytes hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  std::string word;
  while (in >> word) out.push_back(uint8_t(std::stoul(word, nullptr, 16)));
  return out;
}

// The creation time of the catalog rows of the Jet-made file the layout follows.
DateTime jetRowTime() {
  Bytes b = hex("4e fb d3 3b 3e ab e4 40");
  DateTime d;
  std::memcpy(&d.serial, b.data(), 8);
  return d;
}

const NewDatabaseOptions kFixed{"", jetRowTime()};

ByteSpan pageOf(const Bytes& image, uint32_t page) { return ByteSpan(image).subspan(size_t(page) * 4096, 4096); }

class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/kevra-create-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  ~ScratchFolder() { std::filesystem::remove_all(dir_); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

std::pair<int, std::string> run(const std::string& command) {
  std::string out;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = ::pclose(p);
  return {WEXITSTATUS(status), out};
}

std::string checkFile(const std::string& path) {
  auto [code, out] = run(std::string(KEVRA_CLI_PATH) + " check '" + path + "'");
  return code == 0 ? "clean" : out;
}

std::vector<char> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

// One column as the definition of a Jet-made empty file has it:
// name, type, number, variable slot, fixed offset, length, flags.
struct Col {
  const char* name;
  ColumnType type;
  uint16_t number, varIndex, fixedOffset, length;
  uint8_t flags;
};
struct Real {
  std::vector<uint16_t> columns;
  uint8_t flags;
  uint32_t mapRow, root, distinct;
};
struct Logical {
  const char* name;
  uint32_t number, real;
  IndexKind kind;
};
struct Expected {
  const char* name;
  uint32_t tdefPage, length, rows, ownedRow, freeRow;
  uint16_t varColumns;
  std::vector<Col> columns;  // in stored (name) order
  std::vector<Real> reals;
  std::vector<Logical> logicals;
};

using T = ColumnType;
const std::vector<Expected> kSystemTables = {
    {"MSysObjects", 2, 1050, 8, 0, 1, 11,
     {{"Connect", T::Memo, 9, 3, 0, 0, 0x12},        {"Database", T::Memo, 8, 2, 0, 0, 0x12},
      {"DateCreate", T::DateTime, 4, 1, 10, 8, 0x13}, {"DateUpdate", T::DateTime, 5, 1, 18, 8, 0x13},
      {"Flags", T::Long, 7, 2, 26, 4, 0x13},          {"ForeignName", T::Text, 10, 4, 0, 510, 0x12},
      {"Id", T::Long, 0, 0, 0, 4, 0x13},              {"Lv", T::OLE, 13, 7, 0, 0, 0x12},
      {"LvExtra", T::OLE, 16, 10, 0, 0, 0x12},        {"LvModule", T::OLE, 15, 9, 0, 0, 0x12},
      {"LvProp", T::OLE, 14, 8, 0, 0, 0x12},          {"Name", T::Text, 2, 0, 0, 510, 0x12},
      {"Owner", T::Binary, 6, 1, 0, 510, 0x32},       {"ParentId", T::Long, 1, 0, 4, 4, 0x13},
      {"RmtInfoLong", T::OLE, 12, 6, 0, 0, 0x12},     {"RmtInfoShort", T::Binary, 11, 5, 0, 510, 0x12},
      {"Type", T::Integer, 3, 1, 8, 2, 0x13}},
     {{{1, 2}, 0x81, 16, 7, 8}, {{0}, 0x81, 17, 8, 8}},
     {{"Id", 1, 1, IndexKind::PrimaryKey}, {"ParentIdName", 0, 0, IndexKind::Normal}}},
    {"MSysACEs", 3, 335, 16, 18, 19, 1,
     {{"ACM", T::Long, 2, 1, 4, 4, 0x13}, {"FInheritable", T::Boolean, 3, 1, 0, 1, 0x13},
      {"ObjectId", T::Long, 0, 0, 0, 4, 0x13}, {"SID", T::Binary, 1, 0, 0, 510, 0x32}},
     {{{0}, 0x88, 20, 9, 8}},
     {{"ObjectId", 0, 0, IndexKind::Normal}}},
    {"MSysQueries", 4, 525, 0, 21, 22, 4,
     {{"Attribute", T::Byte, 1, 0, 4, 1, 0x13}, {"Expression", T::Memo, 5, 3, 0, 0, 0x12},
      {"Flag", T::Integer, 6, 4, 5, 2, 0x13},   {"LvExtra", T::Long, 7, 4, 7, 4, 0x13},
      {"Name1", T::Text, 3, 1, 0, 510, 0x12},   {"Name2", T::Text, 4, 2, 0, 510, 0x12},
      {"ObjectId", T::Long, 0, 0, 0, 4, 0x13},  {"Order", T::Binary, 2, 0, 0, 510, 0x12}},
     {{{0, 1, 2}, 0x81, 25, 10, 0}},
     {{"ObjectIdAttribute", 0, 0, IndexKind::PrimaryKey}}},
    {"MSysRelationships", 5, 813, 0, 26, 27, 5,
     {{"ccolumn", T::Long, 2, 1, 4, 4, 0x13},          {"grbit", T::Long, 1, 1, 0, 4, 0x13},
      {"icolumn", T::Long, 3, 1, 8, 4, 0x13},          {"szColumn", T::Text, 5, 2, 0, 510, 0x12},
      {"szObject", T::Text, 4, 1, 0, 510, 0x12},       {"szReferencedColumn", T::Text, 7, 4, 0, 510, 0x12},
      {"szReferencedObject", T::Text, 6, 3, 0, 510, 0x12}, {"szRelationship", T::Text, 0, 0, 0, 510, 0x12}},
     {{{0}, 0x82, 28, 11, 0}, {{4}, 0x82, 29, 12, 0}, {{6}, 0x82, 30, 13, 0}},
     {{"szObject", 1, 1, IndexKind::Normal},
      {"szReferencedObject", 2, 2, IndexKind::Normal},
      {"szRelationship", 0, 0, IndexKind::Normal}}},
};

uint32_t mapRow(uint32_t row) { return (6u << 8) | row; }

template <typename F>
void expectRefused(F&& action, const std::string& fragment) {
  try {
    action();
    ADD_FAILURE() << "not refused; expected: " << fragment;
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
  }
}

}  // namespace

TEST(CreateDatabase, PagesFollowJetsPlanForAnEmptyFile) {
  const Bytes image = newDatabaseImage(kFixed);
  ASSERT_EQ(image.size(), 16u * 4096);
  const uint8_t types[16] = {0, 1, 2, 2, 2, 2, 1, 4, 4, 4, 4, 4, 4, 4, 1, 1};
  for (uint32_t p = 0; p < 16; ++p) {
    EXPECT_EQ(pageOf(image, p)[0], types[p]) << "page " << p;
    EXPECT_EQ(pageOf(image, p)[1], 1) << "page " << p;
  }
  DatabaseHeader h = decodeHeader(pageOf(image, 0));
  EXPECT_EQ(h.format, FileFormat::Jet4);
  EXPECT_EQ(h.codePage, 1252);
  EXPECT_EQ(h.engineBuild, 0x261Cu);
  EXPECT_EQ(h.sortOrder, 0x0409);
  EXPECT_EQ(h.encryptionKey, 0u);
  EXPECT_FALSE(h.hasPassword());
  uint8_t date[8];
  std::memcpy(date, &h.createdSerial, 8);
  EXPECT_EQ(Bytes(date, date + 8), hex("3e 85 d3 3b 3e ab e4 40"));
  EXPECT_EQ(Bytes(image.begin() + 0x98, image.begin() + 0xA0), hex("54 06 00 00 34 2e 30 00"));
  EXPECT_EQ(Bytes(image.begin() + 0xE00, image.begin() + 0xE04), hex("01 01 00 01"));

  // Global map: pages 0-15 in use, the rest of its reach free; an empty second row.
  ByteSpan global = pageOf(image, 1);
  EXPECT_EQ(u16At(global, 2), 3940);
  EXPECT_EQ(u32At(global, 4), 1u);
  EXPECT_EQ(u16At(global, 12), 2);
  Bytes row0 = {0, 0, 0, 0, 0, 0, 0};
  row0.resize(69, 0xFF);
  EXPECT_EQ(Bytes(global.end() - 69, global.end()), row0);
  EXPECT_EQ(Bytes(global.end() - 138, global.end() - 69), Bytes(69, 0));

  // The map page: 31 inline maps; the owned/free maps of MSysObjects and
  // MSysACEs hold their data page, each index map its root, the rest nothing.
  ByteSpan maps = pageOf(image, 6);
  EXPECT_EQ(u16At(maps, 2), 1881);
  EXPECT_EQ(u32At(maps, 4), 0u);
  ASSERT_EQ(u16At(maps, 12), 31);
  std::map<int, int> member = {{0, 14}, {1, 14}, {16, 7}, {17, 8}, {18, 15}, {19, 15}, {20, 9},
                               {25, 10}, {28, 11}, {29, 12}, {30, 13}};
  for (int r = 0; r < 31; ++r) {
    Bytes expected(69, 0);
    if (member.count(r)) expected[5 + member[r] / 8] = uint8_t(1 << (member[r] % 8));
    size_t start = u16At(maps, 14 + 2 * r), end = r ? u16At(maps, 12 + 2 * r) : 4096;
    EXPECT_EQ(Bytes(maps.begin() + start, maps.begin() + end), expected) << "map row " << r;
  }
  for (uint32_t p : {14u, 15u}) EXPECT_EQ(u32At(pageOf(image, p), 4), p - 12) << "data page owner";
  for (uint32_t p = 10; p <= 13; ++p) EXPECT_EQ(u16At(pageOf(image, p), 2), 3616) << "empty leaf " << p;
}

TEST(CreateDatabase, IndexLeavesHoldJetsEntries) {
  const Bytes image = newDatabaseImage(kFixed);
  auto entries = [&](uint32_t page) {
    IndexPage p = decodeIndexPage(pageOf(image, page), page, "test");
    EXPECT_TRUE(p.leaf);
    return p.entries();
  };
  std::vector<Bytes> parentIdName = {
      hex("7f 8f 00 00 00 7f 4f 4a 6d 4a 4c 4a 6b 51 6b 01 00 00 00 0e 01"),
      hex("7f 8f 00 00 00 7f 69 51 5e 4a 6d 59 64 62 6b 57 59 66 6b 01 00 00 00 0e 02"),
      hex("7f 8f 00 00 00 7f 6d 4a 4c 5e 51 6b 01 00 00 00 0e 00"),
      hex("7f 8f 00 00 01 7f 60 6b 76 6b 4a 4d 51 6b 01 00 00 00 0e 05"),
      hex("7f 8f 00 00 01 7f 60 6b 76 6b 64 4c 5b 51 4d 6d 6b 01 00 00 00 0e 04"),
      hex("7f 8f 00 00 01 7f 60 6b 76 6b 68 6f 51 69 59 51 6b 01 00 00 00 0e 06"),
      hex("7f 8f 00 00 01 7f 60 6b 76 6b 69 51 5e 4a 6d 59 64 62 6b 57 59 66 6b 01 00 00 00 0e 07"),
      hex("7f 8f 00 00 02 7f 60 6b 76 6b 4f 4c 01 00 00 00 0e 03"),
  };
  EXPECT_EQ(entries(7), parentIdName);
  std::vector<Bytes> id = {
      hex("7f 80 00 00 02 00 00 0e 04"), hex("7f 80 00 00 03 00 00 0e 05"), hex("7f 80 00 00 04 00 00 0e 06"),
      hex("7f 80 00 00 05 00 00 0e 07"), hex("7f 8f 00 00 01 00 00 0e 00"), hex("7f 8f 00 00 02 00 00 0e 01"),
      hex("7f 8f 00 00 03 00 00 0e 02"), hex("7f 90 00 00 00 00 00 0e 03"),
  };
  EXPECT_EQ(entries(8), id);
  // MSysACEs by ObjectId: (object key, rows holding it), equal keys by row.
  std::vector<std::pair<std::string, std::vector<int>>> byObject = {
      {"80 00 00 02", {0, 13}}, {"80 00 00 03", {1}},        {"80 00 00 04", {2, 11}},
      {"80 00 00 05", {3, 12}}, {"8f 00 00 01", {4, 5, 14}}, {"8f 00 00 02", {8}},
      {"8f 00 00 03", {6, 7, 15}}, {"90 00 00 00", {9, 10}}};
  std::vector<Bytes> objectId;
  for (auto& [key, rows] : byObject)
    for (int r : rows) {
      Bytes e = hex("7f " + key + " 00 00 0f");
      e.push_back(uint8_t(r));
      objectId.push_back(e);
    }
  EXPECT_EQ(entries(9), objectId);
  for (uint32_t p = 10; p <= 13; ++p) EXPECT_TRUE(entries(p).empty());
}

TEST(CreateDatabase, SystemTablesReadBackAsJetDefinesThem) {
  MemoryFileSystem fs;
  createDatabase(fs, "/new.mdb", kFixed);
  const Bytes image = fs.bytes("/new.mdb");
  auto db = Database::open("/new.mdb", OpenOptions{true, "", &fs});
  EXPECT_TRUE(db->userTableNames().empty());
  std::vector<std::string> system;
  for (const auto& e : db->tableList()) {
    EXPECT_EQ(e.type, "SYSTEM TABLE") << e.name;
    system.push_back(e.name);
  }
  EXPECT_EQ(system, (std::vector<std::string>{"MSysACEs", "MSysObjects", "MSysQueries", "MSysRelationships"}));

  for (const Expected& x : kSystemTables) {
    SCOPED_TRACE(x.name);
    auto t = db->table(x.name);
    ByteSpan tdef = pageOf(image, x.tdefPage);
    EXPECT_EQ(t->tdefPage, x.tdefPage);
    EXPECT_TRUE(t->systemTable);
    EXPECT_EQ(u32At(tdef, 8), x.length);
    EXPECT_EQ(u16At(tdef, 2), 4096 - x.length - 8);
    EXPECT_EQ(t->rowCount, x.rows);
    EXPECT_EQ(t->ownedMapPointer, mapRow(x.ownedRow));
    EXPECT_EQ(t->freeMapPointer, mapRow(x.freeRow));
    EXPECT_EQ(t->varColumnCount, x.varColumns);
    EXPECT_EQ(t->maxColumnCount, x.columns.size());
    ASSERT_EQ(t->columns.size(), x.columns.size());
    const size_t descriptors = 63 + 12 * x.reals.size();
    for (size_t i = 0; i < x.columns.size(); ++i) {
      const Col& c = x.columns[i];
      const ColumnDef* d = t->findColumn(c.name);
      ASSERT_NE(d, nullptr) << c.name;
      EXPECT_EQ(std::tuple(d->type, d->number, d->varIndex, d->isFixed() ? d->fixedOffset : 0, d->length, d->flags),
                std::tuple(c.type, c.number, c.varIndex, c.fixedOffset, c.length, c.flags))
          << c.name;
      // Stored in name order, as Jet stores its own tables.
      EXPECT_EQ(u16At(tdef, descriptors + 25 * i + 5), c.number) << c.name;
      EXPECT_EQ(Bytes(tdef.begin() + descriptors + 25 * i + 9, tdef.begin() + descriptors + 25 * i + 15),
                hex("00 00 09 04 00 00"));
    }
    ASSERT_EQ(t->realIndexes.size(), x.reals.size());
    for (size_t i = 0; i < x.reals.size(); ++i) {
      const RealIndexDef& r = t->realIndexes[i];
      std::vector<uint16_t> columns;
      for (auto& c : r.columns) {
        columns.push_back(c.columnNumber);
        EXPECT_TRUE(c.ascending);
      }
      EXPECT_EQ(std::tuple(columns, r.flags, r.usageMapPointer, r.rootPage, r.distinctKeys),
                std::tuple(x.reals[i].columns, x.reals[i].flags, mapRow(x.reals[i].mapRow), x.reals[i].root,
                           x.reals[i].distinct));
    }
    ASSERT_EQ(t->logicalIndexes.size(), x.logicals.size());
    for (size_t i = 0; i < x.logicals.size(); ++i) {
      const LogicalIndexDef& l = t->logicalIndexes[i];
      EXPECT_EQ(std::tuple(l.name, l.number, l.realIndex, l.kind),
                std::tuple(std::string(x.logicals[i].name), x.logicals[i].number, x.logicals[i].real, x.logicals[i].kind));
    }
  }
  auto lv = db->table("MSysObjects")->longValueMaps;
  std::vector<std::tuple<uint16_t, uint32_t, uint32_t>> got, want = {
      {9, mapRow(4), mapRow(5)},   {8, mapRow(2), mapRow(3)},     {13, mapRow(8), mapRow(9)}, {16, mapRow(14), mapRow(15)},
      {15, mapRow(12), mapRow(13)}, {14, mapRow(10), mapRow(11)}, {12, mapRow(6), mapRow(7)}};
  for (auto& m : lv) got.emplace_back(m.columnNumber, m.ownedMapPointer, m.freeMapPointer);
  EXPECT_EQ(got, want);
}

TEST(CreateDatabase, CatalogAndAccessRowsAreJetsWithMaskedSids) {
  MemoryFileSystem fs;
  createDatabase(fs, "/new.mdb", kFixed);
  auto db = Database::open("/new.mdb", OpenOptions{true, "", &fs});
  // Catalog rows in storage order: id, parent, name, type, owner.
  struct Obj {
    int32_t id, parent;
    std::string name;
    int16_t type;
    Bytes owner;
  };
  const Bytes engine = hex("65 89"), admin = hex("64 8b"), users = hex("65 8b"), creator = hex("65 8e");
  std::vector<Obj> want = {{0x0F000001, 0x0F000000, "Tables", 3, engine},
                           {0x0F000002, 0x0F000000, "Databases", 3, engine},
                           {0x0F000003, 0x0F000000, "Relationships", 3, engine},
                           {0x10000000, 0x0F000002, "MSysDb", 2, admin},
                           {2, 0x0F000001, "MSysObjects", 1, engine},
                           {3, 0x0F000001, "MSysACEs", 1, engine},
                           {4, 0x0F000001, "MSysQueries", 1, engine},
                           {5, 0x0F000001, "MSysRelationships", 1, engine}};
  auto cursor = db->openCursor(db->table("MSysObjects"));
  std::vector<Value> row;
  size_t n = 0;
  for (; cursor->next(row); ++n) {
    ASSERT_LT(n, want.size());
    const Obj& o = want[n];
    EXPECT_EQ(row[0], Value(o.id));
    EXPECT_EQ(row[1], Value(o.parent));
    EXPECT_EQ(row[2], Value(o.name));
    EXPECT_EQ(row[3], Value(o.type));
    EXPECT_EQ(row[4], Value(jetRowTime()));
    EXPECT_EQ(row[5], Value(jetRowTime()));
    EXPECT_EQ(row[6], Value(Binary(o.owner)));
    EXPECT_EQ(row[7], Value(int32_t(0x80000000)));
    for (size_t c = 8; c < 17; ++c) EXPECT_TRUE(isNull(row[c])) << o.name << " column " << c;
    EXPECT_EQ(cursor->lastLocation(), (14u << 8) | n);
  }
  EXPECT_EQ(n, 8u);

  struct Ace {
    int32_t object;
    Bytes sid;
    int32_t acm;
    bool inheritable;
  };
  const int32_t tables = 0x0F000001, relationships = 0x0F000003;
  std::vector<Ace> aces = {{2, admin, 393216, false},         {3, admin, 393216, false},
                           {4, admin, 393216, false},         {5, admin, 917504, false},
                           {tables, creator, 983294, true},   {tables, admin, 393217, false},
                           {relationships, creator, 983294, true}, {relationships, admin, 393217, false},
                           {0x0F000002, admin, 393216, false}, {0x10000000, admin, 393230, false},
                           {0x10000000, users, 14, false},    {4, users, 20, false},
                           {5, users, 20, false},             {2, users, 20, false},
                           {tables, users, 1048319, true},    {relationships, users, 1048575, true}};
  auto aceCursor = db->openCursor(db->table("MSysACEs"));
  n = 0;
  for (; aceCursor->next(row); ++n) {
    ASSERT_LT(n, aces.size());
    EXPECT_EQ(row, (std::vector<Value>{aces[n].object, Binary(aces[n].sid), aces[n].acm, aces[n].inheritable}))
        << "ACE row " << n;
  }
  EXPECT_EQ(n, 16u);

  // Row 0 of the catalog, byte for byte as Jet writes it.
  const Bytes image = fs.bytes("/new.mdb");
  ByteSpan page14 = pageOf(image, 14);
  Bytes tables0 = hex(
      "11 00 01 00 00 0f 00 00 00 0f 03 00 4e fb d3 3b 3e ab e4 40 4e fb d3 3b 3e ab e4 40 00 00 00 80 "
      "54 00 61 00 62 00 6c 00 65 00 73 00 65 89 2e 00 2e 00 2e 00 2e 00 2e 00 2e 00 2e 00 2e 00 2e 00 "
      "2e 00 2c 00 20 00 0b 00 ff 00 00");
  EXPECT_EQ(Bytes(page14.end() - tables0.size(), page14.end()), tables0);
  EXPECT_EQ(u16At(page14, 14), 4096 - tables0.size());
}

TEST(CreateDatabase, PasswordGoesIntoTheMaskedHeader) {
  MemoryFileSystem fs;
  createDatabase(fs, "/locked.mdb", {"Geheim-ß", jetRowTime()});
  EXPECT_EQ(decodeHeader(pageOf(fs.bytes("/locked.mdb"), 0)).password, "Geheim-ß");
  EXPECT_THROW(Database::open("/locked.mdb", OpenOptions{true, "", &fs}), EngineError);
  EXPECT_NO_THROW(Database::open("/locked.mdb", OpenOptions{true, "Geheim-ß", &fs}));

  expectRefused([&] { createDatabase(fs, "/long.mdb", {std::string(21, 'x'), std::nullopt}); }, "at most 20");
  EXPECT_FALSE(fs.exists("/long.mdb"));
}

TEST(CreateDatabase, RowsWrittenLaterKeepTheFileConsistent) {
  ScratchFolder folder;
  const std::string path = folder.path("new.mdb");
  auto [code, out] = run(std::string(KEVRA_CLI_PATH) + " create '" + path + "'");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out, "Created " + path + "\n");
  EXPECT_EQ(checkFile(path), "clean");

  OpenOptions writable;
  writable.readOnly = false;
  auto db = Database::open(path, writable);
  auto objects = db->table("MSysObjects"), aces = db->table("MSysACEs"), queries = db->table("MSysQueries");
  TableWriter writer(db);
  writer.begin();
  std::vector<std::optional<Value>> object(17, Value());
  object[0] = Value(int32_t(0x80000001));
  object[1] = Value(int32_t(0x0F000001));
  object[2] = Value(std::string("Query1"));
  object[3] = Value(int16_t(5));
  object[7] = Value(int32_t(0));
  writer.insertRow(*objects, object);
  const uint32_t objectRow = writer.lastInserted();
  writer.insertRow(*aces, {Value(int32_t(0x80000001)), Value(Binary{0x64, 0x8b}), Value(int32_t(1048575)), Value(false)});
  const uint32_t aceRow = writer.lastInserted();
  writer.insertRow(*queries, {Value(int32_t(0x80000001)), Value(uint8_t(0)), Value(Binary{0, 0, 0, 1}),
                              Value(std::string("Table1")), Value(), Value(std::string(3000, 'q')), Value(int16_t(0)),
                              Value()});
  const uint32_t queryRow = writer.lastInserted();
  writer.commit();
  db.reset();
  EXPECT_EQ(checkFile(path), "clean");
  EXPECT_NE(run(std::string(KEVRA_CLI_PATH) + " sql '" + path + "' \"SELECT Name FROM MSysObjects WHERE Type = 5\"")
                .second.find("Query1"),
            std::string::npos);

  db = Database::open(path, writable);
  TableWriter remover(db);
  remover.begin();
  remover.deleteRow(*db->table("MSysQueries"), queryRow);
  remover.deleteRow(*db->table("MSysACEs"), aceRow);
  remover.deleteRow(*db->table("MSysObjects"), objectRow);
  remover.commit();
  db.reset();
  EXPECT_EQ(checkFile(path), "clean");

  // A second create refuses, in one line, and leaves the file as it is.
  const std::vector<char> before = fileBytes(path);
  auto [again, message] = run(std::string(KEVRA_CLI_PATH) + " create '" + path + "'");
  EXPECT_EQ(again, 1);
  EXPECT_EQ(message, "kevra-cli: Could not create the database '" + path + "': a file with that name already exists.\n");
  EXPECT_EQ(fileBytes(path), before);
}

TEST(CreateDatabase, RefusesWhatExistsAndLeavesNothingBehindAfterAFailure) {
  MemoryFileSystem memory;
  const std::vector<uint8_t> other(5000, 0x5A);
  memory.put("/taken.mdb", other);
  expectRefused([&] { createDatabase(memory, "/taken.mdb"); }, "'/taken.mdb': a file with that name already exists");
  EXPECT_EQ(memory.bytes("/taken.mdb"), other);
  memory.put("/gone.mdb.journal", {1, 2, 3});
  expectRefused([&] { createDatabase(memory, "/gone.mdb"); }, "journal '/gone.mdb.journal'");
  EXPECT_FALSE(memory.exists("/gone.mdb"));

  // Fail each file operation of a create in turn, then stop the process at
  // each: a failure leaves no file at all, a crash the target absent or whole.
  const Bytes image = newDatabaseImage(kFixed);
  for (auto action : {Fault::Action::Fail, Fault::Action::Crash}) {
    bool completed = false;
    for (uint64_t step = 1; !completed; ++step) {
      ASSERT_LT(step, 50u);
      MemoryFileSystem base;
      std::set<std::string> touched;
      FaultInjectingFileSystem faulty(base, [&](const FaultPoint& p) {
        touched.insert(p.path);
        return p.sequence == step ? Fault{action, 100} : Fault::proceed();
      });
      try {
        createDatabase(faulty, "/x/new.mdb", kFixed);
        completed = true;
      } catch (const EngineError& e) {
        EXPECT_EQ(action, Fault::Action::Fail);
        EXPECT_NE(std::string(e.what()).find("'/x/new.mdb'"), std::string::npos) << e.what();
      } catch (const SimulatedCrash&) {
        EXPECT_EQ(action, Fault::Action::Crash);
      }
      SCOPED_TRACE("step " + std::to_string(step));
      if (completed) {
        EXPECT_EQ(base.bytes("/x/new.mdb"), image);
        for (const auto& path : touched) EXPECT_TRUE(path == "/x/new.mdb" || !base.exists(path)) << path;
      } else if (action == Fault::Action::Fail) {
        for (const auto& path : touched) EXPECT_FALSE(base.exists(path)) << path;
      } else {
        if (base.exists("/x/new.mdb")) {
          EXPECT_EQ(base.bytes("/x/new.mdb"), image);
        }
        base.remove("/x/new.mdb");
        EXPECT_NO_THROW(createDatabase(base, "/x/new.mdb", kFixed));  // a leftover temporary is no obstacle
      }
    }
  }
}

TEST(CreateDatabase, CatalogCreateTakesTheConnectionString) {
  ScratchFolder folder;
  const std::string path = folder.path("made by catalog.mdb");
  db::Catalog catalog;
  catalog.Create("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path);
  EXPECT_EQ(catalog.Tables().Count(), 4);
  EXPECT_EQ(catalog.Tables().Item(0).Type(), "SYSTEM TABLE");
  EXPECT_EQ(checkFile(path), "clean");
  auto refused = [&](const std::string& cs, const std::string& fragment) {
    expectRefused([&] { catalog.Create(cs); }, fragment);
  };
  refused("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path, "already exists");
  refused("Provider=Microsoft.Jet.OLEDB.4.0", "Data Source");
  refused("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder.path("old.mdb") + ";Jet OLEDB:Engine Type=4",
          "Jet 4");
  EXPECT_FALSE(std::filesystem::exists(folder.path("old.mdb")));
  catalog.Create("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder.path("p.mdb") +
                 ";Jet OLEDB:Database Password=pw");
  EXPECT_EQ(Database::open(folder.path("p.mdb"), OpenOptions{true, "pw", nullptr})->header().password, "pw");
}
