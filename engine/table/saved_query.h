// Saved queries: the rows MSysQueries keeps for each query object, read back
// into the query's parts and written out again as the Jet SQL statement they
// describe. The parts are kept as stored (expressions stay Jet expression
// text), so a caller that needs another SQL dialect writes the same parts
// with its own expression and name writers (selectStatement, fromClause).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kevra {

class Database;

enum class SavedQueryKind { Select, MakeTable, Append, Update, Delete, Crosstab, DataDefinition, PassThrough, Union };

// "Select", "Make Table", "Append", ... as a person names the kind.
const char* savedQueryKindName(SavedQueryKind kind);

struct SavedQuery {
  // Bits of the options row.
  static constexpr int kAllColumns = 0x01, kDistinct = 0x02, kOwnerAccess = 0x04, kDistinctRow = 0x08, kTop = 0x10,
                       kPercent = 0x20;
  // On the options row of a union query: the parts are joined by UNION, not UNION ALL.
  static constexpr int kUnionDistinct = 0x02;
  // On a column row: in a crosstab, the pivot (1) and row-heading (2) columns;
  // in an append query, a VALUES list instead of a SELECT.
  static constexpr int kPivotColumn = 0x01, kRowHeading = 0x02, kAppendValues = 0x8000;

  struct Parameter {
    std::string name;
    int type = 0;  // a Jet column type code (10 text, 4 long...), 0 for any value
  };
  struct Source {
    std::string name;      // table or query; empty for a union part
    std::string alias;     // the union part's marker for a union part
    std::string database;  // a qualifier stored with the name
    std::string text;      // a union part's SELECT text
  };
  struct Column {
    std::string expression;
    std::string alias;   // "AS" name
    std::string target;  // the field an append or update query writes
    int flag = 0;
  };
  struct Join {
    std::string left, right;  // source names or aliases
    std::string condition;
    int type = 1;  // 1 inner, 2 left, 3 right
  };
  struct Ordering {
    std::string expression;
    bool descending = false;
  };

  std::string name;
  int32_t objectId = 0;
  SavedQueryKind kind = SavedQueryKind::Select;
  std::vector<Parameter> parameters;
  int options = 0;
  std::string top;  // the TOP count when kTop is set
  // Make-table and append queries: the table written (and the other
  // database it lives in); pass-through queries: the connect string.
  std::string target, targetDatabase, targetConnect;
  std::string text;  // data-definition and pass-through queries: the statement
  std::string sourceDatabase, sourceConnect;  // FROM ... IN 'db' [connect]
  std::vector<Source> sources;
  std::vector<Column> columns;
  std::vector<Join> joins;
  std::vector<std::string> where;
  std::vector<Column> groupBy;
  std::vector<std::string> having;
  std::vector<Ordering> orderBy;

  // The query returns rows (select, union and crosstab queries).
  bool returnsRows() const;
};

// Every saved query of the file, in catalog order. Throws EngineError when
// MSysQueries lacks the columns the rows need.
std::vector<SavedQuery> readSavedQueries(const Database& db);

// The query as the Jet SQL statement it stands for ("SELECT ... FROM ...;",
// "UPDATE ... SET ...;", "TRANSFORM ... PIVOT ...;"...), lines separated
// by "\n". Throws EngineError naming the query when its joins do not connect.
std::string savedQuerySql(const SavedQuery& query);
// The statement the query's rows are read with: savedQuerySql(), with the
// FROM clause a union part implies but does not write made explicit (see
// implied_from.h).
std::string savedQueryRowsSql(const SavedQuery& query);

// How a dialect writes the parts: a stored Jet expression, and a table,
// alias or column name.
struct SqlPartWriter {
  std::function<std::string(const std::string&)> expression;
  std::function<std::string(const std::string&)> name;
};

// The FROM list with the joins nested as Jet stores them: the sources no
// join names first, then the join chain ("(A LEFT JOIN B ON ...) INNER JOIN
// C ON ..."). Throws EngineError ("joins that do not form one chain") when
// a join names no source already in the chain.
std::string fromClause(const SavedQuery& query, const SqlPartWriter& writer);

// "SELECT [DISTINCT] columns FROM ... [WHERE] [GROUP BY] [HAVING] [ORDER BY]"
// of a select query in the writer's dialect, on one line, without
// parameters, TOP or a final semicolon.
std::string selectStatement(const SavedQuery& query, const SqlPartWriter& writer);

// A name as Jet SQL writes it: bare when it is letters, digits and
// underscores, in brackets otherwise.
std::string jetName(const std::string& name);

}  // namespace kevra
