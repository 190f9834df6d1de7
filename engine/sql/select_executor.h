// Running a SELECT: plans it and picks the result set that reads the least
// (the stored row count, rows named by an index, plain scan, filtered/sorted
// position list, or rows built in memory for DISTINCT, joins and grouping),
// limited by TOP when given.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/ast.h"
#include "engine/sql/result_set.h"

namespace kevra {
class Database;
}

namespace kevra::sql {

std::unique_ptr<ResultSet> executeSelect(std::shared_ptr<Database> db, SelectStatement statement);

// How executeSelect would read: one line per table or step ("table
// 'Customers': index 'PrimaryKey' (id =)", "order: sort, best 10 kept").
std::vector<std::string> explainSelect(std::shared_ptr<Database> db, SelectStatement statement);

}  // namespace kevra::sql
