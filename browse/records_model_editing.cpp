// Row editing in the records model: pending values, post, cancel, insert and
// delete, and bringing the shown rows up to date after a write.
#include <algorithm>

#include "browse/records_dataset.h"
#include "browse/records_model.h"
#include "browse/records_values.h"
#include "database/ado_types.h"
#include <stdexcept>

namespace kevra::browse {

namespace {
// OLE and binary values are not edited in a cell.
bool cellEditable(int fieldType) {
  return fieldType != kevra::db::adLongVarBinary && fieldType != kevra::db::adVarBinary &&
         fieldType != kevra::db::adBinary;
}
}  // namespace

long RecordsModel::positionOf(int row) const {
  if (pending_ && pending_->inserting) {
    if (row == pending_->row) return -1;
    if (row > pending_->row) return row - 1;
  }
  return row;
}

int RecordsModel::rowOf(long position) const {
  if (pending_ && pending_->inserting && position >= pending_->row) return int(position + 1);
  return int(position);
}

bool RecordsModel::modified() const { return pending_ && pending_->modified; }

Qt::ItemFlags RecordsModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (!index.isValid() || !canModify_ || !cellEditable(fieldType(index.column()))) return flags;
  flags |= Qt::ItemIsEditable;
  if (fieldType(index.column()) == kevra::db::adBoolean) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

bool RecordsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid()) return false;
  const int type = fieldType(index.column());
  if (role == Qt::CheckStateRole && type == kevra::db::adBoolean)
    return setValue(index, Qt::CheckState(value.toInt()) == Qt::Checked);
  if (role == Qt::EditRole) return setValue(index, valueFromEditor(value, type));
  return false;
}

bool RecordsModel::setValue(const QModelIndex& index, kevra::Value newValue) {
  if (!index.isValid() || index.row() >= rowCount()) return false;
  // OLE and binary cells take bytes (from a file), never an editor's text.
  const bool bytesForBinary = canModify_ && !cellEditable(fieldType(index.column())) &&
                              (std::holds_alternative<kevra::Binary>(newValue) || kevra::isNull(newValue));
  if (!(flags(index) & Qt::ItemIsEditable) && !bytesForBinary) return false;
  if (fieldType(index.column()) == kevra::db::adBoolean && kevra::isNull(newValue)) newValue = false;
  if (pending_ && pending_->row != index.row()) return false;

  if (!pending_) {
    // Edit mode starts from the row as it is stored.
    const long position = positionOf(index.row());
    std::vector<std::vector<kevra::Value>> rows;
    try {
      if (dataset_->rows().fetch(position, 1, rows) != 1) return false;
    } catch (const std::exception& error) {
      emit fetchFailed(QString::fromUtf8(error.what()));
      return false;
    }
    PendingRow row{index.row(), false, {}, false, {}, {}};
    for (auto& v : rows.front()) row.values.emplace_back(std::move(v));
    pending_ = std::move(row);
    emit headerDataChanged(Qt::Vertical, index.row(), index.row());
    emit editStateChanged();
  }
  pending_->values[size_t(index.column())] = std::move(newValue);
  const bool wasModified = pending_->modified;
  pending_->modified = true;
  emit dataChanged(index, index);
  if (!wasModified) emit editStateChanged();
  return true;
}

bool RecordsModel::showsNewNumber(int row, int column) const {
  return pending_ && pending_->inserting && pending_->row == row && size_t(column) < pending_->autoNumber.size() &&
         pending_->autoNumber[size_t(column)] && !pending_->values[size_t(column)];
}

int RecordsModel::startInsert() {
  if (!canModify_) throw std::runtime_error("These rows cannot be changed.");
  if (pending_) throw std::runtime_error("Post or cancel the row being edited first.");
  PendingRow pending{int(fetchedRows_), true, std::vector<std::optional<kevra::Value>>(fieldNames_.size()), false,
                     {}, {}};
  // The defaults are read before the row appears, so a refusal adds nothing.
  for (const auto& field : dataset_->rows().newRowFields()) {
    pending.defaults.push_back(field.defaultValue);
    pending.autoNumber.push_back(field.autoNumber);
  }
  pending.defaults.resize(fieldNames_.size());
  pending.autoNumber.resize(fieldNames_.size());
  const int row = pending.row;
  beginInsertRows({}, row, row);
  pending_ = std::move(pending);
  endInsertRows();
  emit editStateChanged();
  return row;
}

