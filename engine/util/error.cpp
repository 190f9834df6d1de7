// Engine failures: their messages made safe to print.
#include "engine/util/error.h"

#include <cstdio>

namespace kevra {

std::string printableMessage(const std::string& message) {
  std::string out;
  out.reserve(message.size());
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0) {
      out += "\\0";
    } else if ((byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace kevra
