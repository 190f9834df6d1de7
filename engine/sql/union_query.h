// SELECT ... UNION [ALL] SELECT ...: each part runs on its own, their rows are
// put one after another, left to right (a plain UNION keeps the rows so far
// once each; UNION ALL only adds), and the
// closing ORDER BY sorts the whole by the first part's output names. Column
// names and types come from the first part.
#pragma once
#include <memory>

#include "engine/sql/ast.h"
#include "engine/sql/result_set.h"

namespace kevra {
class Database;
}

namespace kevra::sql {

// `statement` has at least one UNION part. Throws EngineError when the parts
// differ in their number of fields.
std::unique_ptr<ResultSet> executeUnion(std::shared_ptr<Database> db, SelectStatement statement);

}  // namespace kevra::sql
