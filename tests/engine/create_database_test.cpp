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
#include <set>
#include <sstream>

#include "database/catalog.h"
#include "engine/index/index_page.h"
#include "engine/storage/fault_injecting_file_system.h"
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

std::string hexText(ByteSpan bytes) {
  std::string s;
  char b[4];
  for (uint8_t v : bytes) s += (std::snprintf(b, sizeof b, "%02x", v), b);
  return s;
}

// The creation time of the catalog rows in the Jet-made file the layout follows.
DateTime jetRowTime() {
  DateTime d;
  std::memcpy(&d.serial, hex("4e fb d3 3b 3e ab e4 40").data(), 8);
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

std::pair<int, std::string> cli(const std::string& arguments) {
  std::string out;
  FILE* p = ::popen((std::string(KEVRA_CLI_PATH) + " " + arguments + " 2>&1").c_str(), "r");
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  int status = ::pclose(p);
  return {WEXITSTATUS(status), out};
}
std::string checkFile(const std::string& path) {
  auto [code, out] = cli("check '" + path + "'");
  return code == 0 ? "clean" : out;
}

template <typename F>
void expectRefused(F&& action, const std::string& fragment) {
  try {
    action();
    ADD_FAILURE() << "not refused; expected: " << fragment;
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
  }
}

// A definition as read back: per column in stored order "name type number
// var-slot fixed-offset length flags"; per real index "[columns] flags
// map-row root distinct-keys"; per logical index "name number real kind";
// the long-value maps "column owned-row/free-row".
std::string describe(const TableDef& t, ByteSpan tdef) {
  std::ostringstream s;
  s << std::hex << "rows " << t.rowCount << " maps " << (t.ownedMapPointer & 0xFF) << "/" << (t.freeMapPointer & 0xFF)
    << " var " << t.varColumnCount << " length " << u32At(tdef, 8) << "\n";
  const size_t descriptors = 63 + 12 * t.realIndexes.size();
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnDef* c = t.columnByNumber(u16At(tdef, descriptors + 25 * i + 5));
    s << c->name << " " << int(c->type) << " " << c->number << " " << c->varIndex << " "
      << (c->isFixed() ? c->fixedOffset : 0) << " " << c->length << " " << int(c->flags) << ","
      << hexText(tdef.subspan(descriptors + 25 * i + 9, 6)) << "\n";
  }
  for (const auto& r : t.realIndexes) {
    s << "[";
    for (const auto& c : r.columns) s << c.columnNumber << (c.ascending ? "" : "d") << " ";
    s << "] " << int(r.flags) << " " << (r.usageMapPointer & 0xFF) << " " << r.rootPage << " " << r.distinctKeys
      << "\n";
  }
  for (const auto& l : t.logicalIndexes)
    s << l.name << " " << l.number << " " << l.realIndex << " " << int(l.kind) << "\n";
  for (const auto& m : t.longValueMaps)
    s << m.columnNumber << ":" << (m.ownedMapPointer & 0xFF) << "/" << (m.freeMapPointer & 0xFF) << " ";
  return s.str();
}

