// Access tables through the engine's own Database, SchemaWriter and TableWriter.
#include "engine/isam/access_driver.h"

#include "engine/storage/file_system.h"
#include "engine/table/database.h"
#include "engine/table/schema_view.h"
#include "engine/table/schema_writer.h"
#include "engine/table/table_cursor.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

class AccessTableReader : public ForeignTableReader {
 public:
  AccessTableReader(std::shared_ptr<Database> db, const std::string& table) : db_(std::move(db)) {
    auto def = db_->table(table);
    table_ = def->name;
    for (const ColumnDef& c : def->columns) {
      ResultColumn r;
      r.name = c.name;
      r.type = c.type;
      r.length = c.length;
      r.precision = c.precision;
      r.scale = c.scale;
      columns_.push_back(r);
    }
    cursor_ = db_->openCursor(def);
  }
  const std::vector<ResultColumn>& columns() const override { return columns_; }
  bool next(std::vector<Value>& row) override { return cursor_->next(row); }

  std::vector<FieldRules> fieldRules() const override {
    std::vector<FieldRules> out;
    const TableSchema schema = describeTable(*db_, table_);
    for (size_t i = 0; i < columns_.size(); ++i) {
      FieldRules rules;
      if (i < schema.columns.size() && schema.columns[i].name == columns_[i].name) {
        rules.required = !schema.columns[i].nullable && columns_[i].type != ColumnType::Boolean;
        rules.defaultValue = schema.columns[i].defaultValue;
      }
      out.push_back(rules);
    }
    return out;
  }

 private:
  std::shared_ptr<Database> db_;
  std::string table_;
  std::vector<ResultColumn> columns_;
  std::unique_ptr<TableCursor> cursor_;
};

class AccessTableWriter : public ForeignTableWriter {
 public:
  AccessTableWriter(std::shared_ptr<Database> db, const std::string& name, const std::vector<ColumnSpec>& columns,
                    const std::vector<std::optional<std::string>>& defaults)
      : db_(std::move(db)), writer_(db_) {
    writer_.begin();
    try {
      SchemaWriter schema(db_, writer_);
      schema.createTable(name, columns);
      for (size_t i = 0; i < defaults.size() && i < columns.size(); ++i)
        if (defaults[i] && !defaults[i]->empty()) schema.setDefaultValue(name, columns[i].name, *defaults[i]);
      def_ = db_->table(name);
    } catch (...) {
      abandon();
      throw;
    }
  }

  ~AccessTableWriter() override {
    if (!done_) abandon();
  }

  void write(const std::vector<Value>& row) override {
    values_.assign(row.begin(), row.end());
    writer_.insertRow(*def_, values_);
  }

  void finish() override {
    writer_.commit();
    done_ = true;
    db_->reloadCatalog();
  }

 private:
  void abandon() {
    done_ = true;
    writer_.rollback();
    db_->reloadCatalog();
  }

  std::shared_ptr<Database> db_;
  TableWriter writer_;
  std::shared_ptr<const TableDef> def_;
  std::vector<std::optional<Value>> values_;
  bool done_ = false;
};

std::shared_ptr<Database> openSourceDatabase(const std::string& path) {
  OpenOptions options;
  options.readOnly = true;
  return Database::open(path, options);
}

class AccessDriver : public ForeignDriver {
 public:
  std::vector<ForeignTableInfo> listTables(const std::string& path) override {
    std::vector<ForeignTableInfo> out;
    for (auto& name : openSourceDatabase(path)->userTableNames()) out.push_back({name});
    return out;
  }

  std::unique_ptr<ForeignTableReader> openTable(const std::string& path, const std::string& table) override {
    return std::make_unique<AccessTableReader>(openSourceDatabase(path), table);
  }

  std::unique_ptr<ForeignTableWriter> createTable(const std::string& path, const std::string& table,
                                                  const std::vector<ResultColumn>& columns) override {
    std::vector<ColumnSpec> specs;
    for (auto& c : columns) specs.push_back(columnSpecFor(c));
    return makeAccessTableWriter(openTargetDatabase(path), table, specs, {});
  }
};

}  // namespace

ColumnSpec columnSpecFor(const ResultColumn& c) {
  ColumnSpec spec;
  spec.name = c.name;
  spec.type = c.type;
  spec.length = c.length;
  spec.precision = c.precision;
  spec.scale = c.scale;
  if (spec.length == 0) {
    switch (spec.type) {
      case ColumnType::Boolean:
      case ColumnType::Byte: spec.length = 1; break;
      case ColumnType::Integer: spec.length = 2; break;
      case ColumnType::Long:
      case ColumnType::Single: spec.length = 4; break;
      case ColumnType::Currency:
      case ColumnType::Double:
      case ColumnType::DateTime: spec.length = 8; break;
      case ColumnType::Guid: spec.length = 16; break;
      case ColumnType::Decimal: spec.length = 17; break;
      case ColumnType::Text: spec.length = 510; break;
      case ColumnType::Binary: spec.length = 255; break;
      default: break;
    }
  }
  if (spec.type == ColumnType::Decimal && spec.precision == 0) spec.precision = 18;
  return spec;
}

std::shared_ptr<Database> openTargetDatabase(const std::string& path) {
  if (!realFileSystem().exists(path)) throw EngineError("The database '" + path + "' does not exist.");
  if (!realFileSystem().isWritable(path))
    throw EngineError("The database '" + path + "' is read-only; no table can be made in it.");
  OpenOptions options;
  options.readOnly = false;
  return Database::open(path, options);
}

std::unique_ptr<ForeignTableWriter> makeAccessTableWriter(std::shared_ptr<Database> db, const std::string& name,
                                                          const std::vector<ColumnSpec>& columns,
                                                          const std::vector<std::optional<std::string>>& defaults) {
  return std::make_unique<AccessTableWriter>(std::move(db), name, columns, defaults);
}

std::unique_ptr<ForeignTableReader> makeAccessTableReader(std::shared_ptr<Database> db, const std::string& table) {
  return std::make_unique<AccessTableReader>(std::move(db), table);
}

std::unique_ptr<ForeignDriver> makeAccessDriver() { return std::make_unique<AccessDriver>(); }

}  // namespace kevra
