// Writing page 0 of a Jet 4 file: the inverse of decodeHeader (header.h).
// The fields a reader looks at come from a DatabaseHeader; the constants
// every Jet 4 header carries are written as Jet writes them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/storage/header.h"

namespace kevra {

// The longest database password a Jet 4 header holds, in UTF-16 code units.
constexpr size_t kMaxPasswordLength = 20;

// Fills `page0` (kPageSize bytes) with the header for `header`: code page,
// engine build, sort order and its version, creation date and password, the
// masked region encoded last. Throws EngineError when `header` is not a
// Jet 4 header or the password is longer than 20 characters or holds a NUL.
void encodeHeader(const DatabaseHeader& header, uint8_t* page0);

}  // namespace kevra
