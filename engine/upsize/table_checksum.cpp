// Eight bytes at a time through a multiply-rotate step (in four lanes for
// longer runs), each row finished with a 64-bit mixer before the rows are
// summed.
#include "engine/upsize/table_checksum.h"

#include <cstdio>
#include <cstring>

namespace kevra {
namespace {

constexpr uint64_t kOdd1 = 0x9e3779b97f4a7c15ull;
constexpr uint64_t kOdd2 = 0xbf58476d1ce4e5b9ull;

inline uint64_t rotl(uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
inline uint64_t step(uint64_t h, uint64_t w) { return rotl(h ^ (w * kOdd1), 29) * kOdd2; }

}  // namespace

// Each call mixes its own length first, so a short tail padded with zeros
// cannot be mistaken for a longer run.
void TableChecksum::mix(const void* data, size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  uint64_t h = step(row_, uint64_t(size) ^ 0xa5a5a5a5a5a5a5a5ull);
  if (size >= 32) {
    // Four lanes, each seeded apart, so that the steps do not wait on one
    // another; a word moved to another lane changes the result.
    uint64_t lane[4] = {h, h ^ kOdd1, h ^ kOdd2, rotl(h, 31)};
    for (; size >= 32; p += 32, size -= 32) {
      uint64_t w[4];
      std::memcpy(w, p, 32);
      for (int i = 0; i < 4; ++i) lane[i] = step(lane[i], w[i]);
    }
    for (uint64_t l : lane) h = step(h, l);
  }
  for (; size >= 8; p += 8, size -= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = step(h, w);
  }
  if (size) {
    uint64_t w = 0;
    std::memcpy(&w, p, size);
    h = step(h, w);
  }
  row_ = h;
}

void TableChecksum::addField(const std::optional<std::string>& text) {
  if (!text) {
    row_ = step(row_, 0x6e756c6cull);  // NULL: no length, a marker of its own
    return;
  }
  mix(text->data(), text->size());
}

void TableChecksum::endRow() {
  uint64_t z = row_ + kOdd1;
  z = (z ^ (z >> 30)) * kOdd2;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  sum_ += z ^ (z >> 31);
  ++rows_;
}

void TableChecksum::addRow(const void* data, size_t size) {
  beginRow();
  mix(data, size);
  endRow();
}

std::string TableChecksum::hex() const {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(sum_));
  return buf;
}

}  // namespace kevra
