// Catalog and its collections, built from the engine's schema view.
#include "database/catalog.h"

#include "database/connection.h"
#include "database/connection_string.h"
#include "engine/storage/file_system.h"
#include "engine/table/database.h"
#include "engine/table/database_creator.h"
#include "engine/table/schema_view.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

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
    props.push_back({"Nullable", c.nullable});
    props.push_back({"Fixed Length", c.fixed});
    props.push_back({"Jet OLEDB:AutoGenerate", c.guidAutoNumber});
    props.push_back({"Jet OLEDB:Allow Zero Length", c.allowZeroLength});
    props.push_back({"Jet OLEDB:Compressed UNICODE Strings", c.compressedUnicode});
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

struct Table::Loaded {
  kevra::db::Columns columns;
  kevra::db::Indexes indexes;
  kevra::db::Keys keys;
};

Table::Table(std::shared_ptr<kevra::Database> db, std::string name, std::string type)
    : db_(std::move(db)), name_(std::move(name)), type_(std::move(type)) {}

const Table::Loaded& Table::loaded() const {
  if (loaded_) return *loaded_;
  TableSchema s = describeTable(*db_, name_);
  auto l = std::make_shared<Loaded>();
  std::vector<Column> cols;
  for (const auto& c : s.columns) cols.push_back(CatalogBuilder::column(c));
  l->columns = kevra::db::Columns("table '" + name_ + "'", std::move(cols));
  std::vector<Index> idx;
  for (const auto& i : s.indexes) idx.push_back(CatalogBuilder::index(s, i));
  l->indexes = kevra::db::Indexes("table '" + name_ + "'", std::move(idx));
  std::vector<Key> keys;
  for (const auto& k : s.keys) keys.push_back(CatalogBuilder::key(k));
  l->keys = kevra::db::Keys("table '" + name_ + "'", std::move(keys));
  loaded_ = std::move(l);
  return *loaded_;
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

void Catalog::ActiveConnection(const Connection& connection) {
  db_ = connection.engine();
  tables_.reset();
}

const Tables& Catalog::Tables() const {
  if (!db_) throw EngineError("The catalog is not connected to a database.");
  if (!tables_) {
    std::vector<Table> items;
    for (auto& e : db_->tableList()) items.emplace_back(db_, e.name, e.type);
    tables_ = std::make_shared<kevra::db::Tables>(std::move(items));
  }
  return *tables_;
}

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
