// A big table in the real window: every row is counted from the start, so
// Ctrl+End lands on the last row at once, the scrollbar spans the whole table
// and a jump to its middle shows the middle, each screen read when shown.
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

#include "browse/records_dataset.h"
#include "browse/records_model.h"
#include "window_probe.h"

using kevra::browse::RecordsModel;

class LargeTableTest : public QObject {
  Q_OBJECT
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;
  std::unique_ptr<MainWindow> window;

  RecordsModel* model() const { return window->recordsPage()->model(); }
  QTableView* grid() const { return control<QTableView>(*window, "recordsGrid"); }
  // The first field of the row at `position`, read from the file by a
  // dataset of its own.
  static QString storedId(long position) {
    kevra::browse::RecordsDataset fresh;
    fresh.setConnectionString(kevra::ui::kJetConnectionPrefix + samplePath("bench/medium.mdb").toStdString());
    fresh.setCommandText("select * from [Customers]");
    fresh.Open();
    std::vector<std::vector<kevra::Value>> rows;
    if (fresh.rows().fetch(position, 1, rows) != 1) return {};
    return QString::number(std::get<int32_t>(rows.front().front()));
  }

 private slots:
  void init() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<MainWindow>();
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    openWith(*window, **dialogs, samplePath("bench/medium.mdb"));
    QVERIFY(clickTable(*window, QStringLiteral("Customers")));
    QVERIFY((*dialogs)->messages.isEmpty());
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
  }

  void ctrlEndReachesTheLastRow() {
    QCOMPARE(model()->rowCount(), 100000);
    QCOMPARE(window->windowTitle(), QStringLiteral("medium.mdb \u2014 Kevra"));
    QCOMPARE(window->rowStatusText(), QStringLiteral("Row 1 of 100,000"));
    grid()->setFocus();
    grid()->setCurrentIndex(model()->index(0, 1));
    QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(grid()->currentIndex().row(), 99999);
    QCOMPARE(window->rowStatusText(), QStringLiteral("Row 100,000 of 100,000"));
    QCOMPARE(model()->index(99999, 0).data().toString(), storedId(99999));
    QScrollBar* bar = grid()->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(model()->cachedBlockCount() <= RecordsModel::kDefaultCachedBlocks);
    QTest::keyClick(grid(), Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(grid()->currentIndex().row(), 0);
    QCOMPARE(bar->value(), 0);
  }

  void theMiddleIsOneJumpAway() {
    QScrollBar* bar = grid()->verticalScrollBar();
    QVERIFY(bar->maximum() > 90000);  // one step a row: the bar spans every row
    bar->setValue(bar->maximum() / 2);
    const int top = grid()->rowAt(0);
    QVERIFY2(top > 45000 && top < 55000, qPrintable(QString::number(top)));
    QCOMPARE(grid()->indexAt(QPoint(5, 5)).siblingAtColumn(0).data().toString(), storedId(top));
    QCOMPARE(model()->headerData(top, Qt::Vertical).toLongLong(), qlonglong(top) + 1);
  }
};

QTEST_MAIN(LargeTableTest)
#include "test_large_table.moc"
