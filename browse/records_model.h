// RecordsModel: the data link between the records dataset and the grid. Rows
// are fetched lazily in blocks as the view scrolls (canFetchMore/fetchMore),
// and only a bounded number of blocks is kept, least recently used first out,
// so a table of any size opens at once and scrolls in bounded memory.
#pragma once
#include <QAbstractTableModel>
#include <list>
#include <unordered_map>
#include <vector>

#include "engine/format/value.h"

namespace kevra::browse {

class RecordsDataset;

class RecordsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr long kDefaultBlockRows = 128;
  static constexpr int kDefaultCachedBlocks = 64;

  explicit RecordsModel(QObject* parent = nullptr, long blockRows = kDefaultBlockRows,
                        int cachedBlocks = kDefaultCachedBlocks);
  ~RecordsModel() override;

  // The dataset shown; the model follows its opening and closing. The model
  // must be detached (nullptr) or destroyed before the dataset goes.
  void setDataSet(RecordsDataset* dataset);
  // A disabled link shows nothing, whatever the dataset's state.
  void setEnabled(bool enabled);
  bool Enabled() const { return enabled_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  bool canFetchMore(const QModelIndex& parent = {}) const override;
  void fetchMore(const QModelIndex& parent = {}) override;

  long blockRows() const { return blockRows_; }
 signals:
  // Reading the next block failed; the model shows what it had.
  void fetchFailed(const QString& message);

 public:
  int cachedBlockCount() const { return int(cache_.size()); }

 private:
  using Row = std::vector<kevra::Value>;
  struct Block {
    long number;
    std::vector<Row> rows;
  };
  bool showing() const;
  void reload();
  const Block* block(long number) const;
  const Block& store(long number, std::vector<Row> rows) const;

  RecordsDataset* dataset_ = nullptr;
  bool enabled_ = true;
  long blockRows_;
  int cachedBlocks_;
  QStringList fieldNames_;
  long fetchedRows_ = 0;
  bool atEnd_ = true;
  // Most recently used block first.
  mutable std::list<Block> cache_;
  mutable std::unordered_map<long, std::list<Block>::iterator> cacheIndex_;
};

}  // namespace kevra::browse
