// Catalog and its collections, built from the engine's schema view.
#include "database/catalog.h"

#include "database/connection.h"
#include "database/connection_string.h"
#include "engine/isam/foreign_driver.h"
#include "engine/storage/file_system.h"
#include "engine/table/database.h"
#include "engine/table/database_creator.h"
#include "engine/table/linked_tables.h"
#include "engine/table/saved_query.h"
#include "engine/table/schema_view.h"
#include "engine/table/schema_writer.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

#include <algorithm>
#include <utility>

namespace kevra::db {

// Fills the objects from the engine's description of a table.
class CatalogBuilder {
 public:
  static Column column(const ColumnInfo& c) {
    Column col;
    col.name_ = c.name;
    col.type_ = c.type;
    col.definedSize_ = c.definedSize;
    col.attributes_ = (c.fixed ? adColFixed : 0) | (c.nullable ? adColNullable : 0);
    col.precision_ = c.precision;
    col.scale_ = c.scale;
    std::vector<Property> props;
    props.push_back({"Autoincrement", c.autoIncrement});
    props.push_back({"Default", c.defaultValue ? kevra::Value(*c.defaultValue) : kevra::Value()});
    props.push_back({"Description", c.description});
    props.push_back({"Format", c.format});
    props.push_back({"Jet OLEDB:Hyperlink", c.hyperlink});
    props.push_back({"Nullable", c.nullable});
    props.push_back({"Fixed Length", c.fixed});
    props.push_back({"Jet OLEDB:AutoGenerate", c.guidAutoNumber});
    props.push_back({"Jet OLEDB:Allow Zero Length", c.allowZeroLength});
    props.push_back({"Jet OLEDB:Compressed UNICODE Strings", c.compressedUnicode});
    // What a complex column (.accdb) holds: "Attachment" or "Multiple Values".
    if (c.complex != ColumnInfo::Complex::None)
      props.push_back({"Complex Type", std::string(c.complex == ColumnInfo::Complex::Attachment ? "Attachment"
                                                                                              : "Multiple Values")});
    col.properties_ = Properties(std::move(props));
    return col;
  }

  static Column reference(const std::string& name, const std::string& related, bool descending) {
    Column col;
    col.name_ = name;
    col.relatedColumn_ = related;
    col.sortOrder_ = descending ? adSortDescending : adSortAscending;
    return col;
  }

  static Index index(const TableSchema& t, const IndexInfo& ix) {
    Index out;
    out.name_ = ix.name;
    out.primaryKey_ = ix.primary;
    out.unique_ = ix.unique;
    out.ignoreNulls_ = ix.ignoreNulls;
    out.required_ = ix.required;
    out.foreign_ = ix.foreign;
    std::vector<Column> cols;
    for (const auto& c : ix.columns) {
      Column col = reference(c.name, "", c.descending);
      for (const auto& tc : t.columns)
        if (tc.name == c.name) {
          col.type_ = tc.type;
          col.definedSize_ = tc.definedSize;
        }
      cols.push_back(std::move(col));
    }
    out.columns_ = Columns("index '" + ix.name + "'", std::move(cols));
    return out;
  }

