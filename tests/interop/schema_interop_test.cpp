// Table definitions: columns, indexes and relationships reported by
// `kevra-cli schema` against mdb-schema and MSysRelationships; where mdbtools
// is known to misread a definition, the true value is asserted instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "kevra_cli.h"
#include "mdb_oracle.h"
#include "normalise.h"
#include "sample_params.h"

namespace kevra::interop {
namespace {

std::set<int> adoTypesFor(const std::string& mdbType) {
  static const std::map<std::string, std::set<int>> map = {
      {"Boolean", {ado::Boolean}},        {"Byte", {ado::UnsignedTinyInt}},
      {"Integer", {ado::SmallInt}},       {"Long Integer", {ado::Integer}},
      {"Currency", {ado::Currency}},      {"Single", {ado::Single}},
      {"Double", {ado::Double}},          {"DateTime", {ado::Date}},
      {"Binary", {ado::VarBinary, ado::Binary}},
      {"Text", {ado::VarWChar, ado::WChar}},
      {"OLE", {ado::LongVarBinary}},      {"Memo/Hyperlink", {ado::LongVarWChar}},
      {"Replication ID", {ado::Guid}},    {"Numeric", {ado::Numeric}},
  };
  auto it = map.find(mdbType);
  return it == map.end() ? std::set<int>{} : it->second;
}

int intOf(const Json& v) { return v.isNumber() ? std::stoi(v.text) : -1; }
bool boolOf(const Json& v) { return v.isBool() && v.boolean; }

// The DEFAULT text mdb-schema's access backend prints for a DefaultValue
// property: a quoted string loses its double quotes and gets single ones,
// Yes/No become TRUE/FALSE, anything else is printed as it is.
std::string asMdbtoolsPrintsDefault(const std::string& raw) {
  if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
    std::string inner = raw.substr(1, raw.size() - 2), out = "'";
    for (char c : inner) {
      out += c;
      if (c == '\'') out += '\'';
    }
    return out + "'";
  }
  if (raw == "Yes") return "TRUE";
  if (raw == "No") return "FALSE";
  return raw;
}

// Index definitions libmdb 1.0 cannot decode (it prints them with no columns
// and no flags). The true definitions below were read from the real-index and
// logical-index entries of each table definition page.
struct TrueIndex {
  const char* file;
  const char* table;
  const char* index;
  bool primary, unique, ignoreNulls;
  std::vector<std::pair<std::string, bool>> columns;  // name, descending
};

const std::vector<TrueIndex>& trueIndexes() {
  static const std::vector<TrueIndex> list = {
      // testindexpropertiesv2000: libmdb prints "can't find index #0" and
      // column ids such as 255 and 65279 for these three tables.
      {"testindexpropertiesv2000.mdb", "TableIgnoreNulls2", "DataIndex", false, false, true, {{"data1", false}, {"data2", false}}},
      {"testindexpropertiesv2000.mdb", "TableIgnoreNulls2", "PrimaryKey", true, true, false, {{"row", false}}},
      {"testindexpropertiesv2000.mdb", "TableUnique1_temp", "DataIndex", false, true, false, {{"data", false}}},
      {"testindexpropertiesv2000.mdb", "TableUnique1_temp", "PrimaryKey", true, true, false, {{"row", false}}},
      {"testindexpropertiesv2000.mdb", "TableUnique2_temp", "DataIndex", false, true, false, {{"data1", false}, {"data2", false}}},
      {"testindexpropertiesv2000.mdb", "TableUnique2_temp", "PrimaryKey", true, true, false, {{"row", false}}},
      // mdbtools reads these but prints no ignore-nulls flag at all.
      {"testindexpropertiesv2000.mdb", "TableIgnoreNulls1", "DataIndex", false, false, true, {{"data", false}}},
      {"testindexpropertiesv2000.mdb", "TableIgnoreNulls1_temp", "DataIndex", false, false, true, {{"data", false}}},
      {"testindexpropertiesv2000.mdb", "TableIgnoreNulls2_temp", "DataIndex", false, false, true, {{"data1", false}, {"data2", false}}},
      // delcoltestv2000: columns 1 and 4 were deleted; libmdb cannot map
      // index id2 to column number 2 ("can't find index #1").
      {"delcoltestv2000.mdb", "Table1", "id2", false, false, false, {{"id2", false}}},
      // catesri_test: two logical indexes share the real index of FDO_ID;
      // libmdb resolves only the first one of each pair.
      {"catesri_test.mdb", "GDB_Topologies", "TopologyByID", false, true, false, {{"ID", false}}},
      {"catesri_test.mdb", "GDB_ReplicaLog", "ReplicaLogByID", false, true, false, {{"ID", false}}},
  };
  return list;
}

const TrueIndex* trueIndex(const std::string& file, const std::string& table, const std::string& index) {
  for (const auto& t : trueIndexes())
    if (file == t.file && table == t.table && index == t.index) return &t;
  return nullptr;
}

const Json* indexNamed(const Json& table, const std::string& name) {
  for (const auto& idx : table.at("indexes").items)
    if (idx.at("name").text == name) return &idx;
  return nullptr;
}

const Json* primaryIndex(const Json& table) {
  for (const auto& idx : table.at("indexes").items)
    if (boolOf(idx.at("primary"))) return &idx;
  return nullptr;
}

std::vector<std::pair<std::string, bool>> indexColumns(const Json& idx) {
  std::vector<std::pair<std::string, bool>> cols;
  for (const auto& c : idx.at("columns").items) cols.emplace_back(c.at("name").text, boolOf(c.at("descending")));
  return cols;
}

class SchemaOfJet4File : public ::testing::TestWithParam<SampleFile> {
 protected:
  void SetUp() override { schema_ = cliSchema(GetParam()); }
  Json schema_;
};

TEST_P(SchemaOfJet4File, SchemaListsExactlyTheUserTables) {
  std::vector<std::string> names;
  for (const auto& t : schema_.at("tables").items) names.push_back(t.at("name").text);
  std::vector<std::string> theirs = mdbUserTables(GetParam().path);
  std::sort(names.begin(), names.end());
  std::sort(theirs.begin(), theirs.end());
  EXPECT_EQ(names, theirs);
}

TEST_P(SchemaOfJet4File, OneTableFormEqualsItsEntryInTheWholeSchema) {
  const SampleFile& sample = GetParam();
  for (const auto& t : schema_.at("tables").items) {
    const std::string& name = t.at("name").text;
    std::vector<std::string> args{"schema", sample.path, name};
    for (auto& a : passwordArgs(sample)) args.push_back(a);
    ProcessResult r = runCli(args);
    ASSERT_EQ(r.exitCode, 0) << name << ": " << r.err;
    Json one = parseJson(r.out);
    ASSERT_EQ(one.at("tables").items.size(), 1u) << name;
    EXPECT_EQ(one.at("tables").items[0].dump(), t.dump()) << name;
  }
}

TEST_P(SchemaOfJet4File, ColumnsMatchMdbSchema) {
  const SampleFile& sample = GetParam();
  for (const std::string& table : mdbUserTables(sample.path)) {
    SCOPED_TRACE("table " + table);
    const Json* def = schemaTable(schema_, table);
    ASSERT_NE(def, nullptr);
    const auto& ours = def->at("columns").items;
    std::vector<MdbColumn> theirs = mdbColumns(sample.path, table);
    ASSERT_EQ(ours.size(), theirs.size());
    for (size_t i = 0; i < ours.size(); ++i) {
      const Json& c = ours[i];
      const MdbColumn& m = theirs[i];
      SCOPED_TRACE("column " + m.name);
      EXPECT_EQ(c.at("name").text, m.name) << "column order";
      int type = intOf(c.at("type"));
      std::set<int> accepted = adoTypesFor(m.typeName);
      ASSERT_FALSE(accepted.empty()) << "mdbtools type " << m.typeName;
      EXPECT_TRUE(accepted.count(type)) << "ADO type " << type << " for mdbtools " << m.typeName;
      if (m.typeName == "Text" || m.typeName == "Binary") {
        EXPECT_EQ(intOf(c.at("size")), m.size.value_or(-1)) << "size";
      }
      if (m.typeName == "Numeric") {
        EXPECT_EQ(intOf(c.at("precision")), m.precision.value_or(-1));
        EXPECT_EQ(intOf(c.at("scale")), m.scale.value_or(-1));
      }
      // mdbtools says NOT NULL for Yes/No columns and Required ones.
      EXPECT_EQ(boolOf(c.at("nullable")), !m.notNull) << "nullable";
      if (type == ado::Integer) {
        EXPECT_EQ(boolOf(c.at("autoincrement")), m.serial) << "autoincrement";
      } else if (type != ado::Guid) {
        EXPECT_FALSE(boolOf(c.at("autoincrement"))) << "autoincrement";
      }
      const Json& d = c.at("default");
      std::string ourDefault = d.isString() ? d.text : "";
      ASSERT_TRUE(d.isNull() || d.isString()) << d.dump();
      if (ourDefault.empty()) {
        // Yes/No without a default: mdbtools adds DEFAULT FALSE of its own.
        if (m.defaultText && !(m.typeName == "Boolean" && *m.defaultText == "FALSE"))
          ADD_FAILURE() << "no default, mdbtools has " << *m.defaultText;
      } else if (!m.defaultText) {
        ADD_FAILURE() << "default " << ourDefault << " that mdbtools does not see";
      } else if (ourDefault.size() < 6 || ourDefault.compare(0, 5, "date(") != 0) {
        EXPECT_EQ(asMdbtoolsPrintsDefault(ourDefault), *m.defaultText) << "default " << ourDefault;
      }
    }
  }
}

TEST_P(SchemaOfJet4File, IndexesMatchMdbSchemaOrTheKnownTrueDefinition) {
  const SampleFile& sample = GetParam();
  for (const std::string& table : mdbUserTables(sample.path)) {
    SCOPED_TRACE("table " + table);
    const Json* def = schemaTable(schema_, table);
    ASSERT_NE(def, nullptr);
    std::vector<MdbIndex> theirs = mdbIndexes(sample.path, table);
    size_t ourNonForeign = 0;
    for (const auto& idx : def->at("indexes").items)
      if (!boolOf(idx.at("foreign"))) ++ourNonForeign;
    // The mysql backend leaves out foreign-key indexes.
    EXPECT_EQ(ourNonForeign, theirs.size()) << "number of indexes that are not foreign keys";
    for (const MdbIndex& m : theirs) {
      SCOPED_TRACE("index " + (m.primary ? std::string("(primary key)") : m.name));
      const Json* idx = m.primary ? primaryIndex(*def) : indexNamed(*def, m.name);
      ASSERT_NE(idx, nullptr) << "missing";
      EXPECT_EQ(boolOf(idx->at("primary")), m.primary);
      EXPECT_FALSE(boolOf(idx->at("foreign")));
      if (m.columns.empty()) {
        // libmdb could not decode this definition; it must be a known case.
        const TrueIndex* truth = trueIndex(sample.name, table, idx->at("name").text);
        EXPECT_NE(truth, nullptr) << "mdbtools printed no columns for an index not known to be misread";
        continue;  // checked against the true definition below
      }
      if (!m.primary) {
        EXPECT_EQ(boolOf(idx->at("unique")), m.unique) << "unique";
      }
      auto ours = indexColumns(*idx);
      ASSERT_EQ(ours.size(), m.columns.size());
      for (size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i].first, m.columns[i].name);
        // mdbtools prints no DESC on primary keys.
        if (!m.primary) {
          EXPECT_EQ(ours[i].second, m.columns[i].descending) << ours[i].first << " descending";
        }
      }
    }
    for (const TrueIndex& truth : trueIndexes()) {
      if (sample.name != truth.file || table != truth.table) continue;
      SCOPED_TRACE(std::string("true definition of ") + truth.index);
      const Json* idx = indexNamed(*def, truth.index);
      ASSERT_NE(idx, nullptr);
      EXPECT_EQ(boolOf(idx->at("primary")), truth.primary);
      EXPECT_EQ(boolOf(idx->at("unique")), truth.unique);
      EXPECT_EQ(boolOf(idx->at("ignore_nulls")), truth.ignoreNulls);
      EXPECT_EQ(indexColumns(*idx), truth.columns);
    }
  }
}

