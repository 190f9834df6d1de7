// Rows pumped from a reader or result set into a ForeignTableWriter.
#include "engine/isam/foreign_copy.h"

#include "engine/isam/access_driver.h"
#include "engine/isam/foreign_drivers.h"
#include "engine/sql/parser.h"
#include "engine/table/database.h"
#include "engine/table/schema_view.h"
#include "engine/util/error.h"

namespace kevra {
namespace {

constexpr long kProgressEvery = 4096;

long pump(ResultSet& rows, ForeignTableWriter& writer, const CopyProgress& progress) {
  constexpr size_t kBlock = 512;
  std::vector<std::vector<Value>> block;
  long copied = 0;
  for (uint64_t at = 0;; at += kBlock) {
    const size_t n = rows.fetch(at, kBlock, block);
    for (auto& row : block) {
      writer.write(row);
      if (++copied % kProgressEvery == 0 && progress) progress(copied);
    }
    if (n < kBlock) break;
  }
  writer.finish();
  return copied;
}

long pump(ForeignTableReader& reader, ForeignTableWriter& writer, const CopyProgress& progress) {
  std::vector<Value> row;
  long copied = 0;
  while (reader.next(row)) {
    writer.write(row);
    if (++copied % kProgressEvery == 0 && progress) progress(copied);
  }
  writer.finish();
  return copied;
}

void addWarnings(std::vector<std::string>& to, const ForeignTableWriter& writer) {
  for (auto& w : writer.warnings()) to.push_back(w);
}

}  // namespace

ForeignTableCopier::ForeignTableCopier(std::shared_ptr<Database> source, TableCopier* local)
    : source_(std::move(source)), local_(local) {}

long ForeignTableCopier::copy(const sql::SelectInto& target, ResultSet& rows) {
  if (!target.externalPath) {
    if (!local_)
      throw EngineError("The database is open read-only; table '" + target.table + "' cannot be made in it.");
    return local_->copy(target, rows);
  }
  const std::string& place = *target.externalPath;
  const std::string connect = target.connect.value_or("");
  std::unique_ptr<ForeignTableWriter> writer;
  if (connectKeyword(connect).empty()) {
    // Another Access database: a whole source table keeps its fields' defaults and required flags.
    std::vector<ColumnSpec> specs;
    std::vector<std::optional<std::string>> defaults;
    std::shared_ptr<const TableDef> whole = rows.sourceTable();
    if (whole && source_) {
      TableSchema schema = describeTable(*source_, whole->name);
      for (size_t i = 0; i < rows.columns().size(); ++i) {
        ColumnSpec spec = columnSpecFor(rows.columns()[i]);
        if (i < schema.columns.size() && schema.columns[i].name == spec.name) {
          spec.required = !schema.columns[i].nullable && rows.columns()[i].type != ColumnType::Boolean;
          defaults.push_back(schema.columns[i].defaultValue);
        } else {
          defaults.push_back(std::nullopt);
        }
        specs.push_back(spec);
      }
    } else {
      for (auto& c : rows.columns()) specs.push_back(columnSpecFor(c));
    }
    writer = makeAccessTableWriter(openTargetDatabase(place), target.table, specs, defaults);
  } else {
    writer = makeForeignDriver(connect)->createTable(place, target.table, rows.columns());
  }
  long n = pump(rows, *writer, progress_);
  addWarnings(warnings_, *writer);
  return n;
}

ForeignCopyResult runOnForeignSource(ForeignDriver& source, const std::string& dataSource, std::string_view sql,
                                     const CopyProgress& progress) {
  static const char* const kAccepted =
      "A foreign data source runs only statements of the form select * into [table] in \"target\" from [source].";
  sql::Statement statement = sql::parseStatement(sql);
  auto* select = std::get_if<sql::SelectStatement>(&statement);
  if (!select || !select->into) throw EngineError(kAccepted);
  const sql::SelectStatement& s = *select;
  bool star = s.items.size() == 1 && !s.items[0].expr && s.items[0].starQualifier.empty();
  if (!star || s.distinct || s.top || !s.joins.empty() || s.where || !s.groupBy.empty() || s.having ||
      !s.unions.empty() || !s.orderBy.empty())
    throw EngineError(kAccepted);
  const sql::SelectInto& into = *s.into;
  std::unique_ptr<ForeignTableReader> reader = source.openTable(dataSource, s.from.name);
  std::unique_ptr<ForeignTableWriter> writer;
  if (!into.externalPath) {
    writer = source.createTable(dataSource, into.table, reader->columns());
  } else if (connectKeyword(into.connect.value_or("")).empty()) {
    std::vector<ColumnSpec> specs;
    for (auto& c : reader->columns()) specs.push_back(columnSpecFor(c));
    writer = makeAccessTableWriter(openTargetDatabase(*into.externalPath), into.table, specs, {});
  } else {
    writer = makeForeignDriver(*into.connect)->createTable(*into.externalPath, into.table, reader->columns());
  }
  ForeignCopyResult result;
  result.rows = pump(*reader, *writer, progress);
  result.warnings = reader->warnings();
  addWarnings(result.warnings, *writer);
  return result;
}

}  // namespace kevra