int RecordsModel::post() {
  if (!pending_) return -1;
  kevra::db::Recordset& rows = dataset_->rows();
  if (pending_->inserting) {
    const long position = rows.insertRow(pending_->values);
    // The new row leaves the place it was typed in and takes its stored place.
    const int typedAt = pending_->row;
    beginRemoveRows({}, typedAt, typedAt);
    pending_.reset();
    endRemoveRows();
    if (rows.followedLastChange())
      storedRowAdded(position);
    else
      refetch();
    emit editStateChanged();
    return rowOf(position);
  }
  std::vector<kevra::Value> values;
  values.reserve(pending_->values.size());
  for (const auto& v : pending_->values) values.push_back(v.value_or(kevra::Value{}));
  const int row = pending_->row;
  const long position = positionOf(row);
  rows.updateRow(position, values);
  pending_.reset();
  if (rows.followedLastChange())
    storedRowChanged(position);
  else
    refetch();
  emit editStateChanged();
  return rowOf(position);
}

std::vector<kevra::db::Recordset::CascadeCount> RecordsModel::cascadeOfPost() const {
  if (!pending_ || pending_->inserting) return {};
  std::vector<kevra::Value> values;
  for (const auto& v : pending_->values) values.push_back(v.value_or(kevra::Value{}));
  return dataset_->rows().cascadeEffects(positionOf(pending_->row), &values);
}

std::vector<kevra::db::Recordset::CascadeCount> RecordsModel::cascadeOfDelete(int row) const {
  if (row < 0 || row >= rowCount() || positionOf(row) < 0) return {};
  return dataset_->rows().cascadeEffects(positionOf(row), nullptr);
}

void RecordsModel::cancelEdit() {
  if (!pending_) return;
  const int row = pending_->row;
  if (pending_->inserting) {
    beginRemoveRows({}, row, row);
    pending_.reset();
    endRemoveRows();
  } else {
    pending_.reset();
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
  }
  emit editStateChanged();
}

int RecordsModel::deleteRecord(int row) {
  if (!canModify_) throw std::runtime_error("These rows cannot be changed.");
  if (row < 0 || row >= rowCount()) throw std::runtime_error("There is no record to delete.");
  if (pending_ && pending_->row != row) throw std::runtime_error("Post or cancel the row being edited first.");
  if (pending_ && pending_->inserting) {
    cancelEdit();
    return std::min(row, rowCount() - 1);
  }
  const long position = positionOf(row);
  kevra::db::Recordset& rows = dataset_->rows();
  rows.deleteRow(position);
  pending_.reset();  // pending values of the deleted row go with it
  if (rows.followedLastChange())
    storedRowRemoved(position);
  else
    refetch();
  emit editStateChanged();
  return std::min(row, rowCount() - 1);
}

void RecordsModel::storedRowChanged(long position) {
  // Only this row changed: it is read again into its block. Should that read
  // fail, the block is dropped and read again when shown.
  const auto found = cacheIndex_.find(position / blockRows_);
  if (found != cacheIndex_.end()) {
    std::vector<Row>& cached = found->second->rows;
    const size_t inBlock = size_t(position % blockRows_);
    std::vector<Row> fresh;
    bool read = false;
    try {
      read = inBlock < cached.size() && dataset_->rows().fetch(position, 1, fresh) == 1;
    } catch (const std::exception&) {
      read = false;
    }
    if (read)
      cached[inBlock] = std::move(fresh.front());
    else
      forgetBlocksFrom(position);
  }
  const int row = rowOf(position);
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
  emit headerDataChanged(Qt::Vertical, row, row);
}

void RecordsModel::storedRowAdded(long position) {
  forgetBlocksFrom(position);
  if (position < fetchedRows_ || atEnd_) {
    beginInsertRows({}, int(position), int(position));
    ++fetchedRows_;
  } else {
    // Stored past the rows read so far: they reach up to it now, the ones
    // between read when shown.
    beginInsertRows({}, int(fetchedRows_), int(position));
    fetchedRows_ = position + 1;
  }
  endInsertRows();
}

void RecordsModel::storedRowRemoved(long position) {
  forgetBlocksFrom(position);
  beginRemoveRows({}, int(position), int(position));
  --fetchedRows_;
  endRemoveRows();
}

void RecordsModel::forgetBlocksFrom(long position) {
  // Blocks before the change keep their rows; the rest are read again.
  const long first = position / blockRows_;
  for (auto it = cache_.begin(); it != cache_.end();) {
    if (it->number >= first) {
      cacheIndex_.erase(it->number);
      it = cache_.erase(it);
    } else {
      ++it;
    }
  }
}

void RecordsModel::refetch() {
  // The statement ran again and rows may have moved anywhere: the cached
  // blocks go, and the count the statement gives is the rows shown, each
  // block read again when shown.
  countTimer_.stop();
  beginResetModel();
  cache_.clear();
  cacheIndex_.clear();
  long total = 0;
  try {
    total = dataset_->rows().recordCount();
  } catch (const std::exception& error) {
    fetchedRows_ = 0;
    atEnd_ = true;
    endResetModel();
    emit fetchFailed(QString::fromUtf8(error.what()));
    return;
  }
  fetchedRows_ = total;
  atEnd_ = true;
  endResetModel();
  emit countChanged();
}

}  // namespace kevra::browse
