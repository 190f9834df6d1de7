// LocalServices: everything a statement may need to change one database —
// its row writer, structure changes and SELECT ... INTO — bundled for the
// callers that run any SQL text (the command line, the recordset).
#pragma once
#include <memory>

#include "engine/sql/ddl_executor.h"
#include "engine/sql/local_table_copier.h"
#include "engine/sql/statement_runner.h"
#include "engine/table/table_writer.h"

namespace kevra {

class LocalServices {
 public:
  explicit LocalServices(std::shared_ptr<Database> db) : writer_(db), ddl_(db, writer_), copier_(db, writer_) {}
  StatementServices services() { return {&writer_, &ddl_, &copier_}; }
  TableWriter& writer() { return writer_; }

 private:
  TableWriter writer_;
  DdlExecutor ddl_;
  LocalTableCopier copier_;
};

}  // namespace kevra