// As Jet writes them (hexadecimal numbers): every column with ordinal 0 and
// "09 04 00 00" in its descriptor, sorted by name.
const std::map<std::string, std::string> kJetDefinitions = {
    {"MSysObjects",
     "rows 8 maps 0/1 var b length 41a\nConnect c 9 3 0 0 12,000009040000\nDatabase c 8 2 0 0 12,000009040000\n"
     "DateCreate 8 4 1 a 8 13,000009040000\nDateUpdate 8 5 1 12 8 13,000009040000\nFlags 4 7 2 1a 4 13,000009040000\n"
     "ForeignName a a 4 0 1fe 12,000009040000\nId 4 0 0 0 4 13,000009040000\nLv b d 7 0 0 12,000009040000\n"
     "LvExtra b 10 a 0 0 12,000009040000\nLvModule b f 9 0 0 12,000009040000\nLvProp b e 8 0 0 12,000009040000\n"
     "Name a 2 0 0 1fe 12,000009040000\nOwner 9 6 1 0 1fe 32,000009040000\nParentId 4 1 0 4 4 13,000009040000\n"
     "RmtInfoLong b c 6 0 0 12,000009040000\nRmtInfoShort 9 b 5 0 1fe 12,000009040000\n"
     "Type 3 3 1 8 2 13,000009040000\n[1 2 ] 81 10 7 8\n[0 ] 81 11 8 8\nId 1 1 1\nParentIdName 0 0 0\n"
     "9:4/5 8:2/3 d:8/9 10:e/f f:c/d e:a/b c:6/7 "},
    {"MSysACEs",
     "rows 10 maps 12/13 var 1 length 14f\nACM 4 2 1 4 4 13,000009040000\nFInheritable 1 3 1 0 1 13,000009040000\n"
     "ObjectId 4 0 0 0 4 13,000009040000\nSID 9 1 0 0 1fe 32,000009040000\n[0 ] 88 14 9 8\nObjectId 0 0 0\n"},
    {"MSysQueries",
     "rows 0 maps 15/16 var 4 length 20d\nAttribute 2 1 0 4 1 13,000009040000\nExpression c 5 3 0 0 12,000009040000\n"
     "Flag 3 6 4 5 2 13,000009040000\nLvExtra 4 7 4 7 4 13,000009040000\nName1 a 3 1 0 1fe 12,000009040000\n"
     "Name2 a 4 2 0 1fe 12,000009040000\nObjectId 4 0 0 0 4 13,000009040000\nOrder 9 2 0 0 1fe 12,000009040000\n"
     "[0 1 2 ] 81 19 a 0\nObjectIdAttribute 0 0 1\n5:17/18 "},
    {"MSysRelationships",
     "rows 0 maps 1a/1b var 5 length 32d\nccolumn 4 2 1 4 4 13,000009040000\ngrbit 4 1 1 0 4 13,000009040000\n"
     "icolumn 4 3 1 8 4 13,000009040000\nszColumn a 5 2 0 1fe 12,000009040000\nszObject a 4 1 0 1fe 12,000009040000\n"
     "szReferencedColumn a 7 4 0 1fe 12,000009040000\nszReferencedObject a 6 3 0 1fe 12,000009040000\n"
     "szRelationship a 0 0 0 1fe 12,000009040000\n[0 ] 82 1c b 0\n[4 ] 82 1d c 0\n[6 ] 82 1e d 0\n"
     "szObject 1 1 0\nszReferencedObject 2 2 0\nszRelationship 0 0 0\n"},
};

// A row as text: numbers, texts, binary in hex, "T" for the creation time, "-" for NULL.
std::string rowText(const std::vector<Value>& row) {
  std::string s;
  for (const Value& v : row) {
    if (!s.empty()) s += " ";
    if (isNull(v))
      s += "-";
    else if (auto* i = std::get_if<int32_t>(&v))
      s += std::to_string(*i);
    else if (auto* n = std::get_if<int16_t>(&v))
      s += std::to_string(*n);
    else if (auto* b = std::get_if<bool>(&v))
      s += *b ? "yes" : "no";
    else if (auto* t = std::get_if<std::string>(&v))
      s += *t;
    else if (auto* bin = std::get_if<Binary>(&v))
      s += hexText(*bin);
    else if (auto* d = std::get_if<DateTime>(&v))
      s += *d == jetRowTime() ? "T" : "?";
  }
  return s;
}

std::string tableText(const std::shared_ptr<Database>& db, const std::string& name) {
  auto cursor = db->openCursor(db->table(name));
  std::string s;
  for (std::vector<Value> row; cursor->next(row);) s += rowText(row) + "\n";
  return s;
}

}  // namespace

