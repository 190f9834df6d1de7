// kevra-cli schema FILE [TABLE]: table structure as JSON.
#include <cstdio>

#include "cli/commands.h"
#include "cli/open_database.h"
#include "engine/table/schema_view.h"
#include "engine/isam/text_export.h"

namespace kevra::cli {
namespace {

void appendBool(std::string& out, const char* key, bool v) {
  out += ",\"";
  out += key;
  out += "\":";
  out += v ? "true" : "false";
}

void appendTable(std::string& out, const TableSchema& t) {
  out += "{\"name\":";
  appendJsonString(out, t.name);
  out += ",\"columns\":[";
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const ColumnInfo& c = t.columns[i];
    if (i) out.push_back(',');
    out += "{\"name\":";
    appendJsonString(out, c.name);
    out += ",\"type\":" + std::to_string(c.type) + ",\"size\":" + std::to_string(c.definedSize);
    appendBool(out, "nullable", c.nullable);
    // Both kinds of autonumber fill themselves: an incrementing Long and a
    // GUID made by GenGUID(); "autonumber" says which.
    appendBool(out, "autoincrement", c.autoIncrement || c.guidAutoNumber);
    out += ",\"autonumber\":";
    out += c.autoIncrement ? "\"increment\"" : c.guidAutoNumber ? "\"guid\"" : "null";
    out += ",\"default\":";
    if (c.defaultValue)
      appendJsonString(out, *c.defaultValue);
    else
      out += "null";
    out += ",\"precision\":" + std::to_string(c.precision) + ",\"scale\":" + std::to_string(c.scale);
    if (c.expression) {
      out += ",\"expression\":";
      appendJsonString(out, *c.expression);
    }
    out += "}";
  }
  out += "],\"indexes\":[";
  for (size_t i = 0; i < t.indexes.size(); ++i) {
    const IndexInfo& ix = t.indexes[i];
    if (i) out.push_back(',');
    out += "{\"name\":";
    appendJsonString(out, ix.name);
    out += ",\"columns\":[";
    for (size_t k = 0; k < ix.columns.size(); ++k) {
      if (k) out.push_back(',');
      out += "{\"name\":";
      appendJsonString(out, ix.columns[k].name);
      appendBool(out, "descending", ix.columns[k].descending);
      out += "}";
    }
    out += "]";
    appendBool(out, "unique", ix.unique);
    appendBool(out, "primary", ix.primary);
    appendBool(out, "ignore_nulls", ix.ignoreNulls);
    appendBool(out, "foreign", ix.foreign);
    out += "}";
  }
  out += "],\"keys\":[";
  bool first = true;
  for (const KeyInfo& k : t.keys) {
    if (k.kind != KeyKind::Foreign) continue;
    if (!first) out.push_back(',');
    first = false;
    out += "{\"name\":";
    appendJsonString(out, k.name);
    out += ",\"related_table\":";
    appendJsonString(out, k.relatedTable);
    out += ",\"columns\":[";
    for (size_t c = 0; c < k.columns.size(); ++c) {
      if (c) out.push_back(',');
      out += "{\"name\":";
      appendJsonString(out, k.columns[c].name);
      out += ",\"related_column\":";
      appendJsonString(out, k.columns[c].relatedColumn);
      out += "}";
    }
    out += "]}";
  }
  out += "]}";
}

}  // namespace

int runSchema(const Arguments& args) {
  if (args.positional.size() > 2) throw UsageError("'schema' takes FILE and an optional TABLE.");
  auto db = openForReading(args);
  Database::ReadScope reading(*db);  // one state of the file throughout
  std::vector<std::string> names;
  if (args.positional.size() == 2)
    names.push_back(args.positional[1]);
  else
    names = db->userTableNames();
  std::string out = "{\"tables\":[";
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) out.push_back(',');
    appendTable(out, describeTable(*db, names[i]));
  }
  out += "]}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

}  // namespace kevra::cli
