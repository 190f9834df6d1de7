// Reading Memo and OLE values in all three storage kinds.
#include "engine/format/long_value.h"

#include <unordered_set>

#include "engine/storage/data_page.h"
#include "engine/util/error.h"

namespace kevra {

Binary readLongValue(const PageFile& file, ByteSpan field, const std::string& owner) {
  if (field.size() < 12)
    throw CorruptFileError("Corrupt file: the long value of " + owner + " has a header of only " +
                           std::to_string(field.size()) + " bytes.");
  uint32_t word = u32At(field, 0);
  uint32_t length = word & 0x3FFFFFFF;
  uint32_t kind = word >> 30;
  uint32_t pointer = u32At(field, 4);
  Binary out;
  if (kind == 2) {  // inline
    if (size_t(length) > field.size() - 12)
      throw CorruptFileError("Corrupt file: the inline value of " + owner + " claims " + std::to_string(length) +
                             " bytes but the row holds " + std::to_string(field.size() - 12) + ".");
    out.assign(field.begin() + 12, field.begin() + 12 + length);
    return out;
  }
  if (kind == 1) {  // one LVAL row
    PageRef holder;
    ByteSpan row = readRowAt(file, pointer, holder, owner);
    if (row.size() < length)
      throw CorruptFileError("Corrupt file: the long value of " + owner + " claims " + std::to_string(length) +
                             " bytes but its page row holds " + std::to_string(row.size()) + ".");
    out.assign(row.begin(), row.begin() + length);
    return out;
  }
  if (kind == 0) {  // chain: each row is a 4-byte pointer to the next piece, then data
    // Every piece must carry data, so the chain cannot be longer than the file.
    out.reserve(std::min<size_t>(length, size_t(file.pageCount()) * kPageSize));
    std::unordered_set<uint32_t> seen;
    uint32_t next = pointer;
    while (out.size() < length) {
      if (next == 0)
        throw CorruptFileError("Corrupt file: the long value of " + owner + " ends after " +
                               std::to_string(out.size()) + " of " + std::to_string(length) + " bytes.");
      if (!seen.insert(next).second)
        throw CorruptFileError("Corrupt file: the long value chain of " + owner + " loops back on itself.");
      PageRef holder;
      ByteSpan row = readRowAt(file, next, holder, owner);
      if (row.size() < 4)
        throw CorruptFileError("Corrupt file: a piece of the long value of " + owner + " is too short.");
      next = u32At(row, 0);
      size_t take = std::min<size_t>(row.size() - 4, length - out.size());
      out.insert(out.end(), row.begin() + 4, row.begin() + 4 + take);
      if (row.size() == 4 && next == 0 && out.size() < length)
        throw CorruptFileError("Corrupt file: the long value of " + owner + " is shorter than its header says.");
    }
    return out;
  }
  throw CorruptFileError("Corrupt file: the long value of " + owner + " has an unknown storage kind.");
}

}  // namespace kevra
