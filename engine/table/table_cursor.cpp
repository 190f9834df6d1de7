// TableCursor: storage-order scan over a table's owned data pages, with one
// checkpoint (first row position) per page so positions can be revisited.
#include <algorithm>
#include <optional>

#include "engine/table/database.h"
#include "engine/table/table_cursor.h"
#include "engine/storage/data_page.h"
#include "engine/format/row_codec.h"
#include "engine/storage/page_file.h"
#include "engine/storage/usage_map.h"
#include "engine/util/error.h"

namespace kevra {
namespace {
constexpr int kMaxOverflowHops = 8;
}

struct TableCursor::Impl {
  const PageFile& file;
  const TableDef& table;
  std::string owner;
  std::vector<uint32_t> pages;         // owned data pages, ascending
  std::vector<uint64_t> checkpoints;   // checkpoints[k] = position of the first row on pages[k]
  RowDecoder decoder;
  size_t pageIndex = 0;
  uint16_t slot = 0;
  std::optional<DataPage> current;
  std::optional<uint64_t> total;

  Impl(const PageFile& f, const TableDef& t)
      : file(f), table(t), owner("table '" + t.name + "'"), decoder(f, t) {
    pages = UsageMap::read(f, t.ownedMapPointer, "table '" + t.name + "'").pages();
  }

  // Loads pages[pageIndex]; false when it does not belong to this table.
  bool load() {
    DataPage page(file.read(pages[pageIndex]), pages[pageIndex], owner, file.layout());
    if (page.ownerTdef() != table.tdefPage) {
      current.reset();
      return false;
    }
    current.emplace(std::move(page));
    return true;
  }

  static bool isLive(uint16_t flags) { return !(flags & kSlotLookupOnly); }

  uint64_t liveRowsOn(uint32_t pageNumber) {
    DataPage page(file.read(pageNumber), pageNumber, owner, file.layout());
    if (page.ownerTdef() != table.tdefPage) return 0;
    uint64_t n = 0;
    for (uint16_t s = 0; s < page.slotCount(); ++s)
      if (isLive(page.slotFlags(s))) ++n;
    return n;
  }

