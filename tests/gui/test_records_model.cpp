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

  void opensWithOneBlockAndGrowsAsAsked() {
    RecordsModel model(nullptr, 100, 4);
    model.setDataSet(&dataset);
    QCOMPARE(model.columnCount(), 10);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("id"));
    QCOMPARE(model.rowCount(), 100);
    QVERIFY(model.canFetchMore());
    model.fetchMore();
    QCOMPARE(model.rowCount(), 200);
  }

  void scrollsToTheEndInBoundedMemory() {
    RecordsModel model(nullptr, 1000, 4);
    model.setDataSet(&dataset);
    const QString firstId = cell(model, 0, 0);
    const QString firstName = cell(model, 0, 1);
    QVERIFY(!firstName.isEmpty());
    int rounds = 0;
    while (model.canFetchMore()) {
      model.fetchMore();
      QVERIFY(model.cachedBlockCount() <= 4);
      ++rounds;
    }
    QCOMPARE(model.rowCount(), 100000);
    QCOMPARE(rounds, 100);  // 99 full blocks and one empty read past the end
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
