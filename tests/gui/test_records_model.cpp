// The records model over a 100,000-row table: lazy block fetching, a bounded
// block cache that reads evicted blocks back correctly, and the data link.
#include <QtTest>

#include "browse/records_dataset.h"
#include "browse/records_model.h"
#include "ui/database_session.h"

using kevra::browse::RecordsDataset;
using kevra::browse::RecordsModel;

class RecordsModelTest : public QObject {
  Q_OBJECT
  RecordsDataset dataset;

  QString cell(const RecordsModel& model, int row, int column) { return model.index(row, column).data().toString(); }

 private slots:
  void initTestCase() {
    dataset.setConnectionString(kevra::ui::kJetConnectionPrefix + KEVRA_SHARED_DIR "/samples/bench/medium.mdb");
    dataset.setCommandText("select * from [Customers]");
    dataset.Open();
  }

  void opensWithEveryRowCountedAndReadsBlocksWhenShown() {
    RecordsModel model(nullptr, 100, 4);
    model.setDataSet(&dataset);
    QCOMPARE(model.columnCount(), 10);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("id"));
    // The stored count, with only the first block read.
    QCOMPARE(model.rowCount(), 100000);
    QCOMPARE(model.cachedBlockCount(), 1);
    // The last row is one read away, the first screen stays one block.
    QVERIFY(!cell(model, 99999, 0).isEmpty());
    QCOMPARE(model.cachedBlockCount(), 2);
    QCOMPARE(model.headerData(99999, Qt::Vertical).toLongLong(), 100000LL);
    // Reaching the end confirms it: nothing lies beyond.
    QVERIFY(model.canFetchMore());
    model.fetchMore();
    QVERIFY(!model.canFetchMore());
    QCOMPARE(model.rowCount(), 100000);
  }

  void sortedRowsGrowAsAsked() {
    RecordsDataset sorted;
    sorted.setConnectionString(dataset.ConnectionString());
    sorted.setCommandText("select * from [Customers] order by [id] desc");
    sorted.Open();
    RecordsModel model(nullptr, 100, 4);
    model.setDataSet(&sorted);
    QCOMPARE(model.rowCount(), 100);
    QVERIFY(model.canFetchMore());
    model.fetchMore();
    QCOMPARE(model.rowCount(), 200);
    model.setDataSet(nullptr);
  }

  void scrollsToTheEndInBoundedMemory() {
    RecordsModel model(nullptr, 1000, 4);
    model.setDataSet(&dataset);
    const QString firstId = cell(model, 0, 0);
    const QString firstName = cell(model, 0, 1);
    QVERIFY(!firstName.isEmpty());
    // Every block in turn, as a scroll to the end paints them.
    for (int row = 0; row < model.rowCount(); row += 1000) {
      QVERIFY(!cell(model, row, 0).isEmpty());
      QVERIFY(model.cachedBlockCount() <= 4);
    }
    QCOMPARE(model.rowCount(), 100000);
    QVERIFY(!cell(model, 99999, 0).isEmpty());
    QVERIFY(cell(model, 100000, 0).isEmpty());
    // The first block was evicted long ago and reads back the same.
    QCOMPARE(cell(model, 0, 0), firstId);
    QCOMPARE(cell(model, 0, 1), firstName);
    QVERIFY(model.cachedBlockCount() <= 4);
    // Random access across blocks agrees with sequential reading.
    const QString middle = cell(model, 54321, 1);
    cell(model, 123, 1);
    cell(model, 98765, 1);
    QCOMPARE(cell(model, 54321, 1), middle);
  }

  void disabledLinkOrClosedDatasetShowsNothing() {
    RecordsModel model;
    model.setDataSet(&dataset);
    QVERIFY(model.rowCount() > 0);
    model.setEnabled(false);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
    QVERIFY(!model.canFetchMore());
    model.setEnabled(true);
    QVERIFY(model.rowCount() > 0);

    RecordsDataset other;
    other.setConnectionString(kevra::ui::kJetConnectionPrefix + KEVRA_SHARED_DIR "/samples/testv2000.mdb");
    other.setCommandText("select * from [Table1]");
    model.setDataSet(&other);
    QCOMPARE(model.rowCount(), 0);
    other.Open();
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 9);
    QVERIFY(!model.canFetchMore());
    other.Close();
    QCOMPARE(model.rowCount(), 0);
    model.setDataSet(nullptr);
  }
};

QTEST_APPLESS_MAIN(RecordsModelTest)
#include "test_records_model.moc"
