// Saved select queries as views: the query's parts (engine/table/
// saved_query.h) written as a SELECT with its Jet expressions rewritten in
// the target's SQL. What has no faithful counterpart is refused with a reason, never
// guessed at.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "engine/upsize/column_mapping.h"

namespace kevra {

class Database;
struct CatalogObject;

struct TranslatedQuery {
  std::string name;
  std::optional<std::string> selectSql;  // the view's body, when it translates
  std::string reason;                    // why it does not
  std::vector<std::string> sources;      // tables and queries it reads
};

// A Jet expression ("IIf([a] > 1, \"x\" & [b], Null)") in the target's SQL;
// throws EngineError naming what does not translate.
std::string translateExpression(const std::string& jet, TargetDialect dialect);

// Every saved query of the file, select queries translated.
std::vector<TranslatedQuery> translateSavedQueries(const Database& db, TargetDialect dialect);

}  // namespace kevra
