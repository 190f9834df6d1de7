// Rows are fetched in blocks, so a large source is never held whole.
#include "engine/sql/local_table_copier.h"

#include "engine/table/database.h"
#include "engine/table/schema_writer.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"

namespace kevra {

LocalTableCopier::LocalTableCopier(std::shared_ptr<Database> db, TableWriter& writer)
    : db_(std::move(db)), writer_(writer) {}

long LocalTableCopier::copy(const sql::SelectInto& target, ResultSet& rows) {
  if (target.externalPath)
    throw UnsupportedError("Making table '" + target.table + "' in another file (\"" + *target.externalPath +
                           "\") is not supported yet.");
  std::vector<ColumnSpec> columns;
  for (const ResultColumn& c : rows.columns()) {
    ColumnSpec spec;
    spec.name = c.name;
    spec.type = c.type;
    spec.length = c.length;
    spec.precision = c.precision;
    spec.scale = c.scale;
    if (spec.type == ColumnType::Text && spec.length == 0) spec.length = 510;
    if (spec.type == ColumnType::Binary && spec.length == 0) spec.length = 255;
    columns.push_back(spec);
  }
  long copied = 0;
  try {
    inOneTransaction(writer_, [&] {
      SchemaWriter(db_, writer_).createTable(target.table, columns);
      auto def = db_->table(target.table);
      constexpr size_t kBlock = 512;
      std::vector<std::vector<Value>> block;
      for (uint64_t at = 0;; at += kBlock) {
        const size_t n = rows.fetch(at, kBlock, block);
        for (auto& row : block) {
          std::vector<std::optional<Value>> values(row.begin(), row.end());
          writer_.insertRow(*def, values);
          ++copied;
        }
        if (n < kBlock) break;
      }
    });
  } catch (...) {
    db_->reloadCatalog();
    throw;
  }
  db_->reloadCatalog();
  return copied;
}

}  // namespace kevra
