// Block fetching and the block cache of the records model.
#include "browse/records_model.h"

#include <QElapsedTimer>
#include <variant>

#include "browse/records_dataset.h"
#include "browse/records_values.h"
#include "database/ado_types.h"
#include "database/properties.h"

namespace kevra::browse {

RecordsModel::RecordsModel(QObject* parent, long blockRows, int cachedBlocks)
    : QAbstractTableModel(parent), blockRows_(blockRows > 0 ? blockRows : 1),
      cachedBlocks_(cachedBlocks > 1 ? cachedBlocks : 2) {
  countTimer_.setSingleShot(true);
  countTimer_.setInterval(0);
  connect(&countTimer_, &QTimer::timeout, this, &RecordsModel::countSlice);
}

RecordsModel::~RecordsModel() {
  if (dataset_) dataset_->setStateListener(nullptr);
}

void RecordsModel::setDataSet(RecordsDataset* dataset) {
  if (dataset_) dataset_->setStateListener(nullptr);
  dataset_ = dataset;
  if (dataset_) dataset_->setStateListener([this] { reload(); });
  reload();
}

void RecordsModel::setEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  reload();
}

bool RecordsModel::showing() const { return enabled_ && dataset_ && dataset_->Active(); }

void RecordsModel::reload() {
  const bool wasEditing = editing() || canModify_;
  countTimer_.stop();
  beginResetModel();
  cache_.clear();
  cacheIndex_.clear();
  fieldNames_.clear();
  fieldTypes_.clear();
  pending_.reset();  // a dataset closed or reopened under an edit drops it
  canModify_ = false;
  fetchedRows_ = 0;
  atEnd_ = true;
  storedCountKnown_ = false;
  if (showing()) {
    const auto& rows = dataset_->rows();
    for (int field = 0; field < rows.fieldCount(); ++field) {
      fieldNames_ << QString::fromStdString(rows.fieldName(field));
      fieldTypes_.push_back(rows.fieldType(field));
    }
    canModify_ = dataset_->CanModify();
    atEnd_ = false;
    // A whole table announces its stored row count: every row is there at
    // once for the scrollbar and Ctrl+End, each block read when shown. The
    // rows past that count, should the file hold more, are read as the view
    // reaches the end.
    if (const std::optional<long> stored = rows.storedRowCount()) {
      fetchedRows_ = *stored;
      storedCountKnown_ = true;
    } else if (const std::optional<long> known = rows.knownRowCount()) {
      // Sorted by an index that holds every row: the count is the table's,
      // and the last rows are read from the index's end.
      fetchedRows_ = *known;
      atEnd_ = true;
    }
  }
  endResetModel();
  // The first block at once: the first screen needs no event round.
  if (fetchedRows_ == 0) {
    fetchMore();
  } else if (const Block* first = block(0); first && long(first->rows.size()) < blockRows_) {
    // A short table is read whole here, which settles its count.
    const long end = long(first->rows.size());
    if (end < fetchedRows_) {
      endRowsAt(end);
    } else if (end > fetchedRows_) {
      beginInsertRows({}, int(fetchedRows_), int(end - 1));
      fetchedRows_ = end;
      endInsertRows();
    }
    atEnd_ = true;
  }
  // Any other result is counted in slices, so Ctrl+End, the scrollbar and
  // the status bar reach its real end.
  if (showing() && !atEnd_ && !storedCountKnown_) countTimer_.start();
  if (wasEditing || canModify_) emit editStateChanged();
}

void RecordsModel::setFieldDisplays(QHash<QString, FieldDisplay> displays) {
  fieldDisplays_ = std::move(displays);
  if (rowCount() > 0 && columnCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void RecordsModel::countSlice() {
  if (!showing() || atEnd_ || storedCountKnown_) return;
  QElapsedTimer clock;
  clock.start();
  long counted = fetchedRows_;
  bool complete = false;
  try {
    do {
      const long target = counted + kCountStepRows;
      counted = dataset_->rows().countUpTo(target);
      complete = counted < target;
    } while (!complete && clock.elapsed() < kCountSliceMs);
  } catch (const std::exception& error) {
    atEnd_ = true;
    emit fetchFailed(QString::fromUtf8(error.what()));
    emit countChanged();
    return;
  }
  growTo(counted);
  if (complete) {
    atEnd_ = true;
  } else {
    countTimer_.start();
  }
  emit countChanged();
}

void RecordsModel::growTo(long rows) {
  if (rows <= fetchedRows_) return;
  // Before a pending new row, which stays the last.
  beginInsertRows({}, int(fetchedRows_), int(rows - 1));
  if (inserting()) pending_->row += int(rows - fetchedRows_);
  fetchedRows_ = rows;
  endInsertRows();
}

int RecordsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !showing() ? 0 : int(fetchedRows_) + (inserting() ? 1 : 0);
}

int RecordsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !showing() ? 0 : int(fieldNames_.size());
}

QVariant RecordsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return section >= 0 && section < fieldNames_.size() ? fieldNames_[section] : QVariant();
  // The row being edited is marked, a pending new row shows "*".
  if (pending_ && section == pending_->row)
    return pending_->inserting ? QStringLiteral("*") : QString::number(section + 1) + QStringLiteral(" \u270E");
  return qlonglong(positionOf(section) + 1);  // rows keep their numbers around a pending new row
}

bool RecordsModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && showing() && !atEnd_; }

void RecordsModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  // The whole block holding the next row is read and kept; rows of it already
  // shown (after a row was added or removed) are not added again.
  std::vector<Row> rows;
  const long number = fetchedRows_ / blockRows_;
  const long shown = fetchedRows_ % blockRows_;
  long read = 0;
  try {
    read = dataset_->rows().fetch(number * blockRows_, blockRows_, rows);
  } catch (const std::exception& error) {
    // The view asked; nobody up the stack can take an exception here.
    atEnd_ = true;
    emit fetchFailed(QString::fromUtf8(error.what()));
    return;
  }
  rows.resize(size_t(std::max(read, 0L)));
  if (read < blockRows_) atEnd_ = true;
  if (read > 0) store(number, std::move(rows));
  const long added = read - shown;
  if (added > 0) growTo(fetchedRows_ + added);
  if (atEnd_) {
    countTimer_.stop();
    emit countChanged();
  }
}

const RecordsModel::Block* RecordsModel::block(long number) const {
  const auto found = cacheIndex_.find(number);
  if (found != cacheIndex_.end()) {
    cache_.splice(cache_.begin(), cache_, found->second);
    return &cache_.front();
  }
  if (!showing()) return nullptr;
  std::vector<Row> rows;
  long read = 0;
  try {
    read = dataset_->rows().fetch(number * blockRows_, blockRows_, rows);
  } catch (const std::exception&) {
    return nullptr;  // painting goes on with empty cells; fetchMore reports failures
  }
  rows.resize(size_t(std::max(read, 0L)));
  const long end = number * blockRows_ + std::max(read, 0L);
  if (read < blockRows_ && end < fetchedRows_) {
    // The file holds fewer rows than its table definition counts: the rows
    // shown end where the table does, once painting is over.
    QMetaObject::invokeMethod(
        const_cast<RecordsModel*>(this), [model = const_cast<RecordsModel*>(this), end] { model->endRowsAt(end); },
        Qt::QueuedConnection);
  }
  return &store(number, std::move(rows));
}

void RecordsModel::endRowsAt(long end) {
  if (!showing() || pending_ || end >= fetchedRows_) return;
  beginRemoveRows({}, int(end), int(fetchedRows_ - 1));
  fetchedRows_ = end;
  atEnd_ = true;
  endRemoveRows();
}

const RecordsModel::Block& RecordsModel::store(long number, std::vector<Row> rows) const {
  if (const auto old = cacheIndex_.find(number); old != cacheIndex_.end()) cache_.erase(old->second);
  cache_.push_front(Block{number, std::move(rows)});
  cacheIndex_[number] = cache_.begin();
  while (int(cache_.size()) > cachedBlocks_) {
    cacheIndex_.erase(cache_.back().number);
    cache_.pop_back();
  }
  return cache_.front();
}

namespace {
// Numbers line up on the right, as in a spreadsheet.
bool isNumber(const kevra::Value& value) {
  return std::visit(
      [](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        return (std::is_arithmetic_v<T> && !std::is_same_v<T, bool>) || std::is_same_v<T, kevra::Currency> ||
               std::is_same_v<T, kevra::Decimal>;
      },
      value);
}
}  // namespace

const kevra::Value* RecordsModel::valueAt(int row, int column) const {
  static const kevra::Value kNull;
  if (row < 0 || column < 0 || column >= int(fieldNames_.size()) || row >= rowCount()) return nullptr;
  if (pending_ && pending_->row == row) {
    const auto& value = pending_->values[size_t(column)];
    if (value) return &*value;
    // An untouched field of a new row shows what it will be stored with.
    return size_t(column) < pending_->defaults.size() ? &pending_->defaults[size_t(column)] : &kNull;
  }
  const long position = positionOf(row);
  const Block* rows = block(position / blockRows_);
  if (!rows) return nullptr;
  const size_t inBlock = size_t(position % blockRows_);
  if (inBlock >= rows->rows.size() || size_t(column) >= rows->rows[inBlock].size()) return nullptr;
  return &rows->rows[inBlock][size_t(column)];
}

int RecordsModel::fieldType(int column) const {
  return column >= 0 && size_t(column) < fieldTypes_.size() ? fieldTypes_[size_t(column)] : 0;
}

QVariant RecordsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !showing()) return {};
  const int type = fieldType(index.column());
  if (role == FieldTypeRole) return type;
  if (role == IsNullRole) {
    const kevra::Value* value = valueAt(index.row(), index.column());
    return value && kevra::isNull(*value) && type != kevra::db::adBoolean &&
           !showsNewNumber(index.row(), index.column());
  }
  if (role != Qt::DisplayRole && role != Qt::TextAlignmentRole && role != Qt::EditRole && role != Qt::CheckStateRole &&
      role != HyperlinkRole)
    return {};
  const kevra::Value* value = valueAt(index.row(), index.column());
  if (!value) return {};
  const auto display = fieldDisplays_.constFind(fieldNames_.value(index.column()));
  switch (role) {
    case Qt::TextAlignmentRole:
      if (type == kevra::db::adBoolean) return QVariant(Qt::AlignCenter);
      return isNumber(*value) ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::CheckStateRole:
      if (type != kevra::db::adBoolean) return {};
      return std::holds_alternative<bool>(*value) && std::get<bool>(*value) ? Qt::Checked : Qt::Unchecked;
    case Qt::EditRole:
      return editText(*value, type);
    case HyperlinkRole:
      return display != fieldDisplays_.constEnd() && display->hyperlink ? hyperlinkAddress(*value) : QString();
    default:
      if (showsNewNumber(index.row(), index.column())) return QStringLiteral("(New)");
      return display != fieldDisplays_.constEnd() ? shownText(*value, type, *display) : displayText(*value, type);
  }
}

}  // namespace kevra::browse
