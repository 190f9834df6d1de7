// FNV-1a per row, finished with a 64-bit mixer before the rows are summed.
#include "engine/upsize/table_checksum.h"

#include <cstdio>

namespace kevra {

void TableChecksum::mix(const void* data, size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    row_ ^= p[i];
    row_ *= 1099511628211ull;
  }
}

void TableChecksum::addField(const std::optional<std::string>& text) {
  unsigned char marker = text ? 1 : 0;
  mix(&marker, 1);
  if (!text) return;
  uint64_t size = text->size();
  mix(&size, sizeof size);
  mix(text->data(), text->size());
}

void TableChecksum::endRow() {
  uint64_t z = row_ + 0x9e3779b97f4a7c15ull;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  sum_ += z ^ (z >> 31);
  ++rows_;
}

std::string TableChecksum::hex() const {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(sum_));
  return buf;
}

}  // namespace kevra
