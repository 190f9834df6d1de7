// Jet 4 files in another text sort order, made from a sample's bytes: the
// header's sort order and code page and (with `columnsToo`) every text and
// memo column's sort order are changed, as a file created under that
// collation has them.
#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace kevra::test {

inline std::vector<uint8_t> readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

// `fromSortOrder` and `fromCodePage` are what the header holds now.
inline std::vector<uint8_t> withSortOrder(std::vector<uint8_t> file, uint16_t sortOrder, uint16_t codePage,
                                          bool columnsToo = true, uint16_t fromSortOrder = 0x0409,
                                          uint16_t fromCodePage = 1252) {
  constexpr size_t kPage = 4096;
  auto u16 = [&](size_t at) { return uint16_t(file[at] | file[at + 1] << 8); };
  auto u32 = [&](size_t at) { return uint32_t(u16(at) | uint32_t(u16(at + 2)) << 16); };
  // The header fields are masked: XOR in the difference to the present values.
  auto reMask = [&](size_t at, uint16_t from, uint16_t to) {
    file[at] ^= uint8_t((from ^ to) & 0xFF);
    file[at + 1] ^= uint8_t((from ^ to) >> 8);
  };
  reMask(0x3C, fromCodePage, codePage);
  reMask(0x6E, fromSortOrder, sortOrder);

  if (!columnsToo) return file;
  const size_t pages = file.size() / kPage;
  std::set<uint32_t> continuations;
  for (size_t p = 1; p < pages; ++p)
    if (file[p * kPage] == 0x02) continuations.insert(u32(p * kPage + 4));
  for (size_t p = 1; p < pages; ++p) {
    if (file[p * kPage] != 0x02 || continuations.count(uint32_t(p))) continue;
    // File offsets of the logical definition buffer's bytes.
    std::vector<size_t> at;
    for (size_t page = p, first = 1; page != 0 && page < pages; page = u32(page * kPage + 4), first = 0)
      for (size_t i = first ? 0 : 8; i < kPage; ++i) at.push_back(page * kPage + i);
    auto b16 = [&](size_t o) { return uint16_t(file[at[o]] | file[at[o + 1]] << 8); };
    const size_t columns = b16(45), realIndexes = b16(51);
    for (size_t c = 0; c < columns; ++c) {
      const size_t d = 63 + 12 * realIndexes + 25 * c;
      if (d + 25 > at.size()) break;
      if (file[at[d]] != 0x0A && file[at[d]] != 0x0C) continue;
      file[at[d + 11]] = uint8_t(sortOrder & 0xFF);
      file[at[d + 12]] = uint8_t(sortOrder >> 8);
    }
  }
  return file;
}

}  // namespace kevra::test
