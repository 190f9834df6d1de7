// Paths of the shared sample databases, used in place.
#pragma once
#include <string>

namespace kevra::test {

inline std::string sample(const std::string& name) { return std::string(KEVRA_SHARED_DIR) + "/samples/" + name; }

}  // namespace kevra::test
