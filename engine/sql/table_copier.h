// TableCopier: what SELECT ... INTO needs from whoever can make tables, here
// or in another file ([T] IN "path" "dBase 5.0;"). The statement runner runs
// the query; the copier creates the target from the query's columns, writes
// every row and returns how many it wrote.
#pragma once
#include "engine/sql/ast.h"
#include "engine/sql/result_set.h"

namespace kevra {

class TableCopier {
 public:
  virtual ~TableCopier() = default;
  virtual long copy(const sql::SelectInto& target, ResultSet& rows) = 0;
};

}  // namespace kevra
