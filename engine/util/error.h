// Engine failures. Every error the engine raises is an EngineError whose
// message names the object involved and can be shown to a user as it is.
#pragma once
#include <stdexcept>
#include <string>

namespace kevra {

// A message quotes names and values as they are in the file; control bytes
// among them are shown escaped (\0, \x1B), so a NUL in a value cannot
// end the message early and nothing in it can drive a terminal.
std::string printableMessage(const std::string& message);

class EngineError : public std::runtime_error {
 public:
  explicit EngineError(const std::string& message) : std::runtime_error(printableMessage(message)) {}
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

// The file is protected by a password and none was given. Each front end
// says in its own terms how to give one.
class PasswordRequiredError : public EngineError {
 public:
  explicit PasswordRequiredError(const std::string& fileName)
      : EngineError("'" + fileName + "' is protected by a database password; give the password to open it."),
        fileName_(fileName) {}
  const std::string& fileName() const { return fileName_; }

 private:
  std::string fileName_;
};

}  // namespace kevra
