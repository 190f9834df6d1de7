// Whole-file operations.
#include "database/jet_engine.h"

#include "engine/util/error.h"

namespace kevra::db {

void JetEngine::CompactDatabase(const std::string&, const std::string&) {
  throw UnsupportedError("Compacting a database is not supported yet.");
}

}  // namespace kevra::db
