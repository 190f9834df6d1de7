// Catalog and its collections, shaped like the schema objects the program
// calls: Catalog -> Tables -> Table -> Columns / Indexes / Keys.
// Collections are snapshots read from the engine when asked for; objects are
// cheap handles. Every lookup that fails throws kevra::EngineError naming the
// missing item and its owner.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "database/ado_types.h"
#include "database/properties.h"

namespace kevra {
class Database;
struct TableDef;
}

namespace kevra::db {

class Connection;

class Column {
 public:
  Column() = default;
  // A column to append: name, DataTypeEnum code, defined size.
  Column(std::string name, int type, long definedSize) : name_(std::move(name)), type_(type), definedSize_(definedSize) {}
  const std::string& Name() const { return name_; }
  // Renames the stored column (a column of a table in the database).
  void Name(const std::string& newName);
  // Writes a property of the stored column; "Default" (the default value
  // expression as text, empty text removing it) and "Format" (how values are
  // shown, empty text removing it) can change.
  void SetProperty(const std::string& name, const kevra::Value& value);
  int Type() const { return type_; }  // DataTypeEnum
  long DefinedSize() const { return definedSize_; }
  int Attributes() const { return attributes_; }  // adColFixed | adColNullable
  int Precision() const { return precision_; }
  int NumericScale() const { return scale_; }
  // For a column of a foreign key: the referenced column; empty otherwise.
  const std::string& RelatedColumn() const { return relatedColumn_; }
  int SortOrder() const { return sortOrder_; }  // index and key columns only
  const kevra::db::Properties& Properties() const { return properties_; }

 private:
  friend class CatalogBuilder;
  std::string name_;
  int type_ = adEmpty;
  long definedSize_ = 0;
  int attributes_ = 0;
  int precision_ = 0;
  int scale_ = 0;
  std::string relatedColumn_;
  int sortOrder_ = adSortAscending;
  kevra::db::Properties properties_;
  std::shared_ptr<kevra::Database> db_;  // set for columns of a stored table
  std::string table_;
  friend class Table;
  friend class Columns;
};

class Columns {
 public:
  Columns() = default;
  Columns(std::string owner, std::vector<Column> items) : owner_(std::move(owner)), items_(std::move(items)) {}
  int Count() const { return int(items_.size()); }
  const Column& Item(int position) const;
  const Column& Item(const std::string& name) const;
  Column& Item(int position);
  Column& Item(const std::string& name);
  // Adds a column: to the stored table, or to a table not appended yet.
  void Append(const std::string& name, int type, long definedSize);
  // Deletes the column from the stored table; refused, naming the index,
  // while an index uses it.
  void Delete(const std::string& name);
  // Deletes the indexes that use the column, then the column, in one change.
  void DeleteWithIndexes(const std::string& name);

 private:
  friend class CatalogBuilder;
  friend class Table;
  std::string owner_;
  std::vector<Column> items_;
  std::shared_ptr<kevra::Database> db_;  // set for the columns of a stored table
  std::string table_;
};

class Index {
 public:
  const std::string& Name() const { return name_; }
  bool PrimaryKey() const { return primaryKey_; }
  bool Unique() const { return unique_; }
  bool IgnoreNulls() const { return ignoreNulls_; }
  bool Required() const { return required_; }
  bool Foreign() const { return foreign_; }
  const kevra::db::Columns& Columns() const { return columns_; }

 private:
  friend class CatalogBuilder;
  std::string name_;
  bool primaryKey_ = false, unique_ = false, ignoreNulls_ = false, required_ = false, foreign_ = false;
  kevra::db::Columns columns_;
};

class Indexes {
  friend class Table;

 public:
  Indexes() = default;
  Indexes(std::string owner, std::vector<Index> items) : owner_(std::move(owner)), items_(std::move(items)) {}
  int Count() const { return int(items_.size()); }
  const Index& Item(int position) const;
  const Index& Item(const std::string& name) const;
  // Deletes the index from the stored table.
  void Delete(const std::string& name);

 private:
  friend class CatalogBuilder;
  std::string owner_;
  std::vector<Index> items_;
  std::shared_ptr<kevra::Database> db_;
  std::string table_;
};

class Key {
 public:
  const std::string& Name() const { return name_; }
  int Type() const { return type_; }  // KeyTypeEnum
  const std::string& RelatedTable() const { return relatedTable_; }
  const kevra::db::Columns& Columns() const { return columns_; }

 private:
  friend class CatalogBuilder;
  std::string name_;
  int type_ = adKeyPrimary;
  std::string relatedTable_;
  kevra::db::Columns columns_;
};

class Keys {
  friend class Table;

 public:
  Keys() = default;
  Keys(std::string owner, std::vector<Key> items) : owner_(std::move(owner)), items_(std::move(items)) {}
  int Count() const { return int(items_.size()); }
  const Key& Item(int position) const;
  const Key& Item(const std::string& name) const;
  // Deletes the key: a foreign key with its relationship, a primary or
  // unique key with its index.
  void Delete(const std::string& name);

