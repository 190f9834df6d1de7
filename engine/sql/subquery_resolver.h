// Subqueries: (SELECT ...) as a value and IN (SELECT ...). They are run once,
// before their statement, and replaced by what they returned, so they may
// not refer to the outer query's fields.
#pragma once
#include <memory>

#include "engine/sql/ast.h"

namespace kevra {
class Database;
}

namespace kevra::sql {

// Replaces every subquery under `e`: a value subquery by a literal (NULL when
// it returns no row), the query of IN by the list of values it returned.
// Throws EngineError when a subquery has more than one field, or a value
// subquery more than one row.
void resolveSubqueries(Expr& e, const std::shared_ptr<Database>& db);

}  // namespace kevra::sql
