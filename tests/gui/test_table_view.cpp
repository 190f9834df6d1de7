// A click in the table tree: rows in the grid, and the field, key field,
// index field, index and related field lists of the structure page.
#include <QHeaderView>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include "browse/records_model.h"
#include "window_probe.h"

class TableViewTest : public QObject {
  Q_OBJECT
  std::unique_ptr<Form1> window;
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;

  void open(const char* sample) {
    openWith(*window, **dialogs, samplePath(sample));
    QVERIFY((*dialogs)->messages.isEmpty());
  }
  QListWidget* list(const char* name) { return control<QListWidget>(*window, name); }
  QComboBox* combo(const char* name) { return control<QComboBox>(*window, name); }

 private slots:
  void init() {
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<Form1>();
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
  }

  void clickShowsRowsAndFillsEveryList() {
    open("testv2000.mdb");
    // Something else on the structure page first, to see the click reset it.
    QVERIFY(clickTable(*window, "Table2"));
    QVERIFY(choose(combo("ComboBox1"), "column1"));
    QVERIFY(!control<QWidget>(*window, "Edit1")->isHidden());

    QVERIFY(clickTable(*window, "Table1"));
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->statusText(), samplePath("testv2000.mdb") + " -> Table1");
    auto* pages = control<QTabWidget>(*window, "PageControl1");
    QVERIFY(pages->isVisible());
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("TabSheet1"));
    QVERIFY(control<QTableView>(*window, "DBGrid1")->isVisible());
    QVERIFY(action(*window, "RenameTable1")->isEnabled());
    QVERIFY(action(*window, "abloSil1")->isEnabled());
    QVERIFY(action(*window, "Exportto1")->isEnabled());
    QCOMPARE(QString::fromStdString(window->recordsDataset().CommandText()), QStringLiteral("select * from [Table1]"));

    const QStringList fields{"A", "B", "C", "D", "E", "F", "G", "H", "I"};
    QCOMPARE(itemTexts(combo("ComboBox1")), fields);
    QCOMPARE(combo("ComboBox1")->currentIndex(), -1);
    QCOMPARE(itemTexts(list("Pklistbox")), fields);
    QCOMPARE(checkedTexts(list("Pklistbox")), QStringList{"A"});
    QCOMPARE(itemTexts(list("RxCheckListBox1")), fields);
    QVERIFY(checkedTexts(list("RxCheckListBox1")).isEmpty());
    QVERIFY(list("RxCheckListBox1")->isHidden());

    // Primary key on A, plain index on B.
    QCOMPARE(combo("ComboBox3")->count(), 2);
    QCOMPARE(combo("ComboBox3")->currentIndex(), -1);

    // Related fields: empty first, then Table->Column of unique indexes only,
    // from every user table (B's plain index gives none).
    const QStringList related = itemTexts(combo("ComboBox4"));
    QCOMPARE(related.first(), QString());
    QVERIFY(related.contains("Table1->A"));
    QVERIFY(!related.contains("Table1->B"));
    const QRegularExpression entry(QStringLiteral("^Table[1-4]->\\S+$"));
    for (const QString& text : related.mid(1)) QVERIFY2(entry.match(text).hasMatch(), qPrintable(text));
    QVERIFY(std::any_of(related.begin(), related.end(), [](const QString& t) { return t.startsWith("Table3->"); }));
    QVERIFY(std::any_of(related.begin(), related.end(), [](const QString& t) { return t.startsWith("Table4->"); }));

    for (const char* name : {"Label1", "Edit1", "Label2", "ComboBox2", "Label7", "Edit3", "Label3", "Edit2", "Label4",
                             "CheckBox1", "Label8", "ComboBox4", "Button4", "Label5", "Label6", "CheckBox2",
                             "RxCheckListBox1"})
      QVERIFY2(control<QWidget>(*window, name)->isHidden(), name);
    QVERIFY(control<QWidget>(*window, "DBNavigator1")->isVisible());

    // The grid: two rows, nine columns sharing the grid's width.
    auto* grid = control<QTableView>(*window, "DBGrid1");
    QCOMPARE(window->dataSource()->columnCount(), 9);
    QCOMPARE(window->dataSource()->rowCount(), 2);
    QCOMPARE(window->dataSource()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("A"));
    QVERIFY(!window->dataSource()->index(0, 0).data().toString().isEmpty());
    const int share = grid->width() / 9;
    QVERIFY(share > 20);
    for (int column = 0; column < 9; ++column) QCOMPARE(grid->columnWidth(column), share);
  }

  void tableWithoutUniqueIndexesChecksNoKey() {
    open("compindextestv2000.mdb");
    QVERIFY(clickTable(*window, "Table1"));
    QCOMPARE(itemTexts(combo("ComboBox1")).size(), 3);
    QVERIFY(checkedTexts(list("Pklistbox")).isEmpty());
    QCOMPARE(combo("ComboBox3")->count(), 1);  // the descending index on CD_AGENTE
    QCOMPARE(itemTexts(combo("ComboBox4")), QStringList{QString()});
    QCOMPARE(window->dataSource()->rowCount() > 0, true);
  }

  void clickOnEmptyTreeWithNothingSelectedDoesNothing() {
    open("testv2000.mdb");
    auto* tree = control<QTreeWidget>(*window, "TreeView1");
    const QRect lastRow = tree->visualItemRect(tree->topLevelItem(tree->topLevelItemCount() - 1));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(lastRow.center().x(), lastRow.bottom() + 40));
    kevra::ui::runCommand(window.get(), [this] { window->TreeView1Click(); });
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->statusText(), samplePath("testv2000.mdb"));
    QVERIFY(control<QWidget>(*window, "PageControl1")->isHidden());
    QVERIFY(!action(*window, "RenameTable1")->isEnabled());
  }

  void tableThatCannotBeOpenedLeavesThePageAlone() {
    open("testv2000.mdb");
    // A node whose table is gone from the catalog.
    auto* tree = control<QTreeWidget>(*window, "TreeView1");
    tree->insertTopLevelItem(0, new QTreeWidgetItem(QStringList{"Vanished"}));
    QVERIFY(clickTable(*window, "Vanished"));
    QCOMPARE((*dialogs)->messages.size(), 1);
    QVERIFY(control<QWidget>(*window, "PageControl1")->isHidden());
    QCOMPARE(window->statusText(), samplePath("testv2000.mdb"));
    QCOMPARE(window->dataSource()->columnCount(), 0);
    // The selected table index is one past the last catalog entry.
    QCOMPARE(window->context().selectedTableIndex, window->context().catalog->Tables().Count());
  }
};

QTEST_MAIN(TableViewTest)
#include "test_table_view.moc"
