// Recordset: runs one statement through the engine's SQL layer and keeps the
// result of a SELECT for reading at any position.
#include "database/recordset.h"

#include <algorithm>

#include "database/ado_types.h"
#include "database/connection.h"
#include "engine/isam/foreign_copy.h"
#include "engine/table/cascade_preview.h"
#include "engine/table/column_defaults.h"
#include "engine/table/schema_view.h"
#include "engine/table/database.h"
#include "engine/sql/index_result_set.h"
#include "engine/sql/result_set.h"
#include "engine/sql/table_scan_result_set.h"
#include "engine/sql/local_services.h"
#include "engine/sql/statement_runner.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra::db {

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::Open(const std::string& source, const Connection& connection, int, int, int) {
  if (result_) throw EngineError("The recordset is already open; close it before opening it again.");
  warnings_.clear();
  if (kevra::ForeignDriver* driver = connection.foreignDriver()) {
    kevra::ForeignCopyResult copied = kevra::runOnForeignSource(*driver, connection.foreignSource(), source, progress_);
    rowsAffected_ = copied.rows;
    warnings_ = std::move(copied.warnings);
    return;
  }
  auto db = connection.engine();
  // Statements that change rows or structure run as one transaction of their own;
  // SELECT ... INTO another file works on a read-only database too.
  kevra::LocalServices local(db);
  kevra::StatementServices services;
  if (!db->readOnly()) services = local.services();
  kevra::ForeignTableCopier copier(db, services.copier);
  copier.setProgress(progress_);
  services.copier = &copier;
  auto outcome = kevra::runStatement(db, source, services);
  warnings_ = copier.warnings();
  rowsAffected_ = outcome.rowsAffected;
  result_ = std::move(outcome.rows);
  db_ = result_ ? db : nullptr;
  source_ = result_ ? source : std::string();
  takeStoredRowCount();
}

void Recordset::takeStoredRowCount() {
  storedRowCount_.reset();
  const auto* scan = dynamic_cast<const kevra::sql::TableScanResultSet*>(result_.get());
  if (!scan) return;
  if (std::shared_ptr<const kevra::TableDef> table = scan->sourceTable()) storedRowCount_ = long(table->rowCount);
}

std::optional<long> Recordset::storedRowCount() const { return result_ ? storedRowCount_ : std::nullopt; }

std::optional<long> Recordset::knownRowCount() const {
  if (!result_) return std::nullopt;
  if (storedRowCount_) return storedRowCount_;
  if (const auto* indexed = dynamic_cast<const kevra::sql::IndexResultSet*>(result_.get()))
    if (std::optional<uint64_t> rows = indexed->knownRowCount()) return long(*rows);
  return std::nullopt;
}

void Recordset::Close() {
  result_.reset();
  storedRowCount_.reset();
  db_.reset();
}

int Recordset::State() const { return result_ ? adStateOpen : adStateClosed; }

namespace {
const kevra::ResultSet& open(const std::unique_ptr<kevra::ResultSet>& r) {
  if (!r) throw EngineError("The recordset is closed.");
  return *r;
}
}  // namespace

int Recordset::fieldCount() const { return int(open(result_).columns().size()); }

const std::string& Recordset::fieldName(int field) const {
  const auto& cols = open(result_).columns();
  if (field < 0 || size_t(field) >= cols.size())
    throw EngineError("There is no field at position " + std::to_string(field) + ".");
  return cols[size_t(field)].name;
}

int Recordset::fieldType(int field) const {
  const auto& cols = open(result_).columns();
  if (field < 0 || size_t(field) >= cols.size())
    throw EngineError("There is no field at position " + std::to_string(field) + ".");
  ColumnDef c;
  c.type = cols[size_t(field)].type;
  return providerTypeCode(c);
}

long Recordset::recordCount() const {
  open(result_);
  kevra::Database::ReadScope reading(*db_);
  return long(result_->rowCount());
}

long Recordset::countUpTo(long limit) const {
  open(result_);
  if (limit <= 0) return 0;
  kevra::Database::ReadScope reading(*db_);
  // Whole rows of one table name the row at a position without decoding it.
  if (result_->sourceTable()) {
    if (result_->rowLocation(uint64_t(limit - 1))) return limit;
    return long(result_->rowCount());  // read to its end by now
  }
  std::vector<std::vector<kevra::Value>> last;
  if (result_->fetch(uint64_t(limit - 1), 1, last) == 1) return limit;
  return long(result_->rowCount());
}

long Recordset::fetch(long position, long count, std::vector<std::vector<kevra::Value>>& out) const {
  open(result_);
  if (position < 0 || count <= 0) {
    out.clear();
    return 0;
  }
  kevra::Database::ReadScope reading(*db_);  // the block comes from one state of the file
  return long(result_->fetch(uint64_t(position), size_t(count), out));
}

bool Recordset::editable() const { return result_ && result_->sourceTable() != nullptr; }

void Recordset::reopen() {
  auto outcome = kevra::runStatement(db_, source_);
  result_ = std::move(outcome.rows);
  takeStoredRowCount();
}

