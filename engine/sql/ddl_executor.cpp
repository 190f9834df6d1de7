// Statement forms to structure changes. A column's own constraint and the
// table's constraints are carried out after the column or table exists, in
// the same transaction, so the statement lands whole or not at all.
#include "engine/sql/ddl_executor.h"

#include "engine/expr/expression_evaluator.h"
#include "engine/expr/expression_parser.h"
#include "engine/expr/value_coercion.h"
#include "engine/sql/sql_type_words.h"
#include "engine/table/database.h"
#include "engine/table/schema_writer.h"
#include "engine/table/table_writer.h"
#include "engine/util/error.h"
#include "engine/util/utf.h"

namespace kevra {

ColumnSpec columnSpecOf(const sql::ColumnClause& clause) {
  const sql::SqlColumnType type = sql::resolveColumnType(clause);
  ColumnSpec spec;
  spec.name = clause.name;
  spec.type = type.type;
  spec.length = type.length;
  spec.autoNumber = type.autoNumber;
  spec.precision = type.precision;
  spec.scale = type.scale;
  spec.required = clause.notNull;
  // Text takes Unicode compression only when asked for, as in Jet's SQL.
  const bool textual = spec.type == ColumnType::Text || spec.type == ColumnType::Memo;
  if (clause.compressed && !textual)
    throw EngineError("WITH COMPRESSION applies to text and memo fields only, not to field '" + clause.name + "'.");
  spec.compressedText = clause.compressed;
  return spec;
}

namespace {

// A column's DEFAULT: refused when it is a constant that the field cannot
// hold; an expression the engine evaluates only when a row is added (Now())
// is stored as it stands.
void checkDefault(const sql::ColumnClause& clause, const ColumnSpec& spec) {
  if (!clause.defaultText) return;
  Value value;
  try {
    value = expr::ExpressionEvaluator().evaluate(*expr::parseExpressionText(*clause.defaultText), {});
  } catch (const EngineError&) {
    return;
  }
  ColumnDef column;
  column.name = spec.name;
  column.type = spec.type;
  column.length = spec.length;
  column.precision = spec.precision;
  column.scale = spec.scale;
  try {
    expr::coerceToColumn(value, column);
  } catch (const EngineError& e) {
    throw EngineError("The default value " + *clause.defaultText + " does not suit field '" + clause.name +
                      "': " + e.what());
  }
}

}  // namespace

DdlExecutor::DdlExecutor(std::shared_ptr<Database> db, TableWriter& writer) : db_(std::move(db)), writer_(writer) {}

void DdlExecutor::addConstraint(const std::string& table, const sql::ConstraintClause& constraint) {
  SchemaWriter schema(db_, writer_);
  if (constraint.kind == sql::ConstraintKind::ForeignKey) {
    if (!constraint.references)
      throw EngineError("The foreign key on table '" + table + "' names no table to refer to.");
    RelationshipSpec spec;
    spec.name = constraint.name;
    spec.table = table;
    spec.columns = constraint.columns;
    spec.referencedTable = constraint.references->table;
    spec.referencedColumns = constraint.references->columns;
    spec.cascadeUpdates = constraint.references->cascadeUpdates;
    spec.cascadeDeletes = constraint.references->cascadeDeletes;
    spec.cascadeNull = constraint.references->cascadeNull;
    schema.addRelationship(spec);
    return;
  }
  IndexSpec index;
  index.primaryKey = constraint.kind == sql::ConstraintKind::PrimaryKey;
  index.unique = true;
  index.name = constraint.name.empty() ? (index.primaryKey ? "PrimaryKey" : "Index_" + constraint.columns.front())
                                       : constraint.name;
  for (const auto& c : constraint.columns) index.columns.push_back({c, false});
  schema.createIndex(table, index);
}

void DdlExecutor::createTable(const sql::CreateTableStatement& statement) {
  std::vector<ColumnSpec> columns;
  for (const auto& c : statement.columns) {
    columns.push_back(columnSpecOf(c));
    checkDefault(c, columns.back());
  }
  inOneTransaction(writer_, [&] {
    SchemaWriter(db_, writer_).createTable(statement.table.name, columns);
    for (const auto& c : statement.columns)
      if (c.defaultText) SchemaWriter(db_, writer_).setDefaultValue(statement.table.name, c.name, *c.defaultText);
    for (const auto& c : statement.columns)
      if (c.constraint) {
        sql::ConstraintClause constraint = *c.constraint;
        if (constraint.columns.empty()) constraint.columns = {c.name};
        addConstraint(statement.table.name, constraint);
      }
    for (const auto& constraint : statement.constraints) addConstraint(statement.table.name, constraint);
  });
}

void DdlExecutor::createIndex(const sql::CreateIndexStatement& statement) {
  IndexSpec index;
  index.name = statement.index;
  index.unique = statement.unique;
  index.primaryKey = statement.primary;
  index.required = statement.disallowNull;
  index.ignoreNulls = statement.ignoreNull;
  for (const auto& c : statement.columns) index.columns.push_back({c.name, c.descending});
  SchemaWriter(db_, writer_).createIndex(statement.table.name, index);
}

void DdlExecutor::alterTable(const sql::AlterTableStatement& statement) {
  const std::string& table = statement.table.name;
  using Action = sql::AlterTableStatement::Action;
  inOneTransaction(writer_, [&] {
    SchemaWriter schema(db_, writer_);
    switch (statement.action) {
      case Action::AddColumn:
      case Action::AlterColumn: {
        ColumnSpec spec = columnSpecOf(statement.column);
        checkDefault(statement.column, spec);
        if (statement.action == Action::AddColumn) {
          schema.addColumn(table, spec);
        } else {
          // A field changed without WITH COMPRESSION keeps the compression it has.
          if (auto def = db_->table(table))
            if (const ColumnDef* old = def->findColumn(statement.column.name))
              spec.compressedText = spec.compressedText || old->isCompressedUnicode();
          schema.alterColumn(table, statement.column.name, spec);
        }
        // ALTER COLUMN without DEFAULT keeps the default the field has.
        if (statement.column.defaultText) schema.setDefaultValue(table, statement.column.name, *statement.column.defaultText);
        break;
      }
      case Action::DropColumn:
        schema.dropColumn(table, statement.dropName);
        break;
      case Action::AddConstraint:
        addConstraint(table, statement.constraint);
        return;
      case Action::DropConstraint: {
        // A constraint is an index (primary key, unique) or a relationship.
        for (const Relationship& r : db_->relationships())
          if (namesEqualCaseInsensitive(r.name, statement.dropName)) {
            schema.dropRelationship(r.name);
            return;
          }
        schema.dropIndex(table, statement.dropName);
        return;
      }
    }
    if (statement.column.constraint) {
      sql::ConstraintClause constraint = *statement.column.constraint;
      if (constraint.columns.empty()) constraint.columns = {statement.column.name};
      addConstraint(table, constraint);
    }
  });
}

void DdlExecutor::dropTable(const sql::DropTableStatement& statement) {
  SchemaWriter(db_, writer_).dropTable(statement.table.name);
}

void DdlExecutor::dropIndex(const sql::DropIndexStatement& statement) {
  SchemaWriter(db_, writer_).dropIndex(statement.table.name, statement.index);
}

}  // namespace kevra
