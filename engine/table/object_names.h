// The rules Jet applies to the names of tables, fields, indexes and
// relationships: 1 to 64 characters, no leading space, none of . ! ` [ ]
// and no control characters. Checked on every create and rename, so a name
// can always stand between brackets in SQL text.
#pragma once
#include <string>

namespace kevra {

// Throws EngineError naming the kind ("table", "field", ...) and the name.
void checkObjectName(const std::string& name, const std::string& kind);

// `name` made to pass checkObjectName, as an import makes the names it finds
// in other files: each forbidden character becomes '_', leading spaces go,
// and the name is cut to 64 characters; "" when nothing is left.
std::string legalObjectName(const std::string& name);

}  // namespace kevra