uint32_t Recordset::locationAt(long position) const {
  if (!editable())
    throw EngineError("These rows cannot be changed here: the recordset does not show whole rows of one table.");
  std::optional<uint32_t> location = position < 0 ? std::nullopt : result_->rowLocation(uint64_t(position));
  if (!location) throw EngineError("There is no row at position " + std::to_string(position) + " to change.");
  return *location;
}

namespace {

template <typename Change>
void inTransaction(const std::shared_ptr<kevra::Database>& db, Change change) {
  kevra::TableWriter writer(db);
  writer.begin();
  try {
    change(writer);
    writer.commit();
  } catch (...) {
    writer.rollback();
    throw;
  }
}

}  // namespace

bool Recordset::cascadesIntoItself(bool deleting) const {
  // A change that cascades through enforced relationships back into the
  // shown table changes rows other than the one written.
  const std::string& self = result_->sourceTable()->name;
  std::vector<std::string> reached{self};
  for (size_t next = 0; next < reached.size(); ++next) {
    for (const kevra::Relationship& r : db_->relationships()) {
      if (!r.enforced() || !(deleting ? r.cascadeDeletes() || r.cascadeNull() : r.cascadeUpdates())) continue;
      if (!kevra::namesEqualCaseInsensitive(r.referencedTable, reached[next])) continue;
      if (kevra::namesEqualCaseInsensitive(r.table, self)) return true;
      bool seen = false;
      for (const std::string& t : reached) seen = seen || kevra::namesEqualCaseInsensitive(t, r.table);
      if (!seen) reached.push_back(r.table);
    }
  }
  return false;
}

std::optional<long> Recordset::follow(uint32_t location, int liveRows) {
  followedLastChange_ = false;
  // An added row cascades nowhere; a rewritten one may cascade updates, a
  // removed one deletes.
  if (liveRows > 0 || !cascadesIntoItself(liveRows < 0)) {
    if (std::optional<uint64_t> position = result_->followRowChange(location, liveRows)) {
      followedLastChange_ = true;
      if (storedRowCount_) storedRowCount_ = std::max(0L, *storedRowCount_ + liveRows);
      return long(*position);
    }
  }
  reopen();
  return std::nullopt;
}

std::vector<Recordset::NewRowField> Recordset::newRowFields() const {
  open(result_);
  auto table = result_->sourceTable();
  if (!table)
    throw EngineError("These rows cannot be changed here: the recordset does not show whole rows of one table.");
  std::vector<NewRowField> fields;
  const std::vector<std::optional<std::string>> defaults = kevra::columnDefaultTexts(*db_, *table);
  for (size_t i = 0; i < table->columns.size(); ++i) {
    const kevra::ColumnDef& column = table->columns[i];
    NewRowField field;
    field.autoNumber = column.isAutoNumber();
    // A GUID default (GenGUID()) is drawn when the row is stored, not shown.
    if (!field.autoNumber && defaults[i] && column.type != kevra::ColumnType::Guid)
      field.defaultValue = kevra::evaluateColumnDefault(*defaults[i], column);
    fields.push_back(std::move(field));
  }
  return fields;
}

long Recordset::insertRow(const std::vector<std::optional<kevra::Value>>& values) {
  open(result_);
  auto table = result_->sourceTable();
  if (!table)
    throw EngineError("These rows cannot be changed here: the recordset does not show whole rows of one table.");
  uint32_t location = 0;
  inTransaction(db_, [&](kevra::TableWriter& w) {
    w.insertRow(*table, values);
    location = w.lastInserted();
  });
  if (std::optional<long> position = follow(location, +1)) return *position;
  // Run again: look for the new row's location from the end, where new rows
  // usually land.
  long count = recordCount();
  for (long p = count - 1; p >= 0 && p >= count - 4096; --p)
    if (result_->rowLocation(uint64_t(p)) == location) return p;
  return count - 1;
}

void Recordset::updateRow(long position, const std::vector<kevra::Value>& values) {
  uint32_t location = locationAt(position);
  auto table = result_->sourceTable();
  inTransaction(db_, [&](kevra::TableWriter& w) { w.updateRow(*table, location, values); });
  follow(location, 0);
}

std::vector<Recordset::CascadeCount> Recordset::cascadeEffects(long position,
                                                               const std::vector<kevra::Value>* values) const {
  const uint32_t location = locationAt(position);
  std::vector<CascadeCount> counts;
  for (const kevra::CascadeEffect& effect : kevra::previewCascade(*db_, result_->sourceTable(), location, values))
    counts.push_back(CascadeCount{effect.table, long(effect.deleted), long(effect.changed)});
  return counts;
}

void Recordset::deleteRow(long position) {
  uint32_t location = locationAt(position);
  auto table = result_->sourceTable();
  inTransaction(db_, [&](kevra::TableWriter& w) { w.deleteRow(*table, location); });
  follow(location, -1);
}

}  // namespace kevra::db
