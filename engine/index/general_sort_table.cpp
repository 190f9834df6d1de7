// Expands the compiled runs of the General sort order into a flat table of
// 65,536 entries, one per UTF-16 code unit.
#include "engine/index/general_sort_table.h"

#include <array>
#include <cstddef>
#include <memory>

namespace kevra {
namespace {

#include "engine/index/general_sort_table.inc"

using Table = std::array<SortCode, 0x10000>;

std::unique_ptr<Table> expandRuns() {
  auto table = std::make_unique<Table>();
  for (size_t r = 0; r < kSortRunCount; ++r) {
    uint64_t packed = kSortRuns[r];
    uint32_t first = uint32_t(packed >> 48);
    uint32_t end = r + 1 < kSortRunCount ? uint32_t(kSortRuns[r + 1] >> 48) : 0x10000u;
    uint16_t second = uint16_t(packed >> 32);
    uint32_t primary = uint32_t(packed);
    uint8_t info = kSortRunInfo[r];
    SortCode code;
    code.cls = SortClass(info & 7);
    code.primaryLength = (info >> 3) & 7;
    code.secondLength = uint8_t(info >> 6);
    for (uint8_t i = 0; i < code.secondLength; ++i)
      code.second[i] = uint8_t(second >> (8 * (code.secondLength - 1 - i)));
    for (uint32_t unit = first; unit < end; ++unit, ++primary) {
      for (uint8_t i = 0; i < code.primaryLength; ++i)
        code.primary[i] = uint8_t(primary >> (8 * (code.primaryLength - 1 - i)));
      (*table)[unit] = code;
    }
  }
  return table;
}

}  // namespace

const SortCode& generalSortCode(char16_t unit) {
  static const std::unique_ptr<Table> table = expandRuns();
  return (*table)[unit];
}

}  // namespace kevra