TEST(CreateDatabase, PagesHeaderAndMapsFollowJetsPlan) {
  const Bytes image = newDatabaseImage(kFixed);
  ASSERT_EQ(image.size(), 16u * 4096);
  std::string types;
  for (uint32_t p = 0; p < 16; ++p) types += hexText(pageOf(image, p).first(2)) + " ";
  EXPECT_EQ(types, "0001 0101 0201 0201 0201 0201 0101 0401 0401 0401 0401 0401 0401 0401 0101 0101 ");
  DatabaseHeader h = decodeHeader(pageOf(image, 0));
  EXPECT_EQ(std::tuple(h.format, h.codePage, h.engineBuild, h.sortOrder, h.encryptionKey, h.password),
            std::tuple(FileFormat::Jet4, 1252, 0x261Cu, 0x0409, 0u, std::string()));
  EXPECT_EQ(hexText(ByteSpan(reinterpret_cast<const uint8_t*>(&h.createdSerial), 8)), "3e85d33b3eabe440");
  EXPECT_EQ(hexText(ByteSpan(image).subspan(0x98, 8)), "54060000342e3000");
  EXPECT_EQ(hexText(ByteSpan(image).subspan(0xDFE, 6)), "000001010001");

  // Page 1: pages 0-15 in use, the rest of the map's reach free; an empty second row.
  ByteSpan global = pageOf(image, 1);
  EXPECT_EQ(hexText(global.first(16)), "0101640f01000000000000000200bb0f");
  EXPECT_EQ(hexText(global.last(138)), std::string(138, '0') + "00000000000000" + std::string(124, 'f'));

  // Page 6: 31 inline maps; the owned/free maps of MSysObjects and MSysACEs
  // hold their data page, each index map its root, every other map nothing.
  ByteSpan maps = pageOf(image, 6);
  EXPECT_EQ(hexText(maps.first(14)), "0101590700000000000000001f00");
  std::map<int, int> member = {{0, 14}, {1, 14},  {16, 7},  {17, 8},  {18, 15}, {19, 15},
                               {20, 9}, {25, 10}, {28, 11}, {29, 12}, {30, 13}};
  for (int r = 0; r < 31; ++r) {
    Bytes expected(69, 0);
    if (member.count(r)) expected[5 + member[r] / 8] = uint8_t(1 << (member[r] % 8));
    EXPECT_EQ(u16At(maps, 14 + 2 * r), 4096 - 69 * (r + 1));
    EXPECT_EQ(hexText(maps.subspan(4096 - 69 * (r + 1), 69)), hexText(expected)) << "map row " << r;
  }
  EXPECT_EQ(u32At(pageOf(image, 14), 4), 2u);  // data page owners: the TDEF pages
  EXPECT_EQ(u32At(pageOf(image, 15), 4), 3u);
}

TEST(CreateDatabase, IndexLeavesHoldJetsEntries) {
  const Bytes image = newDatabaseImage(kFixed);
  auto entries = [&](uint32_t page) {
    IndexPage p = decodeIndexPage(pageOf(image, page), page, "test", jet4Layout());
    EXPECT_EQ(p.tdefPage, page <= 8 ? 2u : page == 9 ? 3u : page == 10 ? 4u : 5u);
    std::string s;
    for (const auto& e : p.entries()) s += hexText(e) + "\n";
    return s;
  };
  // (ParentId, Name) and Id of MSysObjects, each entry ending in page 14 and the row.
  EXPECT_EQ(entries(7),
            "7f8f0000007f4f4a6d4a4c4a6b516b010000000e01\n7f8f0000007f69515e4a6d5964626b5759666b010000000e02\n"
            "7f8f0000007f6d4a4c5e516b010000000e00\n7f8f0000017f606b766b4a4d516b010000000e05\n"
            "7f8f0000017f606b766b644c5b514d6d6b010000000e04\n7f8f0000017f606b766b686f516959516b010000000e06\n"
            "7f8f0000017f606b766b69515e4a6d5964626b5759666b010000000e07\n7f8f0000027f606b766b4f4c010000000e03\n");
  EXPECT_EQ(entries(8),
            "7f8000000200000e04\n7f8000000300000e05\n7f8000000400000e06\n7f8000000500000e07\n"
            "7f8f00000100000e00\n7f8f00000200000e01\n7f8f00000300000e02\n7f9000000000000e03\n");
  // ObjectId of MSysACEs (page 15): equal keys ordered by row.
  std::string aces;
  for (auto [key, rows] : std::vector<std::pair<std::string, std::vector<int>>>{{"80000002", {0, 13}},
                                                                                {"80000003", {1}},
                                                                                {"80000004", {2, 11}},
                                                                                {"80000005", {3, 12}},
                                                                                {"8f000001", {4, 5, 14}},
                                                                                {"8f000002", {8}},
                                                                                {"8f000003", {6, 7, 15}},
                                                                                {"90000000", {9, 10}}})
    for (int r : rows) aces += "7f" + key + "00000f" + hexText(Bytes{uint8_t(r)}) + "\n";
  EXPECT_EQ(entries(9), aces);
  for (uint32_t p = 10; p <= 13; ++p) {
    EXPECT_EQ(entries(p), "");
    EXPECT_EQ(u16At(pageOf(image, p), 2), 3616);
  }
}

