// Running a SELECT: plans it and picks the result set that reads the least
// (plain scan, filtered/sorted position list, or rows built in memory for
// DISTINCT and grouping), limited by TOP when given.
#pragma once
#include <memory>

#include "engine/sql/ast.h"
#include "engine/sql/result_set.h"

namespace kevra {
class Database;
}

namespace kevra::sql {

std::unique_ptr<ResultSet> executeSelect(std::shared_ptr<Database> db, SelectStatement statement);

}  // namespace kevra::sql
