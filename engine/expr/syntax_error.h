// The one way SQL text is refused: an EngineError that names the 1-based
// character position and the text found there.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/util/error.h"

namespace kevra::expr {

class SyntaxError : public EngineError {
 public:
  // `near` is the offending text as written; empty means the end of the statement.
  SyntaxError(size_t position, std::string_view near, std::string_view problem);
  size_t position() const { return position_; }

 private:
  size_t position_;
};

}  // namespace kevra::expr
