// Reading complex columns through MSysComplexColumns and the flat tables.
#include "engine/table/complex_columns.h"

#include <algorithm>

#include "engine/format/attachment_data.h"
#include "engine/format/value_text.h"
#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {
namespace {

constexpr uint8_t kValueKeyFlag = 0x08;  // extra flags of the flat table's `_<column>`
constexpr uint8_t kRowKeyFlag = 0x04;    // extra flags of its `<table>_<column>`

int64_t integerOf(const Value& v) {
  if (auto p = std::get_if<int32_t>(&v)) return *p;
  if (auto p = std::get_if<int16_t>(&v)) return *p;
  if (auto p = std::get_if<uint8_t>(&v)) return *p;
  return -1;
}

size_t findColumn(const TableDef& t, std::string_view name) {
  const ColumnDef* c = t.findColumn(name);
  return c ? size_t(c - t.columns.data()) : t.columns.size();
}

std::string sizeText(size_t bytes) { return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes"); }

}  // namespace

std::shared_ptr<const Database> ComplexColumns::database() const {
  auto db = db_.lock();
  if (!db) throw EngineError("The database of a complex column is closed.");
  return db;
}

void ComplexColumns::loadDirectory() const {
  if (directoryLoaded_) return;
  auto db = database();
  const CatalogObject* o = db->findObject("MSysComplexColumns");
  if (o) {
    auto def = db->table("MSysComplexColumns");
    size_t id = findColumn(*def, "ComplexID"), flat = findColumn(*def, "FlatTableID");
    if (id == def->columns.size() || flat == def->columns.size())
      throw CorruptFileError("Corrupt file: MSysComplexColumns lacks its ComplexID or FlatTableID column.");
    TableCursor cursor(db, def);
    std::vector<Value> row;
    while (cursor.next(row)) flatPages_[uint32_t(integerOf(row[id]))] = uint32_t(integerOf(row[flat]));
  }
  directoryLoaded_ = true;
}

const ComplexColumns::FlatTable& ComplexColumns::flatTable(const ColumnDef& column) const {
  if (auto it = flatTables_.find(column.complexId); it != flatTables_.end()) return it->second;
  loadDirectory();
  auto db = database();
  auto page = flatPages_.find(column.complexId);
  const CatalogObject* object = nullptr;
  if (page != flatPages_.end())
    for (const auto& o : db->objects())
      if (o.isLocalTable() && uint32_t(o.id) == page->second) object = &o;
  if (!object)
    throw CorruptFileError("Corrupt file: the values of complex column '" + column.name +
                           "' (id " + std::to_string(column.complexId) + ") have no table.");
  FlatTable flat;
  flat.def = db->tableAtPage(page->second, object->name);
  const TableDef& t = *flat.def;
  flat.valueKey = flat.rowKey = t.columns.size();
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (t.columns[i].extFlags & kValueKeyFlag)
      flat.valueKey = i;
    else if (t.columns[i].extFlags & kRowKeyFlag)
      flat.rowKey = i;
    else
      flat.values.push_back(i);
  }
  if (flat.valueKey == t.columns.size() || flat.values.empty())
    throw CorruptFileError("Corrupt file: the value table '" + t.name + "' of complex column '" + column.name +
                           "' has no key column.");
  size_t fileName = findColumn(t, "FileName"), fileData = findColumn(t, "FileData");
  if (fileName < t.columns.size() && fileData < t.columns.size())
    flat.kind = Kind::Attachment;
  else if (flat.values.size() > 1)
    flat.kind = Kind::History;

  // One pass over the flat table: what each key shows, in flat-key order.
  std::map<int32_t, std::vector<std::pair<int64_t, std::string>>> pieces;
  TableCursor cursor(db, flat.def);
  std::vector<Value> row;
  const std::string owner = "column '" + column.name + "'";
  while (cursor.next(row)) {
    int32_t key = int32_t(integerOf(row[flat.valueKey]));
    int64_t order = flat.rowKey < row.size() ? integerOf(row[flat.rowKey]) : 0;
    std::string text;
    if (flat.kind == Kind::Attachment) {
      text = valueToText(row[fileName]);
      if (const Binary* data = std::get_if<Binary>(&row[fileData]))
        text += " (" + sizeText(decodeAttachmentData(ByteSpan(*data), owner).bytes.size()) + ")";
    } else if (flat.kind == Kind::History) {
      // The date of the change, then the text it replaced.
      std::string when, what;
      for (size_t i : flat.values) {
        if (std::holds_alternative<DateTime>(row[i]))
          when = valueToText(row[i]);
        else if (what.empty())
          what = valueToText(row[i]);
      }
      text = when.empty() ? what : when + ": " + what;
    } else {
      text = valueToText(row[flat.values.front()]);
    }
    pieces[key].emplace_back(order, std::move(text));
  }
  for (auto& [key, list] : pieces) {
    std::stable_sort(list.begin(), list.end(), [](auto& a, auto& b) { return a.first < b.first; });
    auto& out = flat.shown[key];
    for (auto& p : list) out.push_back(std::move(p.second));
  }
  return flatTables_.emplace(column.complexId, std::move(flat)).first->second;
}

Value ComplexColumns::display(const ColumnDef& column, int32_t key) const {
  std::lock_guard lock(mutex_);
  const FlatTable& flat = flatTable(column);
  auto it = flat.shown.find(key);
  if (it == flat.shown.end() || it->second.empty()) return std::monostate{};
  std::string joined;
  for (const auto& piece : it->second) {
    if (!joined.empty()) joined += "; ";
    joined += piece;
  }
  return joined;
}

bool ComplexColumns::isAttachmentColumn(const ColumnDef& column) const {
  if (column.type != ColumnType::Complex) return false;
  std::lock_guard lock(mutex_);
  return flatTable(column).kind == Kind::Attachment;
}

std::vector<AttachmentFile> ComplexColumns::attachments(const ColumnDef& column, int32_t key) const {
  std::shared_ptr<const TableDef> def;
  {
    std::lock_guard lock(mutex_);
    const FlatTable& flat = flatTable(column);
    if (flat.kind != Kind::Attachment) throw EngineError("Column '" + column.name + "' holds no attachments.");
    def = flat.def;
  }
  const TableDef& t = *def;
  size_t valueKey = 0, rowKey = t.columns.size();
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (t.columns[i].extFlags & kValueKeyFlag) valueKey = i;
    if (t.columns[i].extFlags & kRowKeyFlag) rowKey = i;
  }
  size_t fileName = findColumn(t, "FileName"), fileType = findColumn(t, "FileType"), fileData = findColumn(t, "FileData");
  std::vector<std::pair<int64_t, AttachmentFile>> found;
  TableCursor cursor(database(), def);
  std::vector<Value> row;
  const std::string owner = "column '" + column.name + "'";
  while (cursor.next(row)) {
    if (integerOf(row[valueKey]) != key) continue;
    AttachmentFile file;
    file.name = valueToText(row[fileName]);
    if (fileType < row.size()) file.type = valueToText(row[fileType]);
    if (const Binary* data = std::get_if<Binary>(&row[fileData]))
      file.bytes = decodeAttachmentData(ByteSpan(*data), owner).bytes;
    found.emplace_back(rowKey < row.size() ? integerOf(row[rowKey]) : 0, std::move(file));
  }
  std::stable_sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::vector<AttachmentFile> files;
  for (auto& f : found) files.push_back(std::move(f.second));
  return files;
}

}  // namespace kevra