  ByteSpan rowBytes(uint16_t s, PageRef& holder) {
    ByteSpan row = current->row(s);
    uint16_t flags = current->slotFlags(s);
    for (int hop = 0; flags & kSlotOverflow; ++hop) {
      if (hop >= kMaxOverflowHops || row.size() < 4)
        throw CorruptFileError("Corrupt file: an overflow row of " + owner + " cannot be followed.");
      uint32_t target = u32At(row, 0);
      row = readRowAt(file, target, holder, owner);
      uint16_t targetFlags = DataPage(holder, pointerPage(target), owner, file.layout()).slotFlags(pointerRow(target));
      if (targetFlags == kSlotDeleted)
        throw CorruptFileError("Corrupt file: an overflow row of " + owner + " points at a deleted row.");
      flags = targetFlags & kSlotOverflow;
    }
    return row;
  }
};

TableCursor::TableCursor(std::shared_ptr<const Database> db, std::shared_ptr<const TableDef> table)
    : db_(std::move(db)), table_(std::move(table)), impl_(std::make_unique<Impl>(db_->pages(), *table_)) {}

TableCursor::~TableCursor() = default;

bool TableCursor::next(std::vector<Value>& row) {
  Impl& m = *impl_;
  while (m.pageIndex < m.pages.size()) {
    if (!m.current) {
      if (m.checkpoints.size() == m.pageIndex) m.checkpoints.push_back(position_);
      if (!m.load()) {
        ++m.pageIndex;
        m.slot = 0;
        continue;
      }
    }
    while (m.slot < m.current->slotCount()) {
      uint16_t s = m.slot++;
      if (!Impl::isLive(m.current->slotFlags(s))) continue;
      PageRef holder;
      ByteSpan bytes = m.rowBytes(s, holder);
      m.decoder.decode(bytes, row);
      lastLocation_ = rowPointer(m.current->page(), uint8_t(s));
      ++position_;
      return true;
    }
    m.current.reset();
    ++m.pageIndex;
    m.slot = 0;
  }
  return false;
}

bool TableCursor::seek(uint64_t target) {
  Impl& m = *impl_;
  if (m.pages.empty()) return target == 0;
  if (m.checkpoints.empty()) m.checkpoints.push_back(0);
  // Extend the checkpoints (counting rows, decoding nothing) past the target.
  while (m.checkpoints.size() < m.pages.size() && m.checkpoints.back() <= target) {
    size_t k = m.checkpoints.size() - 1;
    m.checkpoints.push_back(m.checkpoints[k] + m.liveRowsOn(m.pages[k]));
  }
  size_t k = size_t(std::upper_bound(m.checkpoints.begin(), m.checkpoints.end(), target) - m.checkpoints.begin());
  k = k == 0 ? 0 : k - 1;
  // Several empty pages can share a checkpoint; start at the first of them.
  while (k > 0 && m.checkpoints[k - 1] == m.checkpoints[k]) --k;
  m.pageIndex = k;
  m.slot = 0;
  m.current.reset();
  position_ = m.checkpoints[k];
  while (position_ < target) {
    if (m.pageIndex >= m.pages.size()) return false;
    if (!m.current) {
      if (m.checkpoints.size() == m.pageIndex) m.checkpoints.push_back(position_);
      if (!m.load()) {
        ++m.pageIndex;
        continue;
      }
    }
    while (m.slot < m.current->slotCount() && position_ < target) {
      if (Impl::isLive(m.current->slotFlags(m.slot))) ++position_;
      ++m.slot;
    }
    if (m.slot >= m.current->slotCount()) {
      m.current.reset();
      ++m.pageIndex;
      m.slot = 0;
    }
  }
  return true;
}

uint64_t TableCursor::countRows() {
  Impl& m = *impl_;
  if (m.pages.empty()) return 0;
  if (m.checkpoints.empty()) m.checkpoints.push_back(0);
  while (m.checkpoints.size() < m.pages.size()) {
    size_t k = m.checkpoints.size() - 1;
    m.checkpoints.push_back(m.checkpoints[k] + m.liveRowsOn(m.pages[k]));
  }
  if (!m.total) m.total = m.checkpoints.back() + m.liveRowsOn(m.pages.back());
  return *m.total;
}

uint64_t TableCursor::followRowChange(uint32_t location, int liveRows) {
  Impl& m = *impl_;
  const uint32_t page = pointerPage(location);
  auto at = std::lower_bound(m.pages.begin(), m.pages.end(), page);
  const size_t k = size_t(at - m.pages.begin());
  if (at == m.pages.end() || *at != page) {
    // A page the table took after this cursor read its page list: its first
    // row comes where the rows of the page after it began.
    m.pages.insert(at, page);
    if (k < m.checkpoints.size()) m.checkpoints.insert(m.checkpoints.begin() + std::ptrdiff_t(k), m.checkpoints[k]);
  }
  for (size_t j = k + 1; j < m.checkpoints.size(); ++j) m.checkpoints[j] = uint64_t(int64_t(m.checkpoints[j]) + liveRows);
  if (m.total) m.total = uint64_t(int64_t(*m.total) + liveRows);
  // The page held in `current` may be an old copy: start over.
  m.current.reset();
  m.pageIndex = 0;
  m.slot = 0;
  position_ = 0;

  if (m.checkpoints.empty()) m.checkpoints.push_back(0);
  while (m.checkpoints.size() <= k) {
    const size_t j = m.checkpoints.size() - 1;
    m.checkpoints.push_back(m.checkpoints[j] + m.liveRowsOn(m.pages[j]));
  }
  DataPage changed(m.file.read(page), page, m.owner, m.file.layout());
  uint64_t before = 0;
  for (uint16_t s = 0; s < pointerRow(location) && s < changed.slotCount(); ++s)
    if (Impl::isLive(changed.slotFlags(s))) ++before;
  return m.checkpoints[k] + before;
}

void TableCursor::keepComplexKeys() { impl_->decoder.keepComplexKeys(); }

void TableCursor::keepLongValuesRaw(std::vector<uint16_t> columnNumbers) {
  impl_->decoder.keepLongValuesRaw(std::move(columnNumbers));
}

}  // namespace kevra
