// Sorted and filtered views of a table bigger than many fetch blocks reach
// their end as the plain table does: a sort by an indexed field knows its
// count at once, any other sort or filter is counted on the event loop, and
// then Ctrl+End, the scrollbar and the status bar span every row. Column
// widths stay what they were across a sort or a filter.
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "browse/records_dataset.h"
#include "browse/records_model.h"
#include "engine/table/database.h"
#include "engine/table/table_writer.h"
#include "window_probe.h"

using kevra::browse::RecordsModel;

namespace {
constexpr long kRows = 5000;
// Table1 of testv2000.mdb (A: text primary key, B: text, E: Long) with kRows
// generated rows after its two.
void generate(const QString& path) {
  auto db = kevra::Database::open(path.toStdString(), kevra::OpenOptions{false, ""});
  auto table = db->table("Table1");
  kevra::TableWriter writer(db);
  writer.begin();
  for (long n = 0; n < kRows; ++n) {
    std::vector<std::optional<kevra::Value>> row(table->columns.size());
    row[0] = kevra::Value(QStringLiteral("key%1").arg(n, 5, 10, QLatin1Char('0')).toStdString());
    row[1] = kevra::Value("row " + std::to_string(n * 7919 % 10007));
    row[4] = kevra::Value(int32_t(n));
    writer.insertRow(*table, row);
  }
  writer.commit();
}
}  // namespace

class SortedViewEndTest : public QObject {
  Q_OBJECT
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;
  std::unique_ptr<MainWindow> window;
  QTemporaryDir scratch;
  QString path;

  RecordsModel* model() const { return window->recordsPage()->model(); }
  QTableView* grid() const { return control<QTableView>(*window, "recordsGrid"); }
  void clickHeader(int column) {
    QHeaderView* header = grid()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
  }
  // Field A of the last row the grid's own statement gives, read afresh.
  QString lastKeyOfCurrentStatement() {
    kevra::browse::RecordsDataset fresh;
    fresh.setConnectionString(kevra::ui::kJetConnectionPrefix + path.toStdString());
    fresh.setCommandText(window->recordsPage()->dataset().CommandText());
    fresh.Open();
    std::vector<std::vector<kevra::Value>> rows;
    const long count = fresh.rows().recordCount();
    if (fresh.rows().fetch(count - 1, 1, rows) != 1) return {};
    return QString::fromStdString(std::get<std::string>(rows.front().front()));
  }
  // Ctrl+End goes to the last of `count` rows, whose key the file gives.
  void endIsReached(long count, const QString& suffix) {
    const QLocale locale;
    const QString total = locale.toString(qlonglong(count));
    QTRY_VERIFY(model()->rowCountFinal());
    QCOMPARE(window->rowStatusText(), QStringLiteral("Row 1 of %1%2").arg(total, suffix));
    grid()->setFocus();
    QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(grid()->currentIndex().row(), int(count - 1));
    QCOMPARE(window->rowStatusText(), QStringLiteral("Row %1 of %1%2").arg(total, suffix));
    QCOMPARE(grid()->currentIndex().siblingAtColumn(0).data().toString(), lastKeyOfCurrentStatement());
    QScrollBar* bar = grid()->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(bar->maximum() > int(count) / 2);  // one step a row: the bar spans every row
  }
  QList<int> widths() const {
    QList<int> out;
    for (int column = 0; column < model()->columnCount(); ++column) out << grid()->columnWidth(column);
    return out;
  }

 private slots:
  void initTestCase() {
    QVERIFY(scratch.isValid());
    path = scratch.filePath(QStringLiteral("generated.mdb"));
    QVERIFY(QFile::copy(samplePath("testv2000.mdb"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    generate(path);
  }
  void init() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<MainWindow>();
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    openWith(*window, **dialogs, path);
    QVERIFY(clickTable(*window, QStringLiteral("Table1")));
    QCOMPARE(model()->rowCount(), int(kRows) + 2);
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
  }

  void sortsReachTheirEnd() {
    // A: the primary key's index gives the order and the count at once.
    clickHeader(0);
    QVERIFY(model()->rowCountFinal());
    endIsReached(kRows + 2, {});
    if (QTest::currentTestFailed()) return;
    QCOMPARE(grid()->currentIndex().siblingAtColumn(0).data().toString(), QStringLiteral("key04999"));
    // B descending has no index: its rows are sorted and counted.
    QTest::keyClick(grid(), Qt::Key_Home, Qt::ControlModifier);
    clickHeader(1);
    clickHeader(1);
    QVERIFY(QString::fromStdString(window->recordsPage()->dataset().CommandText()).endsWith(QStringLiteral("[B] desc")));
    endIsReached(kRows + 2, {});
    if (QTest::currentTestFailed()) return;
    QCOMPARE((*dialogs)->messages.size(), 0);
  }

  void filtersAreCountedToTheirEnd() {
    auto* filterBox = control<QLineEdit>(*window, "filterBox");
    filterBox->setText(QStringLiteral("[B] Like 'row*' and [E] >= 100"));
    QTest::keyClick(filterBox, Qt::Key_Return);
    endIsReached(kRows - 100, QStringLiteral(" (filtered)"));
    if (QTest::currentTestFailed()) return;
    QCOMPARE(grid()->currentIndex().siblingAtColumn(0).data().toString(), QStringLiteral("key04999"));
    // Sorted as well as filtered.
    clickHeader(4);
    endIsReached(kRows - 100, QStringLiteral(" (filtered)"));
    if (QTest::currentTestFailed()) return;
    QCOMPARE(grid()->currentIndex().siblingAtColumn(4).data().toString(), QString::number(kRows - 1));
    QCOMPARE((*dialogs)->messages.size(), 0);
  }

  void columnWidthsStayAcrossSortAndFilter() {
    grid()->setColumnWidth(1, 237);  // as the user drags it
    const QList<int> before = widths();
    QVERIFY(before.size() > 3);
    clickHeader(0);
    QCOMPARE(widths(), before);
    auto* filterBox = control<QLineEdit>(*window, "filterBox");
    filterBox->setText(QStringLiteral("[E] < 4000"));
    QTest::keyClick(filterBox, Qt::Key_Return);
    QCOMPARE(widths(), before);
    filterBox->clear();
    QTest::keyClick(filterBox, Qt::Key_Return);
    QCOMPARE(widths(), before);
    QVERIFY(window->grab().save(QDir::temp().filePath(QStringLiteral("kevra-sorted-view.png"))));
  }
};

QTEST_MAIN(SortedViewEndTest)
#include "test_sorted_view_end.moc"