  static Key key(const KeyInfo& k) {
    Key out;
    out.name_ = k.name;
    out.type_ = int(k.kind);
    out.relatedTable_ = k.relatedTable;
    std::vector<Column> cols;
    for (const auto& c : k.columns) cols.push_back(reference(c.name, c.relatedColumn, false));
    out.columns_ = Columns("key '" + k.name + "'", std::move(cols));
    return out;
  }
};

namespace {

// The column a DataTypeEnum code and a defined size make, as the provider
// maps them (text sizes in characters, 255 when none is given).
kevra::ColumnSpec specFor(const std::string& name, int type, long definedSize) {
  kevra::ColumnSpec spec;
  spec.name = name;
  auto sized = [&](long fallback) {
    const long size = definedSize > 0 ? definedSize : fallback;
    if (size > 255) throw EngineError("Field '" + name + "': a text or binary size must be 1 to 255.");
    return size;
  };
  switch (type) {
    case adBoolean: spec.type = ColumnType::Boolean; spec.length = 1; break;
    case adUnsignedTinyInt: spec.type = ColumnType::Byte; spec.length = 1; break;
    case adSmallInt: spec.type = ColumnType::Integer; spec.length = 2; break;
    case adInteger: spec.type = ColumnType::Long; spec.length = 4; break;
    case adSingle: spec.type = ColumnType::Single; spec.length = 4; break;
    case adDouble: spec.type = ColumnType::Double; spec.length = 8; break;
    case adCurrency: spec.type = ColumnType::Currency; spec.length = 8; break;
    case adDate: spec.type = ColumnType::DateTime; spec.length = 8; break;
    case adGUID: spec.type = ColumnType::Guid; spec.length = 16; break;
    case adBinary:
    case adVarBinary: spec.type = ColumnType::Binary; spec.length = uint16_t(sized(255)); break;
    case adWChar:
    case adVarWChar: spec.type = ColumnType::Text; spec.length = uint16_t(2 * sized(255)); break;
    case adLongVarWChar: spec.type = ColumnType::Memo; break;
    case adLongVarBinary: spec.type = ColumnType::OLE; break;
    case adNumeric: spec.type = ColumnType::Decimal; spec.length = 17; spec.precision = 18; break;
    default:
      throw EngineError("Field '" + name + "': the type code " + std::to_string(type) + " is not a type a field can have.");
  }
  return spec;
}

std::shared_ptr<kevra::Database> storedIn(const std::shared_ptr<kevra::Database>& db, const std::string& what) {
  if (!db) throw EngineError(what + " is not part of a database yet; append its table to the catalog first.");
  return db;
}

// One structure change with a writer of its own (its own transaction).
template <typename Work>
void changeStructure(const std::shared_ptr<kevra::Database>& db, Work work) {
  kevra::TableWriter writer(db);
  kevra::SchemaWriter schema(db, writer);
  work(schema);
}

}  // namespace

struct Table::Loaded {
  kevra::db::Columns columns;
  kevra::db::Indexes indexes;
  kevra::db::Keys keys;
};

Table::Table() : type_("TABLE") {}

Table::Table(std::shared_ptr<kevra::Database> db, std::string name, std::string type)
    : db_(std::move(db)), name_(std::move(name)), type_(std::move(type)) {}

void Table::Name(const std::string& newName) {
  if (db_) {
    changeStructure(db_, [&](kevra::SchemaWriter& s) { s.renameTable(name_, newName); });
    loaded_.reset();
  }
  name_ = newName;
}

Columns& Table::Columns() {
  if (!db_) return newColumns_;
  loaded();
  return loaded_->columns;
}
Indexes& Table::Indexes() {
  loaded();
  return loaded_->indexes;
}
Keys& Table::Keys() {
  loaded();
  return loaded_->keys;
}

const Table::Loaded& Table::loaded() const {
  if (loaded_) return *loaded_;
  storedIn(db_, "Table '" + name_ + "'");
  TableSchema s = describeTable(*db_, name_);
  auto l = std::make_shared<Loaded>();
  std::vector<Column> cols;
  for (const auto& c : s.columns) cols.push_back(CatalogBuilder::column(c));
  for (auto& c : cols) {
    c.db_ = db_;
    c.table_ = name_;
  }
  l->columns = kevra::db::Columns("table '" + name_ + "'", std::move(cols));

  std::vector<Index> idx;
  for (const auto& i : s.indexes) idx.push_back(CatalogBuilder::index(s, i));
  l->indexes = kevra::db::Indexes("table '" + name_ + "'", std::move(idx));
  std::vector<Key> keys;
  for (const auto& k : s.keys) keys.push_back(CatalogBuilder::key(k));
  l->keys = kevra::db::Keys("table '" + name_ + "'", std::move(keys));
  l->columns.db_ = l->indexes.db_ = l->keys.db_ = db_;
  l->columns.table_ = l->indexes.table_ = l->keys.table_ = name_;
  loaded_ = std::move(l);
  return *loaded_;
}

const Properties& Table::Properties() const {
  if (properties_) return *properties_;
  std::vector<Property> props;
  if (db_ && (type_ == "LINK" || type_ == "PASS-THROUGH")) {
    const kevra::LinkedTable link = kevra::linkedTable(*db_, name_);
    props.push_back({"Jet OLEDB:Create Link", true});
    props.push_back({"Jet OLEDB:Link Datasource", link.datasource});
    props.push_back({"Jet OLEDB:Remote Table Name", link.foreignName});
    props.push_back({"Jet OLEDB:Link Provider String", link.connect});
  }
  properties_ = std::make_shared<kevra::db::Properties>(std::move(props));
  return *properties_;
}

void Table::SetProperty(const std::string& name, const kevra::Value& value) {
  storedIn(db_, "Table '" + name_ + "'");
  if (type_ != "LINK" || !namesEqualCaseInsensitive(name, "Jet OLEDB:Link Datasource"))
    throw EngineError("The property '" + name + "' of table '" + name_ + "' cannot be changed here.");
  kevra::relinkTable(db_, name_, propertyText(value));
  properties_.reset();
}

std::string Table::LinkTarget() const {
  storedIn(db_, "Table '" + name_ + "'");
  const kevra::LinkedTable link = kevra::linkedTable(*db_, name_);
  if (link.odbc)
    throw UnsupportedError("'" + name_ + "' is linked to an ODBC data source, which cannot be read here.");
  if (auto target = kevra::findLinkTarget(*db_, link.datasource)) return *target;
  throw EngineError(kevra::missingLinkTargetMessage(*db_, link));
}

const Columns& Table::Columns() const { return loaded().columns; }
const Indexes& Table::Indexes() const { return loaded().indexes; }
const Keys& Table::Keys() const { return loaded().keys; }

namespace {

template <typename T>
const T& itemAt(const std::vector<T>& items, int position, const std::string& what, const std::string& owner) {
  if (position < 0 || size_t(position) >= items.size())
    throw EngineError("There is no " + what + " at position " + std::to_string(position) +
                      (owner.empty() ? std::string() : " of " + owner) + "; there are " +
                      std::to_string(items.size()) + ".");
  return items[size_t(position)];
}

template <typename T>
const T& itemNamed(const std::vector<T>& items, const std::string& name, const std::string& what,
                   const std::string& owner) {
  for (const auto& item : items)
    if (item.Name() == name) return item;
  throw EngineError("There is no " + what + " named '" + name + "'" +
                    (owner.empty() ? std::string() : " in " + owner) + ".");
}

}  // namespace

const Column& Columns::Item(int position) const { return itemAt(items_, position, "column", owner_); }
const Column& Columns::Item(const std::string& name) const { return itemNamed(items_, name, "column", owner_); }
const Index& Indexes::Item(int position) const { return itemAt(items_, position, "index", owner_); }
const Index& Indexes::Item(const std::string& name) const { return itemNamed(items_, name, "index", owner_); }
const Key& Keys::Item(int position) const { return itemAt(items_, position, "key", owner_); }
const Key& Keys::Item(const std::string& name) const { return itemNamed(items_, name, "key", owner_); }
const Table& Tables::Item(int position) const { return itemAt(items_, position, "table", ""); }
const Table& Tables::Item(const std::string& name) const { return itemNamed(items_, name, "table", ""); }
Column& Columns::Item(int position) { return const_cast<Column&>(std::as_const(*this).Item(position)); }
Column& Columns::Item(const std::string& name) { return const_cast<Column&>(std::as_const(*this).Item(name)); }
Table& Tables::Item(int position) { return const_cast<Table&>(std::as_const(*this).Item(position)); }
Table& Tables::Item(const std::string& name) { return const_cast<Table&>(std::as_const(*this).Item(name)); }

void Column::Name(const std::string& newName) {
  changeStructure(storedIn(db_, "Field '" + name_ + "'"),
                  [&](kevra::SchemaWriter& s) { s.renameColumn(table_, name_, newName); });
  name_ = newName;
}

void Column::SetProperty(const std::string& name, const kevra::Value& value) {
  const std::string text = propertyText(value);
  if (namesEqualCaseInsensitive(name, "Format")) {
    changeStructure(storedIn(db_, "Field '" + name_ + "'"),
                    [&](kevra::SchemaWriter& s) { s.setFormat(table_, name_, text); });
    return;
  }
  if (!namesEqualCaseInsensitive(name, "Default"))
    throw EngineError("The property '" + name + "' of field '" + name_ + "' cannot be changed here.");
  changeStructure(storedIn(db_, "Field '" + name_ + "'"),
                  [&](kevra::SchemaWriter& s) { s.setDefaultValue(table_, name_, text); });
}

void Columns::Append(const std::string& name, int type, long definedSize) {
  kevra::ColumnSpec spec = specFor(name, type, definedSize);
  if (!db_) {
    for (const auto& c : items_)
      if (namesEqualCaseInsensitive(c.Name(), name))
        throw EngineError("The field '" + name + "' is already among the new table's fields.");
    items_.emplace_back(name, type, definedSize);
    return;
  }
  changeStructure(db_, [&](kevra::SchemaWriter& s) { s.addColumn(table_, spec); });
  Column added(name, type, definedSize);
  added.db_ = db_;
  added.table_ = table_;
  items_.push_back(std::move(added));
}

void Columns::Delete(const std::string& name) {
  changeStructure(storedIn(db_, "Field '" + name + "'"), [&](kevra::SchemaWriter& s) { s.dropColumn(table_, name); });
  items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const Column& c) { return c.Name() == name; }),
               items_.end());
}