TEST(CreateDatabase, SystemTablesAndRowsReadBackAsJetWritesThem) {
  MemoryFileSystem fs;
  createDatabase(fs, "/new.mdb", kFixed);
  const Bytes image = fs.bytes("/new.mdb");
  auto db = Database::open("/new.mdb", OpenOptions{true, "", &fs});
  EXPECT_TRUE(db->userTableNames().empty());
  std::string list;
  for (const auto& e : db->tableList()) list += e.name + ":" + e.type + " ";
  EXPECT_EQ(list,
            "MSysACEs:SYSTEM TABLE MSysObjects:SYSTEM TABLE MSysQueries:SYSTEM TABLE MSysRelationships:SYSTEM TABLE ");
  for (const auto& [name, expected] : kJetDefinitions) {
    auto t = db->table(name);
    EXPECT_EQ(describe(*t, pageOf(image, t->tdefPage)), expected) << name;
    EXPECT_EQ(u16At(pageOf(image, t->tdefPage), 2), 4096 - 8 - u32At(pageOf(image, t->tdefPage), 8)) << name;
  }
  // Owners and SIDs masked with 67 8a: engine 6589, Admin 648b, Users 658b, Creator 658e.
  const std::string nulls = " - - - - - - - - -";
  EXPECT_EQ(tableText(db, "MSysObjects"), "251658241 251658240 Tables 3 T T 6589 -2147483648" + nulls +
                                              "\n251658242 251658240 Databases 3 T T 6589 "
                                              "-2147483648" +
                                              nulls + "\n251658243 251658240 Relationships 3 T T 6589 -2147483648" +
                                              nulls + "\n268435456 251658242 MSysDb 2 T T 648b -2147483648" + nulls +
                                              "\n2 251658241 MSysObjects 1 T T 6589 -2147483648" + nulls +
                                              "\n3 251658241 MSysACEs 1 T T 6589 -2147483648" + nulls +
                                              "\n4 251658241 MSysQueries 1 T T 6589 -2147483648" + nulls +
                                              "\n5 251658241 MSysRelationships 1 T T 6589 -2147483648" + nulls + "\n");
  EXPECT_EQ(tableText(db, "MSysACEs"),
            "2 648b 393216 no\n3 648b 393216 no\n4 648b 393216 no\n5 648b 917504 no\n251658241 658e 983294 yes\n"
            "251658241 648b 393217 no\n251658243 658e 983294 yes\n251658243 648b 393217 no\n251658242 648b 393216 no\n"
            "268435456 648b 393230 no\n268435456 658b 14 no\n4 658b 20 no\n5 658b 20 no\n2 658b 20 no\n"
            "251658241 658b 1048319 yes\n251658243 658b 1048575 yes\n");
  // Row 0 of the catalog byte for byte as Jet writes it.
  EXPECT_EQ(hexText(pageOf(image, 14).last(75)),
            "11000100000f0000000f03004efbd33b3eabe4404efbd33b3eabe44000000080540061006200"
            "6c00650073006589" +
                std::string("2e00") + "2e002e002e002e002e002e002e002e002e002c0020000b00ff0000");
}

TEST(CreateDatabase, PasswordGoesIntoTheMaskedHeader) {
  MemoryFileSystem fs;
  createDatabase(fs, "/locked.mdb", {"Geheim-ß", jetRowTime()});
  EXPECT_EQ(decodeHeader(pageOf(fs.bytes("/locked.mdb"), 0)).password, "Geheim-ß");
  EXPECT_THROW(Database::open("/locked.mdb", OpenOptions{true, "", &fs}), EngineError);
  EXPECT_NO_THROW(Database::open("/locked.mdb", OpenOptions{true, "Geheim-ß", &fs}));
  expectRefused(
      [&] {
        createDatabase(fs, "/long.mdb", {std::string(21, 'x'), std::nullopt});
      },
      "'/long.mdb': a database password can have at most 20 characters");
  EXPECT_FALSE(fs.exists("/long.mdb"));
}

