// RecordsModel: the data link between the records dataset and the grid. Rows
// are read lazily in blocks of rows, and only a bounded number of blocks is
// kept, least recently used first out, so a table of any size opens at once
// and scrolls in bounded memory. A whole table reports the row count its
// definition stores from the start, and any block is read when it is shown,
// so the end or the middle of a million rows is one jump away. Other results
// (sorted, filtered, queries) are counted once, a slice at a time on the
// event loop so the window stays responsive, and their rows grow to the count
// as it is known; scrolling past the rows counted so far reads on block by
// block (canFetchMore/fetchMore).
//
// Editing works as in a data-aware grid: changing a cell puts its row in edit
// mode, and the row's pending values live here until post() writes them in one
// engine transaction or cancelEdit() drops them. startInsert() adds a pending
// new row after the last row; until a field of it is typed into, it shows the
// field's default value ("(New)" for an autonumber), and a field left so is
// stored with its default. At most one row is pending at a time; while one
// is, the other rows take no changes. A write changes the model in place: the
// written row is read again, an added or deleted row moves the rows after it,
// and the cached blocks before it stay as they are; nothing is counted again.
#pragma once
#include <QAbstractTableModel>
#include <QTimer>
#include <list>
#include <optional>
#include <unordered_map>
#include <vector>

#include "browse/field_display.h"
#include "database/recordset.h"
#include "engine/format/value.h"

namespace kevra::browse {

class RecordsDataset;

class RecordsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr long kDefaultBlockRows = 128;
  static constexpr int kDefaultCachedBlocks = 64;
  // Counting a result: rows asked for per step, and how long one slice of
  // steps may hold the event loop.
  static constexpr long kCountStepRows = 1024;
  static constexpr int kCountSliceMs = 20;
  // data() for this role gives the field's DataTypeEnum code (int).
  static constexpr int FieldTypeRole = Qt::UserRole + 1;
  // data() for this role: true when the cell holds NULL (and is not a
  // Yes/No field, which has no NULL), so it can be shown apart from empty text.
  static constexpr int IsNullRole = Qt::UserRole + 2;
  // data() for this role: the address a hyperlink cell opens ("" for none).
  static constexpr int HyperlinkRole = Qt::UserRole + 3;

  explicit RecordsModel(QObject* parent = nullptr, long blockRows = kDefaultBlockRows,
                        int cachedBlocks = kDefaultCachedBlocks);
  ~RecordsModel() override;