void Columns::DeleteWithIndexes(const std::string& name) {
  changeStructure(storedIn(db_, "Field '" + name + "'"),
                  [&](kevra::SchemaWriter& s) { s.dropColumn(table_, name, true); });
  items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const Column& c) { return c.Name() == name; }),
               items_.end());
}

void Indexes::Delete(const std::string& name) {
  changeStructure(storedIn(db_, "Index '" + name + "'"), [&](kevra::SchemaWriter& s) { s.dropIndex(table_, name); });
  items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const Index& i) { return i.Name() == name; }),
               items_.end());
}

void Keys::Delete(const std::string& name) {
  const Key& key = Item(name);
  const bool foreign = key.Type() == adKeyForeign;
  changeStructure(storedIn(db_, "Key '" + name + "'"), [&](kevra::SchemaWriter& s) {
    if (foreign)
      s.dropRelationship(name);
    else
      s.dropIndex(table_, name);
  });
  items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const Key& k) { return k.Name() == name; }),
               items_.end());
}

void Tables::Append(const Table& table) {
  storedIn(db_, "The catalog");
  if (table.db_) throw EngineError("The table '" + table.Name() + "' is already stored in a database.");
  std::vector<kevra::ColumnSpec> columns;
  for (int i = 0; i < table.newColumns_.Count(); ++i) {
    const Column& c = table.newColumns_.Item(i);
    columns.push_back(specFor(c.Name(), c.Type(), c.DefinedSize()));
  }
  changeStructure(db_, [&](kevra::SchemaWriter& s) { s.createTable(table.Name(), columns); });
  items_.emplace_back(db_, table.Name(), "TABLE");
}

