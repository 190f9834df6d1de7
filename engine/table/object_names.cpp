// Object-name rules, counted in characters (UTF-8 continuation bytes do not
// count).
#include "engine/table/object_names.h"

#include "engine/util/error.h"

namespace kevra {
namespace {

bool forbidden(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '.' || c == '!' || c == '`' || c == '[' || c == ']';
}

}  // namespace

void checkObjectName(const std::string& name, const std::string& kind) {
  const std::string quoted = "'" + name + "'";
  if (name.empty()) throw EngineError("A " + kind + " name cannot be empty.");
  size_t characters = 0;
  for (unsigned char c : name) characters += (c & 0xC0) != 0x80;
  if (characters > 64)
    throw EngineError("The " + kind + " name " + quoted + " is too long: names have at most 64 characters.");
  if (name.front() == ' ') throw EngineError("The " + kind + " name " + quoted + " cannot begin with a space.");
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F)
      throw EngineError("The " + kind + " name " + quoted + " contains a control character.");
    if (c == '.' || c == '!' || c == '`' || c == '[' || c == ']')
      throw EngineError("The " + kind + " name " + quoted + " contains '" + std::string(1, char(c)) +
                        "', which names cannot contain (nor . ! ` [ ]).");
  }
}

std::string legalObjectName(const std::string& name) {
  std::string out;
  size_t characters = 0;
  for (unsigned char c : name) {
    const bool starts = (c & 0xC0) != 0x80;
    if (starts && characters == 64) break;
    if (out.empty() && c == ' ') continue;
    characters += starts;
    out.push_back(forbidden(c) ? '_' : char(c));
  }
  return out;
}

}  // namespace kevra
