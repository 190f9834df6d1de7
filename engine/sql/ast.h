// Syntax tree of one Jet SQL statement as the parser builds it; expressions
// come from engine/expr. Names are kept as written (without brackets);
// nothing here is checked against a database.
#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/expr/expression.h"
#include "engine/format/value.h"

namespace kevra::sql {

// Statements are built from the expression layer's pieces, named here unqualified.
using namespace kevra::expr;

struct TableRef {
  std::string name;
  std::string alias;
  size_t position = 0;
};

struct SelectItem {
  ExprPtr expr;        // null for * and t.*
  std::string starQualifier;  // t of t.*
  std::string alias;
  bool isStar() const { return !expr; }
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
};

// SELECT ... INTO target [IN "path" ["connect"]]
struct SelectInto {
  std::string table;
  std::optional<std::string> externalPath;
  std::optional<std::string> connect;  // e.g. "dBase 5.0;"
};

enum class JoinKind { Cross, Inner, Left, Right };

// One more table of the FROM clause, joined to everything before it.
struct JoinClause {
  JoinKind kind = JoinKind::Cross;
  TableRef table;
  ExprPtr on;  // null for Cross (a comma in FROM)
};

struct TopClause {
  uint64_t count = 0;
  bool percent = false;
};

struct SelectStatement;

// ... UNION [ALL] SELECT ...: one more query whose rows are added.
struct UnionPart {
  bool all = false;  // keep duplicate rows
  std::unique_ptr<SelectStatement> select;
};

struct SelectStatement {
  bool distinct = false;
  std::optional<TopClause> top;
  std::vector<SelectItem> items;
  std::optional<SelectInto> into;
  TableRef from;                  // the first table of FROM
  std::vector<JoinClause> joins;  // the others, left to right
  ExprPtr where;
  std::vector<ExprPtr> groupBy;
  ExprPtr having;
  std::vector<UnionPart> unions;   // with unions, orderBy sorts the combined rows
  std::vector<OrderItem> orderBy;
};

// INSERT INTO t [(cols)] VALUES (...) or INSERT INTO t [(cols)] SELECT ...
struct InsertStatement {
  TableRef table;
  std::vector<std::string> columns;  // empty: every column in table order
  std::vector<ExprPtr> values;       // VALUES form
  std::unique_ptr<SelectStatement> select;  // SELECT form
};

struct Assignment {
  std::string column;
  size_t position = 0;
  ExprPtr value;
};

struct UpdateStatement {
  TableRef table;
  std::vector<Assignment> assignments;
  ExprPtr where;
};

struct DeleteStatement {
  TableRef table;
  ExprPtr where;
};

struct IndexColumn {
  std::string name;
  bool descending = false;
};

struct CreateIndexStatement {
  std::string index;
  TableRef table;
  bool unique = false;
  std::vector<IndexColumn> columns;
  bool primary = false;       // WITH PRIMARY
  bool disallowNull = false;  // WITH DISALLOW NULL
  bool ignoreNull = false;    // WITH IGNORE NULL
};

struct ColumnReference {
  std::string table;
  std::vector<std::string> columns;  // may be empty: the referenced table's key
  bool cascadeUpdates = false;       // ON UPDATE CASCADE
  bool cascadeDeletes = false;       // ON DELETE CASCADE
  bool cascadeNull = false;          // ON DELETE SET NULL
};

enum class ConstraintKind { PrimaryKey, Unique, ForeignKey };

struct ConstraintClause {
  std::string name;  // empty when the statement gave none
  ConstraintKind kind = ConstraintKind::PrimaryKey;
  std::vector<std::string> columns;
  std::optional<ColumnReference> references;  // ForeignKey
};

// A column definition: name, type word as written (e.g. "text", "counter",
// "unknown"), optional size, nullability and an optional constraint on the
// column alone (PRIMARY KEY, UNIQUE or REFERENCES t (c)), a default and
// Unicode compression.
struct ColumnClause {
  std::string name;
  std::string typeWord;
  size_t typePosition = 0;
  std::optional<uint32_t> size;        // text(50), DECIMAL(p) puts p here
  std::optional<uint8_t> scale;        // DECIMAL(p, s)
  bool notNull = false;
  std::optional<ConstraintClause> constraint;
  std::optional<std::string> defaultText;  // DEFAULT expression, as written
  bool compressed = false;                 // WITH COMPRESSION (or WITH COMP)
};

struct AlterTableStatement {
  enum class Action { AddColumn, AlterColumn, DropColumn, AddConstraint, DropConstraint };
  TableRef table;
  Action action = Action::AddColumn;
  ColumnClause column;         // AddColumn, AlterColumn
  std::string dropName;      // DropColumn, DropConstraint
  ConstraintClause constraint;  // AddConstraint
};

struct CreateTableStatement {
  TableRef table;
  std::vector<ColumnClause> columns;
  std::vector<ConstraintClause> constraints;  // table-level and named column constraints
};

struct DropTableStatement {
  TableRef table;
};

struct DropIndexStatement {
  std::string index;
  TableRef table;
};

using Statement = std::variant<SelectStatement, InsertStatement, UpdateStatement, DeleteStatement,
                               CreateIndexStatement, CreateTableStatement, AlterTableStatement, DropTableStatement, DropIndexStatement>;

}  // namespace kevra::sql

namespace kevra::expr {
// The statement a subquery expression carries.
struct SubqueryStatement : sql::SelectStatement {
  explicit SubqueryStatement(sql::SelectStatement&& select) : sql::SelectStatement(std::move(select)) {}
};
}  // namespace kevra::expr