  // The dataset shown; the model follows its opening and closing. The model
  // must be detached (nullptr) or destroyed before the dataset goes.
  void setDataSet(RecordsDataset* dataset);
  // A disabled link shows nothing, whatever the dataset's state.
  void setEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  // How fields are shown (their Format, hyperlinks), by field name; fields
  // not named show their plain values. Kept across reopening the dataset.
  void setFieldDisplays(QHash<QString, FieldDisplay> displays);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  bool canFetchMore(const QModelIndex& parent = {}) const override;
  void fetchMore(const QModelIndex& parent = {}) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Stores a cell's new value among the row's pending values (EditRole; for
  // Yes/No fields also CheckStateRole). Refused (false) for a cell that cannot
  // be edited and while another row is pending.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  // Stores `value` as the cell's new value as it is, with no conversion from
  // an editor's text: NULL, or an empty text that an editor would make NULL,
  // or the bytes of an OLE or binary cell (which takes no text). Refused as
  // setData() is.
  bool setValue(const QModelIndex& index, kevra::Value value);

  long blockRows() const { return blockRows_; }
  const QStringList& fieldNames() const { return fieldNames_; }
  // The value the cell at `row`, `column` holds (a pending value included);
  // null when there is none to show.
  const kevra::Value* storedValue(int row, int column) const { return valueAt(row, column); }
  // The stored rows shown are all there are (a pending new row aside): the
  // count is known, not just the rows read so far.
  bool rowCountFinal() const { return storedCountKnown_ || atEnd_; }
  // A write changes no other row's place: the rows are a whole table in
  // stored order (not sorted, not filtered).
  bool followsChangesInPlace() const { return storedCountKnown_; }
  // The stored rows: the rows shown without a pending new row.
  long storedRowCount() const { return fetchedRows_; }

  // Rows can be changed: the link shows an editable dataset of a writable file.
  bool canModify() const { return canModify_; }
  bool editing() const { return pending_.has_value(); }
  bool inserting() const { return pending_ && pending_->inserting; }
  int editRow() const { return pending_ ? pending_->row : -1; }
  // Adds a pending new row after the last row and returns its row. Rows read
  // later (a sorted or filtered view growing) come before it, so it stays
  // the last. Throws when rows cannot be changed or a row is pending.
  int startInsert();
  // Writes the pending row (update, or insert for a new row) and returns the
  // row it now has (a new row takes its stored place); -1 when nothing was
  // pending. Throws the engine's error with the pending values kept.
  int post();
  // Drops the pending values; a pending new row disappears.
  void cancelEdit();
  // Deletes the row shown at `row`; returns the row to show as current
  // afterwards (-1 when none is left). Deleting the pending
  // new row just drops it; pending values of the deleted row are dropped.
  // Throws the engine's error with nothing changed.
  int deleteRecord(int row);
  // What posting the pending row (an update; a new row cascades nowhere) or
  // deleting the row shown at `row` would do to related rows of other
  // tables through cascading relationships. Throws the refusal the write
  // itself would give.
  std::vector<kevra::db::Recordset::CascadeCount> cascadeOfPost() const;
  std::vector<kevra::db::Recordset::CascadeCount> cascadeOfDelete(int row) const;
  // Dataset position of the row shown at `row`; -1 for a pending new row.
  long positionOf(int row) const;
  // Row shown for dataset position `position` (the inverse of positionOf).
  int rowOf(long position) const;
  // True when the pending row has any value set by an edit.
  bool modified() const;

 signals:
  // Reading the next block failed; the model shows what it had.
  void fetchFailed(const QString& message);
  // A row entered or left edit mode, or rows could (no longer) be changed.
  void editStateChanged();
  // Counting the rows of a result went a step further or reached its end.
  void countChanged();

 public:
  int cachedBlockCount() const { return int(cache_.size()); }

 private:
  using Row = std::vector<kevra::Value>;
  struct Block {
    long number;
    std::vector<Row> rows;
  };
  struct PendingRow {
    int row;
    bool inserting;
    std::vector<std::optional<kevra::Value>> values;  // nullopt: untouched (new rows only)
    bool modified = false;
    // A new row's fields before they are typed into.
    std::vector<kevra::Value> defaults;
    std::vector<bool> autoNumber;
  };
  // An untouched field of a pending new row that the engine numbers.
  bool showsNewNumber(int row, int column) const;
  bool showing() const;
  void reload();
  // After a write the dataset followed in place.
  void storedRowChanged(long position);
  void storedRowAdded(long position);
  void storedRowRemoved(long position);
  void forgetBlocksFrom(long position);
  // One slice of counting the result's rows; schedules the next while rows
  // remain uncounted.
  void countSlice();
  // Shows rows up to `rows` (before a pending new row), read when shown.
  void growTo(long rows);
  // The table turned out to end at `end`, before the rows shown.
  void endRowsAt(long end);
  // After a write that ran the dataset's statement again.
  void refetch();
  const kevra::Value* valueAt(int row, int column) const;
  int fieldType(int column) const;
  const Block* block(long number) const;
  const Block& store(long number, std::vector<Row> rows) const;

  RecordsDataset* dataset_ = nullptr;
  bool enabled_ = true;
  long blockRows_;
  int cachedBlocks_;
  QStringList fieldNames_;
  QHash<QString, FieldDisplay> fieldDisplays_;
  std::vector<int> fieldTypes_;
  bool canModify_ = false;
  std::optional<PendingRow> pending_;
  long fetchedRows_ = 0;
  bool atEnd_ = true;
  bool storedCountKnown_ = false;
  QTimer countTimer_;
  // Most recently used block first.
  mutable std::list<Block> cache_;
  mutable std::unordered_map<long, std::list<Block>::iterator> cacheIndex_;
};

}  // namespace kevra::browse