// mdb-schema --relations can drop relationships (it does in indextestv2000),
// so the rows of MSysRelationships are the oracle.
TEST_P(SchemaOfJet4File, KeysMatchMSysRelationships) {
  const SampleFile& sample = GetParam();
  std::vector<MdbRelationshipRow> rows;
  try {
    rows = mdbRelationships(sample.path);
  } catch (const std::exception&) {
    rows.clear();  // files made through Jet alone may have no MSysRelationships rows
  }
  using KeyShape = std::pair<std::string, std::vector<std::pair<std::string, std::string>>>;  // related table, columns
  for (const std::string& table : mdbUserTables(sample.path)) {
    SCOPED_TRACE("table " + table);
    const Json* def = schemaTable(schema_, table);
    ASSERT_NE(def, nullptr);
    std::map<std::string, KeyShape> expected;
    std::map<std::string, std::map<int, std::pair<std::string, std::string>>> byIndex;
    for (const auto& r : rows) {
      if (r.table != table) continue;
      expected[r.name].first = r.referencedTable;
      byIndex[r.name][r.columnIndex] = {r.column, r.referencedColumn};
    }
    for (auto& [name, cols] : byIndex)
      for (auto& [i, pair] : cols) expected[name].second.push_back(pair);

    std::map<std::string, KeyShape> ours;
    for (const auto& key : def->at("keys").items) {
      const Json& related = key.at("related_table");
      if (!related.isString() || related.text.empty()) continue;  // primary and unique keys
      KeyShape shape{related.text, {}};
      for (const auto& c : key.at("columns").items) shape.second.emplace_back(c.at("name").text, c.at("related_column").text);
      ours[key.at("name").text] = shape;
    }
    EXPECT_EQ(ours, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, SchemaOfJet4File, ::testing::ValuesIn(jet4Samples()), sampleTestName);

// indextestv2000: both user relationships are enforced, so Table1 carries a
// foreign-key index for each (the ones mdb-schema leaves out).
TEST(Relationships, EnforcedRelationshipsHaveForeignKeyIndexes) {
  SampleFile sample{samplesDir() + "/indextestv2000.mdb", "indextestv2000.mdb", "JET4"};
  Json schema = cliSchema(sample);
  const Json* table1 = schemaTable(schema, "Table1");
  ASSERT_NE(table1, nullptr);
  std::set<std::vector<std::pair<std::string, bool>>> foreignColumns;
  for (const auto& idx : table1->at("indexes").items)
    if (boolOf(idx.at("foreign"))) foreignColumns.insert(indexColumns(idx));
  for (const auto& r : mdbRelationships(sample.path)) {
    if (r.table != "Table1") continue;
    EXPECT_EQ(r.grbit & 2, 0) << r.name << " is enforced";
    EXPECT_TRUE(foreignColumns.count({{r.column, false}})) << "no foreign-key index on " << r.column;
  }
  EXPECT_EQ(foreignColumns.size(), 2u);
}

}  // namespace
}  // namespace kevra::interop
