// System-table rows as Access writes them for new objects: dates of now, the
// owner of the database object as owner, the inheritable entries of the
// parent container (except the creator's) as access entries.
#include "engine/table/catalog_rows.h"

#include <ctime>

#include "engine/format/value_text.h"
#include "engine/table/database.h"
#include "engine/table/schema_spec.h"
#include "engine/table/table_cursor.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr uint32_t kCatalogPage = 2;

DateTime now() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return fromCivil(CivilDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                 local.tm_sec, 0});
}

size_t indexOf(const TableDef& t, std::string_view name) {
  for (size_t i = 0; i < t.columns.size(); ++i)
    if (namesEqualCaseInsensitive(t.columns[i].name, name)) return i;
  throw CorruptFileError("Corrupt file: the system table '" + t.name + "' has no field '" + std::string(name) + "'.");
}

int64_t integerOf(const Value& v) {
  if (auto* i = std::get_if<int32_t>(&v)) return *i;
  if (auto* s = std::get_if<int16_t>(&v)) return *s;
  if (auto* b = std::get_if<uint8_t>(&v)) return *b;
  return 0;
}

std::string textOf(const Value& v) {
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  return {};
}

}  // namespace

CatalogRows::CatalogRows(std::shared_ptr<Database> db, TableWriter& writer) : db_(std::move(db)), writer_(writer) {}

void CatalogRows::eachRow(const std::string& table,
                          const std::function<void(const TableDef&, const Row&, uint32_t)>& visit) {
  auto def = db_->table(table);
  std::vector<std::pair<Row, uint32_t>> rows;
  auto cursor = db_->openCursor(def);
  Row row;
  while (cursor->next(row)) rows.emplace_back(row, cursor->lastLocation());
  for (auto& [values, location] : rows) visit(*def, values, location);
}

void CatalogRows::insert(const std::string& table, const std::vector<std::pair<std::string, Value>>& values) {
  auto def = db_->table(table);
  std::vector<std::optional<Value>> row(def->columns.size(), Value{});
  for (const auto& [name, value] : values) row[indexOf(*def, name)] = value;
  writer_.insertRow(*def, row);
}

Binary CatalogRows::adminOwner() {
  Binary owner;
  eachRow("MSysObjects", [&](const TableDef& def, const Row& row, uint32_t) {
    if (integerOf(row[indexOf(def, "Type")]) == 2 && textOf(row[indexOf(def, "Name")]) == "MSysDb")
      if (auto* b = std::get_if<Binary>(&row[indexOf(def, "Owner")])) owner = *b;
  });
  return owner;
}

void CatalogRows::copyAces(int32_t container, int32_t objectId) {
  // The creator's entry on a container is a template for whoever creates an
  // object; Access leaves it out of the object's own entries. Built-in SIDs
  // are masked per file with the same two bytes, so the creator's masked SID
  // follows from the admin's (the database object's owner).
  const Binary admin = adminOwner();
  std::optional<Binary> creator;
  if (admin.size() == 2) creator = Binary{uint8_t(admin[0] ^ 0x03 ^ 0x02), uint8_t(admin[1] ^ 0x01 ^ 0x04)};
  if (!db_->findObject("MSysACEs")) return;
  std::vector<std::pair<Binary, int32_t>> entries;
  eachRow("MSysACEs", [&](const TableDef& def, const Row& row, uint32_t) {
    if (integerOf(row[indexOf(def, "ObjectId")]) != container) return;
    const Value& inheritable = row[indexOf(def, "FInheritable")];
    if (!std::holds_alternative<bool>(inheritable) || !std::get<bool>(inheritable)) return;
    Binary sid;
    if (auto* b = std::get_if<Binary>(&row[indexOf(def, "SID")])) sid = *b;
    if (creator && sid == *creator) return;
    entries.emplace_back(sid, int32_t(integerOf(row[indexOf(def, "ACM")])));
  });
  for (auto& [sid, acm] : entries)
    insert("MSysACEs", {{"ObjectId", Value(objectId)}, {"SID", Value(sid)}, {"ACM", Value(acm)},
                        {"FInheritable", Value(false)}});
}

void CatalogRows::addTable(const std::string& name, uint32_t tdefPage, const PropertyBlob& properties) {
  const DateTime created = now();
  std::vector<std::pair<std::string, Value>> values = {
      {"Id", Value(int32_t(tdefPage))},  {"ParentId", Value(kTablesContainerId)},
      {"Name", Value(name)},             {"Type", Value(int16_t(1))},
      {"DateCreate", Value(created)},    {"DateUpdate", Value(created)},
      {"Owner", Value(adminOwner())},    {"Flags", Value(int32_t(0))}};
  if (!properties.empty()) values.emplace_back("LvProp", Value(encodePropertyBlob(properties)));
  insert("MSysObjects", values);
  copyAces(kTablesContainerId, int32_t(tdefPage));
}

