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
  std::unique_ptr<MainWindow> window;
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
    window = std::make_unique<MainWindow>();
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
    QVERIFY(choose(combo("fieldList"), "column1"));
    QVERIFY(!control<QWidget>(*window, "fieldNameBox")->isHidden());

    QVERIFY(clickTable(*window, "Table1"));
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->statusText(), samplePath("testv2000.mdb") + " -> Table1");
    auto* pages = control<QTabWidget>(*window, "pages");
    QVERIFY(pages->isVisible());
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("recordsPage"));
    QVERIFY(control<QTableView>(*window, "recordsGrid")->isVisible());
    // A table click enables Rename, Drop and Export.
    for (const char* name : {"renameTableAction", "dropTableAction", "exportAction"})
      QVERIFY2(action(*window, name)->isEnabled(), name);
    for (const char* name : {"addFieldButton", "deleteFieldButton", "applyChangesButton", "selectKeyButton",
                             "addIndexButton", "deleteIndexButton"})
      QVERIFY2(control<QWidget>(*window, name)->isEnabled(), name);
    QCOMPARE(QString::fromStdString(window->recordsPage()->dataset().CommandText()), QStringLiteral("select * from [Table1]"));

    const QStringList fields{"A", "B", "C", "D", "E", "F", "G", "H", "I"};
    QCOMPARE(itemTexts(combo("fieldList")), fields);
    QCOMPARE(combo("fieldList")->currentIndex(), -1);
    QCOMPARE(itemTexts(list("keyFieldList")), fields);
    QCOMPARE(checkedTexts(list("keyFieldList")), QStringList{"A"});
    QCOMPARE(itemTexts(list("indexFieldList")), fields);
    QVERIFY(checkedTexts(list("indexFieldList")).isEmpty());
    QVERIFY(list("indexFieldList")->isHidden());

    // Primary key on A, plain index on B.
    QCOMPARE(combo("indexList")->count(), 2);
    QCOMPARE(combo("indexList")->currentIndex(), -1);

    // Related fields: empty first, then Table->Column of unique indexes only,
    // from every user table (B's plain index gives none).
    const QStringList related = itemTexts(combo("relatedFieldList"));
    QCOMPARE(related.first(), QString());
    QVERIFY(related.contains("Table1->A"));
    QVERIFY(!related.contains("Table1->B"));
    const QRegularExpression entry(QStringLiteral("^Table[1-4]->\\S+$"));
    for (const QString& text : related.mid(1)) QVERIFY2(entry.match(text).hasMatch(), qPrintable(text));
    QVERIFY(std::any_of(related.begin(), related.end(), [](const QString& t) { return t.startsWith("Table3->"); }));
    QVERIFY(std::any_of(related.begin(), related.end(), [](const QString& t) { return t.startsWith("Table4->"); }));

    for (const char* name : {"fieldNameLabel", "fieldNameBox", "fieldTypeLabel", "fieldTypeBox", "defaultValueLabel", "defaultValueBox", "fieldLengthLabel", "fieldLengthBox", "nullableLabel",
                             "nullableCheck", "relatedFieldLabel", "relatedFieldList", "applyChangesButton", "indexFieldsLabel", "uniqueLabel", "uniqueCheck",
                             "indexFieldList"})
      QVERIFY2(control<QWidget>(*window, name)->isHidden(), name);
    QVERIFY(control<QWidget>(*window, "recordsNavigator")->isVisible());

    // The grid: two rows, nine columns as wide as their header and values need.
    auto* grid = control<QTableView>(*window, "recordsGrid");
    QCOMPARE(window->recordsPage()->model()->columnCount(), 9);
    QCOMPARE(window->recordsPage()->model()->rowCount(), 2);
    QCOMPARE(window->recordsPage()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("A"));
    QVERIFY(!window->recordsPage()->model()->index(0, 0).data().toString().isEmpty());
    const QFontMetrics metrics = grid->fontMetrics();
    for (int column = 0; column < 9; ++column) {
      QVERIFY(grid->columnWidth(column) >= kevra::browse::RecordsPage::kMinColumnWidth);
      QVERIFY(grid->columnWidth(column) <= kevra::browse::RecordsPage::kMaxColumnWidth);
      const QString value = grid->model()->index(0, column).data().toString();
      QVERIFY2(grid->columnWidth(column) >= metrics.horizontalAdvance(value), qPrintable(value));
    }
    // A long text is held to the maximum; the user can still widen it.
    QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
  }

  void tableWithoutUniqueIndexesChecksNoKey() {
    open("compindextestv2000.mdb");
    QVERIFY(clickTable(*window, "Table1"));
    QCOMPARE(itemTexts(combo("fieldList")).size(), 3);
    QVERIFY(checkedTexts(list("keyFieldList")).isEmpty());
    QCOMPARE(combo("indexList")->count(), 1);  // the descending index on CD_AGENTE
    QCOMPARE(itemTexts(combo("relatedFieldList")), QStringList{QString()});
    QCOMPARE(window->recordsPage()->model()->rowCount() > 0, true);
  }

  void clickOnEmptyTreeWithNothingSelectedDoesNothing() {
    open("testv2000.mdb");
    auto* tree = control<QTreeWidget>(*window, "tableTree");
    const QRect lastRow = tree->visualItemRect(tree->topLevelItem(tree->topLevelItemCount() - 1));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(lastRow.center().x(), lastRow.bottom() + 40));
    kevra::ui::runCommand(window.get(), [this] { window->showTable(); });
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->statusText(), samplePath("testv2000.mdb"));
    QVERIFY(control<QWidget>(*window, "pages")->isHidden());
    QVERIFY(!action(*window, "renameTableAction")->isEnabled());
  }

  void tableThatCannotBeOpenedLeavesThePageAlone() {
    open("testv2000.mdb");
    // A node whose table is gone from the catalog.
    auto* tree = control<QTreeWidget>(*window, "tableTree");
    tree->insertTopLevelItem(0, new QTreeWidgetItem(QStringList{"Vanished"}));
    QVERIFY(clickTable(*window, "Vanished"));
    QCOMPARE((*dialogs)->messages.size(), 1);
    QVERIFY(control<QWidget>(*window, "pages")->isHidden());
    QCOMPARE(window->statusText(), samplePath("testv2000.mdb"));
    QCOMPARE(window->recordsPage()->model()->columnCount(), 0);
    // The selected table index is one past the last catalog entry.
    QCOMPARE(window->session().selectedTableIndex(), window->session().catalog().Tables().Count());
  }
};

QTEST_MAIN(TableViewTest)
#include "test_table_view.moc"
