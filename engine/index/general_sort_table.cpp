// Expands the compiled runs of the General sort orders into flat tables of
// 65,536 entries, one per UTF-16 code unit.
#include "engine/index/general_sort_table.h"

#include <array>
#include <cstddef>
#include <memory>

namespace kevra {
namespace {

// Codes too long for a run (primary over 4 bytes, accent bytes over 2).
struct LongSortCode {
  uint16_t unit;
  uint8_t cls;
  uint8_t primaryLength;
  uint8_t secondLength;
  uint64_t primary;
  uint32_t second;
};

namespace version0 {
#include "engine/index/general_sort_table.inc"
}
namespace version1 {
#include "engine/index/general_v1_sort_table.inc"
}

using Table = std::array<SortCode, 0x10000>;

std::unique_ptr<Table> expandRuns(const uint64_t* runs, const uint8_t* infos, size_t runCount,
                                  const LongSortCode* longCodes, size_t longCount) {
  auto table = std::make_unique<Table>();
  for (size_t r = 0; r < runCount; ++r) {
    uint64_t packed = runs[r];
    uint32_t first = uint32_t(packed >> 48);
    uint32_t end = r + 1 < runCount ? uint32_t(runs[r + 1] >> 48) : 0x10000u;
    uint16_t second = uint16_t(packed >> 32);
    uint32_t primary = uint32_t(packed);
    uint8_t info = infos[r];
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
  for (size_t k = 0; k < longCount; ++k) {
    const LongSortCode& l = longCodes[k];
    SortCode code;
    code.cls = SortClass(l.cls);
    code.primaryLength = l.primaryLength;
    code.secondLength = l.secondLength;
    for (uint8_t i = 0; i < l.primaryLength; ++i)
      code.primary[i] = uint8_t(l.primary >> (8 * (l.primaryLength - 1 - i)));
    for (uint8_t i = 0; i < l.secondLength; ++i) code.second[i] = uint8_t(l.second >> (8 * (l.secondLength - 1 - i)));
    (*table)[l.unit] = code;
  }
  return table;
}

}  // namespace

const SortCode* generalSortCodes(uint8_t version) {
  static const std::unique_ptr<Table> legacy =
      expandRuns(version0::kSortRuns, version0::kSortRunInfo, version0::kSortRunCount, version0::kSortLongCodes,
                 version0::kSortLongCount);
  if (version == 1) {
    static const std::unique_ptr<Table> general2010 =
        expandRuns(version1::kSortRuns, version1::kSortRunInfo, version1::kSortRunCount, version1::kSortLongCodes,
                   version1::kSortLongCount);
    return general2010->data();
  }
  return legacy->data();
}

const SortCode& generalSortCode(char16_t unit, uint8_t version) { return generalSortCodes(version)[unit]; }

}  // namespace kevra
