// The one-byte row bookkeeping of Jet 3 and its jump table.
#include "engine/format/jet3_row.h"

#include "engine/util/error.h"

namespace kevra {
namespace {

[[noreturn]] void corrupt(const std::string& table, const std::string& what) {
  throw CorruptFileError("Corrupt file: a row of table '" + table + "' " + what + ".");
}

}  // namespace

void locateJet3Row(ByteSpan row, size_t firstVariableColumn, const std::string& table, Jet3Row& out) {
  if (row.empty()) corrupt(table, "is truncated");
  out.columnCount = row[0];
  const size_t maskSize = (out.columnCount + 7) / 8;
  if (1 + maskSize > row.size())
    corrupt(table, "claims " + std::to_string(out.columnCount) + " columns but is only " +
                       std::to_string(row.size()) + " bytes long");
  out.nullMask = row.subspan(row.size() - maskSize);
  out.varOffsets.clear();
  const size_t nvAt = row.size() - maskSize - 1;  // position of nv
  if (out.columnCount <= firstVariableColumn) {
    out.fixedEnd = row.size() - maskSize;
    return;
  }
  if (nvAt < 2) corrupt(table, "is truncated");
  const size_t varCount = row[nvAt];
  const size_t jumps = (row.size() - 1) / 256;
  // eod, nv offsets and the jump table sit between the var area and nv.
  if (jumps + varCount + 2 > nvAt)
    corrupt(table, "claims " + std::to_string(varCount) + " variable columns it has no room for");
  const size_t listEnd = nvAt - jumps - 1;  // slot 0's offset; slot i at listEnd - i, eod at listEnd - nv
  size_t jumpsUsed = 0;
  out.varOffsets.resize(varCount + 1);
  for (size_t i = 0; i <= varCount; ++i) {
    // Jump entry k (read from nv backwards) names the first list entry at or
    // beyond 256 * (k + 1); an entry no offset reaches holds FF.
    while (jumpsUsed < jumps && row[nvAt - 1 - jumpsUsed] == i) ++jumpsUsed;
    out.varOffsets[i] = uint16_t(row[listEnd - i] + 256 * jumpsUsed);
  }
  const size_t eod = out.varOffsets[varCount];
  if (eod > listEnd - varCount) corrupt(table, "has its variable area past its end");
  out.fixedEnd = eod;
}

}  // namespace kevra
