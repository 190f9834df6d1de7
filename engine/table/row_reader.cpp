// Reading one row by its location.
#include "engine/table/row_reader.h"

#include "engine/storage/data_page.h"
#include "engine/storage/page_file.h"
#include "engine/util/error.h"

namespace kevra {
namespace {
constexpr int kMaxOverflowHops = 8;
}

RowReader::RowReader(const PageFile& file, std::shared_ptr<const TableDef> table)
    : file_(file), table_(std::move(table)), owner_("table '" + table_->name + "'"), decoder_(file, *table_) {}

bool RowReader::read(uint32_t location, std::vector<Value>& row) const {
  const uint32_t pageNumber = pointerPage(location);
  if (pageNumber == 0 || pageNumber >= file_.pageCount()) return false;
  PageRef holder = file_.read(pageNumber);
  if (holder->data()[0] != kPageTypeData) return false;
  DataPage page(holder, pageNumber, owner_, file_.layout());
  const uint16_t slot = pointerRow(location);
  if (page.ownerTdef() != table_->tdefPage || slot >= page.slotCount()) return false;
  uint16_t flags = page.slotFlags(slot);
  if (flags & kSlotLookupOnly) return false;
  ByteSpan bytes = page.row(slot);
  PageRef target;
  for (int hop = 0; flags & kSlotOverflow; ++hop) {
    if (hop >= kMaxOverflowHops || bytes.size() < 4)
      throw CorruptFileError("Corrupt file: an overflow row of " + owner_ + " cannot be followed.");
    const uint32_t next = u32At(bytes, 0);
    bytes = readRowAt(file_, next, target, owner_);
    flags = DataPage(target, pointerPage(next), owner_, file_.layout()).slotFlags(pointerRow(next)) & kSlotOverflow;
  }
  decoder_.decode(bytes, row);
  return true;
}

uint32_t storedRowCount(const PageFile& file, const TableDef& table) {
  if (table.tdefPage == 0 || table.tdefPage >= file.pageCount())
    throw CorruptFileError("Corrupt file: the definition of table '" + table.name + "' is not in the file.");
  PageRef page = file.read(table.tdefPage);
  return u32At(file.span(page), file.layout().jet3 ? 12 : 16);
}

}  // namespace kevra
