// Block fetching and the block cache of the records model.
#include "browse/records_model.h"

#include <variant>

#include "browse/records_dataset.h"
#include "database/properties.h"

namespace kevra::browse {

RecordsModel::RecordsModel(QObject* parent, long blockRows, int cachedBlocks)
    : QAbstractTableModel(parent), blockRows_(blockRows > 0 ? blockRows : 1),
      cachedBlocks_(cachedBlocks > 1 ? cachedBlocks : 2) {}

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
  beginResetModel();
  cache_.clear();
  cacheIndex_.clear();
  fieldNames_.clear();
  fetchedRows_ = 0;
  atEnd_ = true;
  if (showing()) {
    const auto& rows = dataset_->rows();
    for (int field = 0; field < rows.fieldCount(); ++field)
      fieldNames_ << QString::fromStdString(rows.fieldName(field));
    atEnd_ = false;
  }
  endResetModel();
  fetchMore();  // the first block at once: the first screen needs no event round
}

int RecordsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !showing() ? 0 : int(fetchedRows_);
}

int RecordsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !showing() ? 0 : int(fieldNames_.size());
}

QVariant RecordsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return section >= 0 && section < fieldNames_.size() ? fieldNames_[section] : QVariant();
  return section + 1;
}

bool RecordsModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && showing() && !atEnd_; }

void RecordsModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  std::vector<Row> rows;
  const long number = fetchedRows_ / blockRows_;
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
  if (read <= 0) return;
  store(number, std::move(rows));
  beginInsertRows({}, int(fetchedRows_), int(fetchedRows_ + read - 1));
  fetchedRows_ += read;
  endInsertRows();
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
  return &store(number, std::move(rows));
}

const RecordsModel::Block& RecordsModel::store(long number, std::vector<Row> rows) const {
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

QVariant RecordsModel::data(const QModelIndex& index, int role) const {
  if ((role != Qt::DisplayRole && role != Qt::TextAlignmentRole) || !index.isValid() || !showing() ||
      index.row() >= fetchedRows_)
    return {};
  const Block* rows = block(index.row() / blockRows_);
  if (!rows) return {};
  const size_t inBlock = size_t(index.row() % blockRows_);
  if (inBlock >= rows->rows.size() || size_t(index.column()) >= rows->rows[inBlock].size()) return {};
  const kevra::Value& value = rows->rows[inBlock][size_t(index.column())];
  if (role == Qt::TextAlignmentRole)
    return isNumber(value) ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  return QString::fromStdString(kevra::db::propertyText(value));
}

}  // namespace kevra::browse
