// Whole-file operations.
#include "database/jet_engine.h"

#include "database/connection_string.h"
#include "engine/compact/compactor.h"
#include "engine/util/error.h"

namespace kevra::db {

void JetEngine::CompactDatabase(const std::string& sourceConnectionString, const std::string& targetConnectionString) {
  const ConnectionString source(sourceConnectionString), target(targetConnectionString);
  const auto from = source.get("Data Source");
  const auto to = target.get("Data Source");
  if (!from || from->empty()) throw EngineError("The source connection string names no database file (Data Source).");
  if (!to || to->empty()) throw EngineError("The destination connection string names no file (Data Source).");
  kevra::CompactOptions options;
  options.sourcePassword = source.get("Jet OLEDB:Database Password").value_or("");
  options.destinationPassword = target.get("Jet OLEDB:Database Password");
  options.progress = progress;
  kevra::compactDatabase(kevra::realFileSystem(), *from, *to, options);
}

}  // namespace kevra::db
