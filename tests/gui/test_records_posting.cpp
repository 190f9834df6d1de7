// Posting in the records model. On whole rows of a 100,000-row table a write
// changes the model in place: no reset, the count moved by one for an added
// or deleted row, and what the model shows afterwards agrees cell for cell
// with a fresh read of the file. A sorted view cannot follow a write in place
// and is read again.
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "browse/records_dataset.h"
#include "browse/records_model.h"
#include "browse/records_values.h"
#include "ui/database_session.h"

using kevra::browse::RecordsDataset;
using kevra::browse::RecordsModel;

class RecordsPostingTest : public QObject {
  Q_OBJECT
  QTemporaryDir scratch;

  QString copyOf(const char* sample) {
    const QString path = scratch.filePath(QFileInfo(QString::fromLatin1(sample)).fileName());
    QFile::remove(path);
    if (!QFile::copy(QString::fromUtf8(KEVRA_SHARED_DIR "/samples/") + QString::fromLatin1(sample), path))
      qFatal("cannot copy %s", sample);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
  }
  static void open(RecordsDataset& dataset, const QString& path, const char* command) {
    dataset.setConnectionString(kevra::ui::kJetConnectionPrefix + path.toStdString());
    dataset.setCommandText(command);
    dataset.Open();
  }
  static QString cell(const RecordsModel& model, int row, int column) {
    return model.index(row, column).data().toString();
  }
  // Rows [first, first + count) as the model shows them and as a dataset of
  // its own reads them from the file now.
  static QStringList shown(const RecordsModel& model, int first, int count) {
    QStringList texts;
    for (int row = first; row < first + count; ++row)
      for (int column = 0; column < model.columnCount(); ++column) texts << cell(model, row, column);
    return texts;
  }
  static QStringList stored(const QString& path, const char* command, int first, int count) {
    RecordsDataset fresh;
    open(fresh, path, command);
    std::vector<std::vector<kevra::Value>> rows;
    fresh.rows().fetch(first, count, rows);
    QStringList texts;
    for (const auto& row : rows)
      for (size_t column = 0; column < row.size(); ++column)
        texts << kevra::browse::displayText(row[column], fresh.rows().fieldType(int(column)));
    return texts;
  }
  static long storedCount(const QString& path) {
    RecordsDataset fresh;
    open(fresh, path, "select * from [Customers]");
    return fresh.rows().recordCount();
  }

 private slots:
  void initTestCase() { QVERIFY(scratch.isValid()); }

