// libFuzzer entry point for the SQL layer: treats the input as statement text,
// parses it and, when it parses, describes its plan and runs it against a
// small sample database (testv2000.mdb, opened read-only once) and reads its
// rows. An EngineError is the expected answer to bad SQL; anything else
// (another exception, a sanitizer report, a trap, a stack overflow) is a
// finding.
#include <cstdint>
#include <string>
#include <variant>

#include "engine/table/database.h"
#include "engine/sql/parser.h"
#include "engine/sql/statement_runner.h"
#include "engine/util/error.h"

namespace {

const std::shared_ptr<kevra::Database>& sampleDatabase() {
  static const std::shared_ptr<kevra::Database> db =
      kevra::Database::open(std::string(KEVRA_SHARED_DIR) + "/samples/testv2000.mdb");
  return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string sql(reinterpret_cast<const char*>(data), size);
  try {
    kevra::sql::Statement statement = kevra::sql::parseStatement(sql);
    // Joins multiply rows; keep the cross products of the fuzzer's inputs small.
    if (auto* select = std::get_if<kevra::sql::SelectStatement>(&statement); select && select->joins.size() > 3)
      return 0;
    kevra::explainStatement(sampleDatabase(), sql);  // the plan display takes other paths through the planner
    kevra::StatementResult result = kevra::runStatement(sampleDatabase(), sql);
    if (result.rows) {
      std::vector<std::vector<kevra::Value>> rows;
      result.rows->fetch(0, 100, rows);
      result.rows->rowCount();
      result.rows->fetch(1, 1, rows);
    }
  } catch (const kevra::EngineError&) {
  }
  return 0;
}
