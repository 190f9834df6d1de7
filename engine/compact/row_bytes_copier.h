// RowBytesCopier: a table's rows copied as their stored bytes into a new,
// empty table of the same layout — no decoding of values and no encoding
// again. Long values stored outside a row are copied to the new table's
// own pages and the row's pointer to them changed; inline ones travel with
// the row. The keys of the new table's indexes are computed from each row
// once it is placed (only the key fields are decoded), on a worker thread
// beside the placing (RowBatchWorker), and every index is
// filled at the end from its sorted keys (IndexBuilder: within the memory
// given, the rest in a scratch file); keys that arrive in order (the
// primary key, as rows come in its order) are not sorted again.
//
// The caller holds a transaction open on the target file around add() and
// finish() (it may commit and begin again between rows); finish() commits
// it after each index it fills and begins another.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/format/row_codec.h"
#include "engine/format/table_def.h"
#include "engine/index/index_key_encoder.h"
#include "engine/storage/page_file.h"
#include "engine/util/bytes.h"
#include "engine/util/row_batch_worker.h"

namespace kevra {

class RowBytesCopier {
 public:
  // `to` is the target table as stored, its indexes defined and empty;
  // `keyMemory` bounds the bytes of keys held in memory for all of them.
  RowBytesCopier(const PageFile& source, PageFile& target, const TableDef& from, const TableDef& to,
                 size_t keyMemory);
  ~RowBytesCopier();

  // Whether rows of `from` mean the same in `to`: same fields at the same
  // places (numbers, offsets, variable slots, types, sizes).
  static bool sameLayout(const TableDef& from, const TableDef& to);

  // Places one row (its data bytes, never an overflow pointer). A row that
  // predates every variable field of a table that has some gets an empty
  // variable area, as rows written now have.
  void add(ByteSpan row);
  // Fills the indexes and writes the row count and the autonumber counter
  // (the larger of `lastAutoNumber` and the largest number in the rows).
  // Throws EngineError, naming index and fields, when a unique index would
  // hold a key twice or a required one a NULL.
  void finish(uint32_t lastAutoNumber);

 private:
  struct IndexBuild;
  void addKeys(ByteSpan row, uint32_t location);
  uint32_t placeRow(ByteSpan bytes);
  uint32_t placeLongValueRow(uint16_t columnNumber, ByteSpan bytes);
  // Copies the long values `row` keeps outside itself; returns the row with
  // its pointers to them changed (in `scratch`), or `row` when it has none.
  ByteSpan copyLongValues(ByteSpan row, Binary& scratch);
  // The text of Text field `column` in `row` as UTF-16; false when NULL.
  bool storedText(ByteSpan row, const ColumnDef& column, std::u16string& out) const;

  const PageFile& source_;
  PageFile& target_;
  const TableDef& from_;
  const TableDef& to_;
  std::unique_ptr<TableDef> keyTable_;  // `to` with only the fields the keys and the counter need
  std::unique_ptr<RowDecoder> keyDecoder_;
  std::vector<std::unique_ptr<IndexBuild>> indexes_;
  std::vector<uint16_t> longValueColumns_;  // positions in to_.columns
  int autoNumberPosition_ = -1;             // in keyTable_->columns
  uint32_t largestAutoNumber_ = 0;
  uint32_t page_ = 0;                            // data page taking rows
  std::map<uint16_t, uint32_t> longValuePage_;  // per Memo/OLE field: LVAL page taking rows
  uint32_t rows_ = 0;
  std::vector<Value> keyRow_;
  Bytes key_;
  Binary rowCopy_;
  Bytes withVarArea_;
  size_t firstVariableColumn_;
  std::u16string text_;
  std::unique_ptr<RowBatchWorker> keyWorker_;  // last: stopped before what it uses goes
};

}  // namespace kevra