 private:
  friend class CatalogBuilder;
  std::string owner_;
  std::vector<Key> items_;
  std::shared_ptr<kevra::Database> db_;
  std::string table_;
};

// One entry of the Tables collection. Type is one of "TABLE", "SYSTEM TABLE",
// "ACCESS TABLE", "VIEW", "LINK", "PASS-THROUGH". Columns, Indexes and Keys are
// read from the file the first time they are asked for.
class Table {
 public:
  // A new table, not in any database until Tables::Append stores it.
  Table();
  Table(std::shared_ptr<kevra::Database> db, std::string name, std::string type);
  const std::string& Name() const { return name_; }
  // Names a new table, or renames a stored one at once.
  void Name(const std::string& newName);
  const std::string& Type() const { return type_; }
  const kevra::db::Columns& Columns() const;
  kevra::db::Columns& Columns();
  const kevra::db::Indexes& Indexes() const;
  kevra::db::Indexes& Indexes();
  const kevra::db::Keys& Keys() const;
  kevra::db::Keys& Keys();
  // The table's provider properties. A "LINK" has "Jet OLEDB:Link
  // Datasource" (the other file's path as the link stores it), "Jet
  // OLEDB:Remote Table Name" (the table's name there) and "Jet OLEDB:Link
  // Provider String" (its connect string); other tables have none here.
  const kevra::db::Properties& Properties() const;
  // Writes a property to the file. On a "LINK", "Jet OLEDB:Link Datasource"
  // points the link at another database file (one that holds a table of its
  // remote name), in one change; nothing else can be set here.
  void SetProperty(const std::string& name, const kevra::Value& value);
  // For a "LINK": the file its datasource leads to on this machine, the path
  // as given or else the same file name beside the linking database. Throws
  // EngineError naming the link and its stored path when neither exists.
  std::string LinkTarget() const;

 private:
  friend class Tables;
  struct Loaded;
  const Loaded& loaded() const;
  std::shared_ptr<kevra::Database> db_;
  std::string name_;
  std::string type_;
  mutable std::shared_ptr<Loaded> loaded_;
  mutable std::shared_ptr<kevra::db::Properties> properties_;
  kevra::db::Columns newColumns_;  // a table not stored yet
};

class Tables {
 public:
  Tables() = default;
  Tables(std::shared_ptr<kevra::Database> db, std::vector<Table> items) : db_(std::move(db)), items_(std::move(items)) {}
  int Count() const { return int(items_.size()); }
  const Table& Item(int position) const;
  const Table& Item(const std::string& name) const;
  Table& Item(int position);
  Table& Item(const std::string& name);
  // Stores a new table with its columns in the database.
  void Append(const Table& table);
  // Drops the table and all its rows.
  void Delete(const std::string& name);

 private:
  std::shared_ptr<kevra::Database> db_;
  std::vector<Table> items_;
};

// One saved query of the database: its name, its kind as a person names it
// ("Select", "Union", "Crosstab", "Make Table", "Append", "Update", "Delete",
// "Data Definition", "Pass-Through") and its statement as Jet SQL text.
class Query {
 public:
  Query(std::string name, std::string kind, bool returnsRows, bool opensRows, std::string commandText,
        std::string problem, std::string rowsText = {})
      : name_(std::move(name)), kind_(std::move(kind)), returnsRows_(returnsRows), opensRows_(opensRows),
        commandText_(std::move(commandText)), problem_(std::move(problem)),
        rowsText_(rowsText.empty() ? commandText_ : std::move(rowsText)) {}
  const std::string& Name() const { return name_; }
  const std::string& Kind() const { return kind_; }
  // A select, union or crosstab query; the others change the database.
  bool ReturnsRows() const { return returnsRows_; }
  // Its CommandText can be opened as a Recordset: a select or union query
  // with a statement and no parameters (the SQL here has no PARAMETERS and
  // no TRANSFORM ... PIVOT).
  bool OpensRows() const { return opensRows_; }
  // The statement; empty when the stored parts do not make one.
  const std::string& CommandText() const { return commandText_; }
  // Why there is no statement; empty when there is one.
  const std::string& Problem() const { return problem_; }
  // The statement its rows are opened with: CommandText, with what Jet
  // fills in made explicit (the FROM a union part implies by naming its
  // fields' table).
  const std::string& RowsText() const { return rowsText_; }

 private:
  std::string name_, kind_;
  bool returnsRows_ = false, opensRows_ = false;
  std::string commandText_, problem_, rowsText_;
};

class Catalog {
 public:
  // Binds the catalog to an open connection; throws when it is closed. On a
  // foreign data source the tables are the driver's, each of Type "TABLE"
  // (or what the driver says), without columns.
  void ActiveConnection(const Connection& connection);
  // The tables of the bound database, ordered by type text, then name
  // (case-insensitive). Throws when the catalog is not bound.
  const kevra::db::Tables& Tables() const;
  kevra::db::Tables& Tables();
  // The saved queries of the bound database in catalog order, read when
  // asked for; none on a foreign data source. Throws when not bound.
  std::vector<Query> Queries() const;
  // Creates a new, empty Jet 4 database at the connection string's Data
  // Source (with its "Jet OLEDB:Database Password", if any) and binds the
  // catalog to it, read-only, until the next ActiveConnection. Throws
  // EngineError naming the file when one exists there already or it cannot
  // be written, and when the string names no file.
  void Create(const std::string& connectionString);

 private:
  std::shared_ptr<kevra::Database> db_;
  mutable std::shared_ptr<kevra::db::Tables> tables_;
};

}  // namespace kevra::db
