// Engine failures. Every error the engine raises is an EngineError whose
// message names the object involved and can be shown to a user as it is.
#pragma once
#include <stdexcept>
#include <string>

namespace kevra {

class EngineError : public std::runtime_error {
 public:
  explicit EngineError(const std::string& message) : std::runtime_error(message) {}
};

// The file's bytes contradict the format: truncated, wrong page type, bad pointer.
class CorruptFileError : public EngineError {
 public:
  explicit CorruptFileError(const std::string& message) : EngineError(message) {}
};

// A feature the engine does not handle yet (Jet 3, .accdb, encryption, ...).
class UnsupportedError : public EngineError {
 public:
  explicit UnsupportedError(const std::string& message) : EngineError(message) {}
};

}  // namespace kevra