TEST(CreateDatabase, RowsWrittenLaterKeepTheFileConsistent) {
  ScratchFolder folder;
  const std::string path = folder.path("new.mdb");
  EXPECT_EQ(cli("create '" + path + "'"), std::pair(0, "Created " + path + "\n"));
  EXPECT_EQ(checkFile(path), "clean");

  // A saved query's rows in MSysObjects, MSysACEs and MSysQueries (with a
  // long value), then removed again: maps and indexes stay consistent.
  OpenOptions writable;
  writable.readOnly = false;
  auto db = Database::open(path, writable);
  auto objects = db->table("MSysObjects"), aces = db->table("MSysACEs"), queries = db->table("MSysQueries");
  std::vector<std::optional<Value>> object(17, Value());
  object[0] = int32_t(0x80000001);
  object[1] = int32_t(0x0F000001);
  object[2] = std::string("Query1");
  object[3] = int16_t(5);
  object[7] = int32_t(0);
  uint32_t rows[3];
  TableWriter writer(db);
  writer.begin();
  writer.insertRow(*objects, object);
  rows[0] = writer.lastInserted();
  writer.insertRow(*aces, {int32_t(0x80000001), Binary{0x64, 0x8b}, int32_t(1048575), false});
  rows[1] = writer.lastInserted();
  writer.insertRow(*queries, {int32_t(0x80000001), uint8_t(0), Binary{0, 0, 0, 1}, std::string("Table1"), Value(),
                              std::string(3000, 'q'), int16_t(0), Value()});
  rows[2] = writer.lastInserted();
  writer.commit();
  EXPECT_EQ(checkFile(path), "clean");
  EXPECT_NE(cli("sql '" + path + "' \"SELECT Name FROM MSysObjects WHERE Type = 5\"").second.find("Query1"),
            std::string::npos);
  writer.begin();
  writer.deleteRow(*queries, rows[2]);
  writer.deleteRow(*aces, rows[1]);
  writer.deleteRow(*objects, rows[0]);
  writer.commit();
  EXPECT_EQ(checkFile(path), "clean");

  // A second create refuses, in one line, and leaves the file as it is.
  std::ifstream in(path, std::ios::binary);
  const std::string before(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(cli("create '" + path + "'"), std::pair(1, "kevra-cli: Could not create the database '" + path +
                                                           "': a file with that name already exists.\n"));
  std::ifstream again(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}), before);
}

TEST(CreateDatabase, RefusesWhatExistsAndLeavesNothingBehindAfterAFailure) {
  MemoryFileSystem memory;
  memory.put("/taken.mdb", std::vector<uint8_t>(5000, 0x5A));
  expectRefused([&] { createDatabase(memory, "/taken.mdb"); }, "'/taken.mdb': a file with that name already exists");
  EXPECT_EQ(memory.bytes("/taken.mdb"), std::vector<uint8_t>(5000, 0x5A));
  memory.put("/gone.mdb.journal", {1, 2, 3});  // would be applied to the new file
  expectRefused([&] { createDatabase(memory, "/gone.mdb"); }, "journal '/gone.mdb.journal'");
  EXPECT_FALSE(memory.exists("/gone.mdb"));

  // Fail each file operation of a create in turn, then stop the process at
  // each: a failure leaves no file at all, a crash the target absent or whole.
  const Bytes image = newDatabaseImage(kFixed);
  for (auto action : {Fault::Action::Fail, Fault::Action::Crash}) {
    bool completed = false;
    for (uint64_t step = 1; !completed && step < 50; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
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
      const bool made = base.exists("/x/new.mdb");
      for (const auto& path : touched)
        EXPECT_TRUE(path == "/x/new.mdb" || action == Fault::Action::Crash || !base.exists(path)) << path;
      EXPECT_TRUE(completed || action == Fault::Action::Crash || !made);
      EXPECT_EQ(made ? base.bytes("/x/new.mdb") : image, image);
      // A temporary file left by a crash is no obstacle to the next create.
      if (!made) {
        EXPECT_NO_THROW(createDatabase(base, "/x/new.mdb", kFixed));
      }
    }
    EXPECT_TRUE(completed);
  }
}

TEST(CreateDatabase, CatalogCreateTakesTheConnectionString) {
  ScratchFolder folder;
  const std::string path = folder.path("made by catalog.mdb"), jet = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
  db::Catalog catalog;
  catalog.Create(jet + path);
  EXPECT_EQ(catalog.Tables().Count(), 4);
  EXPECT_EQ(catalog.Tables().Item(0).Type(), "SYSTEM TABLE");
  EXPECT_EQ(checkFile(path), "clean");
  expectRefused([&] { catalog.Create(jet + path); }, "already exists");
  expectRefused([&] { catalog.Create("Provider=Microsoft.Jet.OLEDB.4.0"); }, "Data Source");
  expectRefused([&] { catalog.Create(jet + folder.path("old.mdb") + ";Jet OLEDB:Engine Type=4"); }, "Jet 4");
  EXPECT_FALSE(std::filesystem::exists(folder.path("old.mdb")));
  catalog.Create(jet + folder.path("p.mdb") + ";Jet OLEDB:Database Password=pw");
  EXPECT_EQ(Database::open(folder.path("p.mdb"), OpenOptions{true, "pw", nullptr})->header().password, "pw");
}
