// Text values: plain UTF-16LE, or the compressed form that starts with FF FE
// and stores one byte per character, with 00 bytes toggling between modes.
#pragma once
#include <string>

#include "engine/util/bytes.h"

namespace kevra {

std::string decodeTextValue(ByteSpan bytes);
void decodeTextValue(ByteSpan bytes, std::string& out);

}  // namespace kevra