  void writesChangeTheModelInPlace() {
    const QString path = copyOf("bench/medium.mdb");
    const char* command = "select * from [Customers]";
    RecordsDataset dataset;
    open(dataset, path, command);
    // Small blocks and few of them, so changes meet block edges and
    // evicted blocks.
    RecordsModel model(nullptr, 16, 6);
    model.setDataSet(&dataset);
    const long total = 100000;
    QCOMPARE(model.rowCount(), total);  // the stored count, known at once
    const int rows = 200;  // the rows compared with the file
    QSignalSpy resets(&model, &QAbstractItemModel::modelAboutToBeReset);

    // An edited cell: its row is read again, nothing else moves.
    QVERIFY(model.setData(model.index(37, 1), QStringLiteral("edited in place")));
    QCOMPARE(model.post(), 37);
    QCOMPARE(cell(model, 37, 1), QStringLiteral("edited in place"));
    QCOMPARE(model.rowCount(), total);
    QCOMPARE(shown(model, 0, rows), stored(path, command, 0, rows));

    // A deleted row: the ones after it move up, the count goes down by one.
    const QString next = cell(model, 21, 0);
    QCOMPARE(model.deleteRecord(20), 20);
    QCOMPARE(model.rowCount(), total - 1);
    QCOMPARE(cell(model, 20, 0), next);
    QCOMPARE(dataset.rows().recordCount(), total - 1);
    QCOMPARE(shown(model, 0, rows), stored(path, command, 0, rows));
    QCOMPARE(shown(model, int(total) - 40, 39), stored(path, command, int(total) - 40, 39));

    // A new row takes its stored place, with what the engine gave it.
    QCOMPARE(model.startInsert(), int(total) - 1);  // after the last row
    QCOMPARE(model.headerData(int(total) - 1, Qt::Vertical).toString(), QStringLiteral("*"));
    QVERIFY(model.setData(model.index(int(total) - 1, 1), QStringLiteral("added")));
    const int added = model.post();
    QVERIFY(added >= 0);
    QCOMPARE(cell(model, added, 1), QStringLiteral("added"));
    QVERIFY(!cell(model, added, 0).isEmpty());  // the autonumber
    QCOMPARE(dataset.rows().recordCount(), total);
    QCOMPARE(storedCount(path), total);
    QCOMPARE(shown(model, 0, 200), stored(path, command, 0, 200));
    QCOMPARE(shown(model, added - 30, 31), stored(path, command, added - 30, 31));

    // The new row edited and deleted again, where it landed.
    QVERIFY(model.setData(model.index(added, 1), QStringLiteral("added, then edited")));
    model.post();
    QCOMPARE(shown(model, added - 30, 31), stored(path, command, added - 30, 31));
    const int shownBefore = model.rowCount();
    model.deleteRecord(added);
    QCOMPARE(model.rowCount(), shownBefore - 1);
    QCOMPARE(dataset.rows().recordCount(), total - 1);
    QCOMPARE(storedCount(path), total - 1);
    QCOMPARE(shown(model, 0, 200), stored(path, command, 0, 200));

    // Enough new rows to need pages the table did not have when it was read.
    for (int n = 0; n < 100; ++n) {
      const int at = model.startInsert();
      QVERIFY(model.setData(model.index(at, 1), QStringLiteral("batch %1").arg(n)));
      model.post();
    }
    QCOMPARE(dataset.rows().recordCount(), total + 99);
    QCOMPARE(storedCount(path), total + 99);
    QCOMPARE(model.rowCount(), total + 99);
    QCOMPARE(shown(model, int(total) - 50, 149), stored(path, command, int(total) - 50, 149));
    QCOMPARE(shown(model, 0, 200), stored(path, command, 0, 200));

    QCOMPARE(resets.count(), 0);
    model.setDataSet(nullptr);
  }

  void sortedRowsAreReadAgainAfterAPost() {
    const QString path = copyOf("overflowtestv2000.mdb");
    const char* command = "select * from [Table1] order by data1";
    RecordsDataset dataset;
    open(dataset, path, command);
    RecordsModel model;
    model.setDataSet(&dataset);
    QVERIFY(dataset.CanModify());
    const QString second = cell(model, 1, 0);
    // The first row sorts last once changed.
    QVERIFY(model.setData(model.index(0, 0), QStringLiteral("zzz")));
    model.post();
    QCOMPARE(cell(model, 0, 0), second);
    QCOMPARE(cell(model, model.rowCount() - 1, 0), QStringLiteral("zzz"));
    QCOMPARE(shown(model, 0, model.rowCount()), stored(path, command, 0, model.rowCount()));
    model.setDataSet(nullptr);
  }

  void aNewRowStaysLastWhileASortedViewGrows() {
    const QString path = copyOf("overflowtestv2000.mdb");
    const char* command = "select * from [Table1] order by data1 desc";
    RecordsDataset dataset;
    open(dataset, path, command);
    RecordsModel model(nullptr, 4, 4);
    model.setDataSet(&dataset);
    QCOMPARE(model.rowCount(), 4);
    QVERIFY(model.canFetchMore());
    const int at = model.startInsert();
    QCOMPARE(at, 4);
    QVERIFY(model.setData(model.index(at, 0), QStringLiteral("typed first")));
    // The rows read now come before the new row, which keeps what was typed.
    model.fetchMore();
    QCOMPARE(model.rowCount(), 8);
    QCOMPARE(model.editRow(), 7);
    QCOMPARE(model.headerData(7, Qt::Vertical).toString(), QStringLiteral("*"));
    QCOMPARE(cell(model, 7, 0), QStringLiteral("typed first"));
    QCOMPARE(shown(model, 0, 7), stored(path, command, 0, 7));
    model.cancelEdit();
    model.setDataSet(nullptr);
  }
};

QTEST_APPLESS_MAIN(RecordsPostingTest)
#include "test_records_posting.moc"