void CatalogRows::removeObject(int32_t id, uint32_t rowLocation) {
  writer_.deleteRow(*db_->table("MSysObjects"), rowLocation);
  if (!db_->findObject("MSysACEs")) return;
  eachRow("MSysACEs", [&](const TableDef& def, const Row& row, uint32_t location) {
    if (integerOf(row[indexOf(def, "ObjectId")]) == id) writer_.deleteRow(def, location);
  });
}

void CatalogRows::renameObject(uint32_t rowLocation, const std::string& name) {
  eachRow("MSysObjects", [&](const TableDef& def, const Row& row, uint32_t location) {
    if (location != rowLocation) return;
    Row changed = row;
    changed[indexOf(def, "Name")] = Value(name);
    changed[indexOf(def, "DateUpdate")] = Value(now());
    writer_.updateRow(def, location, changed);
  });
}

void CatalogRows::setProperties(uint32_t rowLocation, const PropertyBlob& properties) {
  eachRow("MSysObjects", [&](const TableDef& def, const Row& row, uint32_t location) {
    if (location != rowLocation) return;
    Row changed = row;
    changed[indexOf(def, "LvProp")] = properties.empty() ? Value{} : Value(encodePropertyBlob(properties));
    changed[indexOf(def, "DateUpdate")] = Value(now());
    writer_.updateRow(def, location, changed);
  });
}

void CatalogRows::setObjectFields(uint32_t rowLocation, const std::vector<std::pair<std::string, Value>>& fields) {
  eachRow("MSysObjects", [&](const TableDef& def, const Row& row, uint32_t location) {
    if (location != rowLocation) return;
    Row changed = row;
    for (const auto& [name, value] : fields) changed[indexOf(def, name)] = value;
    writer_.updateRow(def, location, changed);
  });
}

int32_t CatalogRows::addRelationship(const RelationshipSpec& spec, uint32_t flags) {
  // Objects that are not tables take synthetic ids above 0x80000000.
  uint32_t largest = 0x80000000u;
  eachRow("MSysObjects", [&](const TableDef& def, const Row& row, uint32_t) {
    const uint32_t id = uint32_t(integerOf(row[indexOf(def, "Id")]));
    if (id & 0x80000000u) largest = std::max(largest, id);
  });
  const int32_t id = int32_t(largest + 1);
  const DateTime created = now();
  insert("MSysObjects", {{"Id", Value(id)},
                         {"ParentId", Value(kRelationshipsContainerId)},
                         {"Name", Value(spec.name)},
                         {"Type", Value(int16_t(8))},
                         {"DateCreate", Value(created)},
                         {"DateUpdate", Value(created)},
                         {"Owner", Value(adminOwner())},
                         {"Flags", Value(int32_t(0))}});
  for (size_t i = 0; i < spec.columns.size(); ++i)
    insert("MSysRelationships", {{"szRelationship", Value(spec.name)},
                                 {"grbit", Value(int32_t(flags))},
                                 {"ccolumn", Value(int32_t(spec.columns.size()))},
                                 {"icolumn", Value(int32_t(i))},
                                 {"szObject", Value(spec.table)},
                                 {"szColumn", Value(spec.columns[i])},
                                 {"szReferencedObject", Value(spec.referencedTable)},
                                 {"szReferencedColumn", Value(spec.referencedColumns[i])}});
  copyAces(kRelationshipsContainerId, id);
  return id;
}

void CatalogRows::removeRelationship(const std::string& name) {
  std::optional<std::pair<int32_t, uint32_t>> object;
  eachRow("MSysObjects", [&](const TableDef& def, const Row& row, uint32_t location) {
    if (integerOf(row[indexOf(def, "Type")]) == 8 && integerOf(row[indexOf(def, "ParentId")]) == kRelationshipsContainerId &&
        namesEqualCaseInsensitive(textOf(row[indexOf(def, "Name")]), name))
      object = std::make_pair(int32_t(integerOf(row[indexOf(def, "Id")])), location);
  });
  if (object) removeObject(object->first, object->second);
  eachRow("MSysRelationships", [&](const TableDef& def, const Row& row, uint32_t location) {
    if (namesEqualCaseInsensitive(textOf(row[indexOf(def, "szRelationship")]), name)) writer_.deleteRow(def, location);
  });
}

void CatalogRows::renameInRelationships(const std::string& table, const std::optional<std::string>& column,
                                        const std::string& newName) {
  if (!db_->findObject("MSysRelationships")) return;
  eachRow("MSysRelationships", [&](const TableDef& def, const Row& row, uint32_t location) {
    Row changed = row;
    bool touched = false;
    for (auto [object, field] : {std::pair{"szObject", "szColumn"}, {"szReferencedObject", "szReferencedColumn"}}) {
      if (!namesEqualCaseInsensitive(textOf(row[indexOf(def, object)]), table)) continue;
      if (!column) {
        changed[indexOf(def, object)] = Value(newName);
        touched = true;
      } else if (namesEqualCaseInsensitive(textOf(row[indexOf(def, field)]), *column)) {
        changed[indexOf(def, field)] = Value(newName);
        touched = true;
      }
    }
    if (touched) writer_.updateRow(def, location, changed);
  });
}

}  // namespace kevra