void Tables::Delete(const std::string& name) {
  changeStructure(storedIn(db_, "The catalog"), [&](kevra::SchemaWriter& s) { s.dropTable(name); });
  items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const Table& t) { return t.Name() == name; }),
               items_.end());
}

void Catalog::ActiveConnection(const Connection& connection) {
  tables_.reset();
  if (kevra::ForeignDriver* driver = connection.foreignDriver()) {
    db_.reset();
    std::vector<Table> items;
    for (auto& t : driver->listTables(connection.foreignSource())) items.emplace_back(nullptr, t.name, t.type);
    tables_ = std::make_shared<kevra::db::Tables>(nullptr, std::move(items));
    return;
  }
  db_ = connection.engine();
}

const Tables& Catalog::Tables() const {
  if (!db_ && tables_) return *tables_;  // the tables of a foreign data source
  if (!db_) throw EngineError("The catalog is not connected to a database.");
  if (!tables_) {
    std::vector<Table> items;
    for (auto& e : db_->tableList()) items.emplace_back(db_, e.name, e.type);
    tables_ = std::make_shared<kevra::db::Tables>(db_, std::move(items));
  }
  return *tables_;
}

std::vector<Query> Catalog::Queries() const {
  if (!db_ && tables_) return {};  // a foreign data source keeps no queries
  if (!db_) throw EngineError("The catalog is not connected to a database.");
  std::vector<Query> out;
  for (const kevra::SavedQuery& q : kevra::readSavedQueries(*db_)) {
    std::string sql, problem, rows;
    try {
      sql = kevra::savedQuerySql(q);
      rows = kevra::savedQueryRowsSql(q);
    } catch (const EngineError& e) {
      problem = e.what();
    }
    // The engine's SQL has no PARAMETERS clause (and no TRANSFORM): such
    // queries are shown, not run.
    const bool opens = problem.empty() && q.parameters.empty() &&
                       (q.kind == kevra::SavedQueryKind::Select || q.kind == kevra::SavedQueryKind::Union);
    out.emplace_back(q.name, kevra::savedQueryKindName(q.kind), q.returnsRows(), opens, std::move(sql),
                     std::move(problem), std::move(rows));
  }
  return out;
}

Tables& Catalog::Tables() { return const_cast<kevra::db::Tables&>(std::as_const(*this).Tables()); }

void Catalog::Create(const std::string& connectionString) {
  ConnectionString cs(connectionString);
  if (auto provider = cs.get("Provider");
      provider && !namesEqualCaseInsensitive(*provider, "Microsoft.Jet.OLEDB.4.0"))
    throw EngineError("The provider '" + *provider + "' is not available; use Microsoft.Jet.OLEDB.4.0.");
  auto source = cs.get("Data Source");
  if (!source || source->empty())
    throw EngineError("The connection string names no file for the new database (Data Source).");
  // Engine type 5 is Jet 4 (Access 2000-2003), the only format written.
  if (auto engineType = cs.get("Jet OLEDB:Engine Type"); engineType && *engineType != "5")
    throw UnsupportedError("Only Jet 4 databases (Jet OLEDB:Engine Type=5) can be created, not engine type " +
                           *engineType + ".");
  NewDatabaseOptions options;
  options.password = cs.get("Jet OLEDB:Database Password").value_or("");
  createDatabase(realFileSystem(), *source, options);

  OpenOptions open;
  open.readOnly = true;
  open.password = options.password;
  db_ = kevra::Database::open(*source, open);
  tables_.reset();
}

}  // namespace kevra::db
