// Find, sort and filter in the records grid of a generated table, all run
// through the engine (ORDER BY and WHERE; find reads the rows a chunk at a
// time): a header click sorts ascending, descending, then in storage order;
// a filter shows only matching rows and says so in the status bar; an edit
// in a sorted view lands on the row it was made on; the standard keys reach
// these commands and the file commands.
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "browse/records_dataset.h"
#include "browse/records_model.h"
#include "engine/table/database.h"
#include "engine/table/table_writer.h"
#include "window_probe.h"

using kevra::browse::RecordsModel;

namespace {
constexpr long kRows = 3000;
// Table1 of testv2000.mdb (A: text key, B: text, E: Long) with kRows
// generated rows after its two: A "key00000"..., B a scrambled number, E the
// row number.
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

class FindSortFilterTest : public QObject {
  Q_OBJECT
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;
  std::unique_ptr<MainWindow> window;
  QTemporaryDir scratch;
  QString path;

  RecordsModel* model() const { return window->recordsPage()->model(); }
  QTableView* grid() const { return control<QTableView>(*window, "recordsGrid"); }
  QString cell(int row, int column) const { return model()->index(row, column).data().toString(); }
  void clickHeader(int column) {
    QHeaderView* header = grid()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
  }
  QStringList errors() const {
    QStringList texts;
    for (const auto& m : (*dialogs)->messages)
      if (m.icon == QMessageBox::Critical) texts << m.text;
    return texts;
  }
  // B of the row whose key is `key`, read from the file afresh.
  QString storedB(const QString& key) {
    kevra::browse::RecordsDataset fresh;
    fresh.setConnectionString(kevra::ui::kJetConnectionPrefix + path.toStdString());
    fresh.setCommandText("select * from [Table1] where [A] = '" + key.toStdString() + "'");
    fresh.Open();
    std::vector<std::vector<kevra::Value>> rows;
    if (fresh.rows().fetch(0, 2, rows) != 1) return QStringLiteral("(%1 rows)").arg(rows.size());
    return QString::fromStdString(std::get<std::string>(rows.front()[1]));
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

  void headerClickSortsThroughTheEngine() {
    clickHeader(4);  // E ascending
    QVERIFY(QString::fromStdString(window->recordsPage()->dataset().CommandText()).endsWith(QStringLiteral("order by [E] asc")));
    QCOMPARE(cell(0, 4), QStringLiteral("0"));
    clickHeader(4);  // descending
    QCOMPARE(cell(0, 4), QStringLiteral("333333333"));
    QCOMPARE(cell(1, 4), QString::number(kRows - 1));
    QCOMPARE(grid()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    // An edit in the sorted view lands on the row it was made on.
    const QString key = cell(1, 0);
    QCOMPARE(key, QStringLiteral("key02999"));
    grid()->setCurrentIndex(model()->index(1, 1));
    QVERIFY(model()->setData(model()->index(1, 1), QStringLiteral("edited while sorted")));
    grid()->setCurrentIndex(model()->index(5, 1));
    QTRY_VERIFY(!model()->editing());
    QCOMPARE(errors(), QStringList());
    QCOMPARE(storedB(key), QStringLiteral("edited while sorted"));
    QCOMPARE(cell(1, 1), QStringLiteral("edited while sorted"));

    clickHeader(4);  // storage order again
    QCOMPARE(QString::fromStdString(window->recordsPage()->dataset().CommandText()), QStringLiteral("select * from [Table1]"));
    QCOMPARE(cell(0, 0), QStringLiteral("abcdefg"));
    QVERIFY(!grid()->horizontalHeader()->isSortIndicatorShown());
  }

  void filterShowsMatchingRowsAndSaysSo() {
    auto* filterBox = control<QLineEdit>(*window, "filterBox");
    filterBox->setText(QStringLiteral("[E] < 10"));
    QTest::keyClick(filterBox, Qt::Key_Return);
    QCOMPARE(errors(), QStringList());
    QTRY_COMPARE(model()->rowCount(), 11);  // 0..9 and the sample's row with E = 0
    QVERIFY(window->rowStatusText().endsWith(QStringLiteral("(filtered)")));
    // A condition the engine refuses keeps the view and shows why.
    filterBox->setText(QStringLiteral("[Nope] = 1"));
    QTest::keyClick(filterBox, Qt::Key_Return);
    QCOMPARE(errors().size(), 1);
    QCOMPARE(model()->rowCount(), 11);
    QCOMPARE(filterBox->text(), QStringLiteral("[E] < 10"));
    // Filter by selection narrows further, to the current cell's value.
    grid()->setCurrentIndex(model()->index(model()->rowCount() - 1, 0));
    const QString key = grid()->currentIndex().data().toString();
    action(*window, "filterBySelectionAction")->trigger();
    QCOMPARE(model()->rowCount(), 1);
    QCOMPARE(cell(0, 0), key);
    action(*window, "removeFilterAction")->trigger();
    QCOMPARE(model()->rowCount(), int(kRows) + 2);
    QVERIFY(!window->rowStatusText().contains(QStringLiteral("filtered")));

    // A syntax error points into the condition as the user typed it.
    filterBox->setText(QStringLiteral("[E] < < 10"));
    QTest::keyClick(filterBox, Qt::Key_Return);
    QCOMPARE(errors().size(), 2);
    QVERIFY2(errors().last().startsWith(QStringLiteral("Syntax error in the filter at position 7 near '<'")),
             qPrintable(errors().last()));
    // The box's clear button takes the filter away with the text.
    filterBox->setText(QStringLiteral("[E] < 10"));
    QTest::keyClick(filterBox, Qt::Key_Return);
    QCOMPARE(model()->rowCount(), 11);
    auto* clear = filterBox->findChild<QToolButton*>();
    QVERIFY(clear);
    QTest::mouseClick(clear, Qt::LeftButton);
    QCOMPARE(filterBox->text(), QString());
    QCOMPARE(errors().size(), 2);
    QCOMPARE(model()->rowCount(), int(kRows) + 2);
    QVERIFY(!window->recordsPage()->query().filtered());
  }

  void findMovesToTheMatchingRow() {
    grid()->setFocus();
    grid()->setCurrentIndex(model()->index(0, 1));
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
    auto* findBox = control<QLineEdit>(*window, "findBox");
    QVERIFY(findBox->isVisible());
    QVERIFY(findBox->hasFocus());
    // Row 2500 of the generated ones (row 2502 of the grid): B is "row <n>".
    const QString wanted = QString::number(2500L * 7919 % 10007);
    QTest::keyClicks(findBox, QStringLiteral("ROW ") + wanted);  // any letter case
    QTest::keyClick(findBox, Qt::Key_Return);
    QCOMPARE(grid()->currentIndex().row(), 2502);
    QCOMPARE(window->rowStatusText(), QStringLiteral("Row 2,503 of 3,002"));
    // Only the current column: the key column holds no such text.
    grid()->setCurrentIndex(model()->index(0, 0));
    QVERIFY(!window->recordsPage()->findNext(true));
    QCOMPARE(control<QLabel>(*window, "findStatus")->text(), QStringLiteral("Not found"));
    control<QCheckBox>(*window, "allColumnsCheck")->setChecked(true);
    QVERIFY(window->recordsPage()->findNext(true));
    QCOMPARE(grid()->currentIndex().row(), 2502);
    // Back from the top wraps round to the same row.
    grid()->setCurrentIndex(model()->index(0, 0));
    QVERIFY(window->recordsPage()->findNext(false));
    QCOMPARE(grid()->currentIndex().row(), 2502);
    // Key 'key00005' in a view sorted descending by E: near the end.
    clickHeader(4);
    clickHeader(4);
    findBox->setText(QStringLiteral("key00005"));
    grid()->setCurrentIndex(model()->index(0, 0));
    QVERIFY(window->recordsPage()->findNext(true));
    QCOMPARE(cell(grid()->currentIndex().row(), 4), QStringLiteral("5"));
  }

  void standardKeysReachTheCommands() {
    QCOMPARE(action(*window, "openAction")->shortcut(), QKeySequence(QKeySequence::Open));
    QCOMPARE(action(*window, "refreshListAction")->shortcut(), QKeySequence(Qt::Key_F5));
    // Ctrl+Minus in the grid asks as the navigator's Delete does; Cancel keeps the row.
    grid()->setFocus();
    grid()->setCurrentIndex(model()->index(3, 0));
    (*dialogs)->messageAnswer = QMessageBox::Cancel;
    QTest::keyClick(grid(), Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE((*dialogs)->messages.size(), 1);
    QCOMPARE((*dialogs)->messages.first().text, QStringLiteral("Delete record?"));
    QCOMPARE(model()->rowCount(), int(kRows) + 2);
    // F5 reads the table list again and keeps the table on screen.
    QTest::keyClick(window.get(), Qt::Key_F5);
    QCOMPARE(treeTexts(*window).size(), 4);
    QCOMPARE(control<QTreeWidget>(*window, "tableTree")->currentItem()->text(0), QStringLiteral("Table1"));
    // Ctrl+W closes the file.
    QTest::keyClick(window.get(), Qt::Key_W, Qt::ControlModifier);
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
    QVERIFY(!action(*window, "findAction")->isEnabled());
  }
};

QTEST_MAIN(FindSortFilterTest)
#include "test_find_sort_filter.moc"
