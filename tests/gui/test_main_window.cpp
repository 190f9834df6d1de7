// The main window through the life of a file: start state and layout, Open,
// Close, failing opens, the table tree, refreshing the catalog and the About box.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/about_box.h"
#include "browse/records_model.h"
#include "window_probe.h"

namespace {

struct MenuState {
  bool open, close, tables, convert;
};

void checkMenus(const MainWindow& w, const MenuState& expected) {
  QCOMPARE(action(w, "openAction")->isEnabled(), expected.open);
  QCOMPARE(action(w, "closeAction")->isEnabled(), expected.close);
  QCOMPARE(menuEnabled(w, "tablesMenu"), expected.tables);
  QCOMPARE(menuEnabled(w, "convertMenu"), expected.convert);
  // Create and Compact belong to the closed state. Rename and Drop wait for
  // a table click after Open; Close leaves them under the disabled Tables menu.
  QCOMPARE(action(w, "createAction")->isEnabled(), expected.open);
  QCOMPARE(action(w, "compactAction")->isEnabled(), expected.open);
  QCOMPARE(action(w, "upsizeAction")->isEnabled(), expected.close);  // on the open file
  // Export waits for a table click like them; Import stands under the Convert menu.
  if (expected.tables)
    for (const char* name : {"renameTableAction", "dropTableAction", "exportAction"})
      QVERIFY2(!action(w, name)->isEnabled(), name);
  QVERIFY(action(w, "importAction")->isEnabled());
  // Enabled throughout (Add New under the Tables menu).
  QVERIFY(action(w, "addTableAction")->isEnabled());
  QVERIFY(action(w, "exitAction")->isEnabled());
  QVERIFY(action(w, "aboutAction")->isEnabled());
  QVERIFY(!action(w, "documentationAction")->isVisible());
}

constexpr MenuState kClosed{true, false, false, false};
constexpr MenuState kOpen{false, true, true, true};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;

 private slots:
  void init() {
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<MainWindow>();
    window->resize(900, 600);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
  }

  void startsClosedWithEmptyTreeAndHiddenPages() {
    const MainWindow& w = *window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Kevra"));
    QCOMPARE(w.statusText(), QStringLiteral("Closed"));
    QVERIFY(treeTexts(w).isEmpty());
    QVERIFY(!control<QTabWidget>(w, "pages")->isVisibleTo(window.get()));
    checkMenus(w, kClosed);
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(w.session().selectedTableIndex(), 0);
    QVERIFY(w.session().fieldSnapshot().empty());
  }

  void menusCarryTheirCaptions() {
    const QList<QPair<const char*, const char*>> captions = {
        {"openAction", "&Open"},          {"closeAction", "&Close"},       {"createAction", "C&reate"},   {"compactAction", "Co&mpact"},
        {"exitAction", "E&xit"},            {"addTableAction", "&Add New"},   {"renameTableAction", "&Rename"}, {"dropTableAction", "&Drop"},
        {"importAction", "&Import"},    {"exportAction", "&Export"},    {"documentationAction", "&Documentation"},
        {"aboutAction", "&About Kevra"},      {"upsizeAction", "&Upsize..."}};
    for (const auto& [name, caption] : captions) QCOMPARE(action(*window, name)->text(), QString::fromLatin1(caption));
    QCOMPARE(control<QMenu>(*window, "fileMenu")->title(), QStringLiteral("&File"));
    QCOMPARE(control<QMenu>(*window, "tablesMenu")->title(), QStringLiteral("&Tables"));
    QCOMPARE(control<QMenu>(*window, "convertMenu")->title(), QStringLiteral("&Convert"));
    QCOMPARE(control<QMenu>(*window, "helpMenu")->title(), QStringLiteral("&Help"));
    // File menu order with its three separators and the recent files after
    // Open and Open with Code Page; the standard keys on Open, Close and Exit.
    const auto fileItems = control<QMenu>(*window, "fileMenu")->actions();
    QStringList order;
    for (const QAction* a : fileItems)
      order << (a->isSeparator() ? QStringLiteral("-") : a->menu() ? a->menu()->objectName() : a->objectName());
    QCOMPARE(order, (QStringList{"openAction", "openWithCodePageAction", "recentMenu", "closeAction", "-",
                                 "createAction", "-", "compactAction", "upsizeAction", "-", "exitAction"}));
    QCOMPARE(action(*window, "openAction")->shortcut(), QKeySequence(QKeySequence::Open));
    QCOMPARE(action(*window, "closeAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));
    QCOMPARE(action(*window, "exitAction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QVERIFY(action(*window, "createAction")->shortcut().isEmpty());
  }

  void structurePageKeepsTheDesignedGeometry() {
    const QList<std::tuple<const char*, QRect>> places = {
        {"fieldsGroup", {0, 0, 225, 329}},   {"primaryKeyGroup", {232, 0, 225, 129}}, {"indexesGroup", {232, 136, 225, 193}},
        {"fieldList", {8, 16, 129, 0}},    {"addFieldButton", {144, 17, 33, 21}},    {"deleteFieldButton", {184, 17, 33, 21}},
        {"fieldNameBox", {88, 106, 129, 0}},      {"fieldTypeBox", {88, 130, 129, 0}},  {"defaultValueBox", {88, 154, 129, 0}},
        {"fieldLengthBox", {88, 178, 41, 0}},       {"nullableCheck", {88, 202, 0, 0}},    {"relatedFieldList", {8, 258, 209, 0}},
        {"applyChangesButton", {64, 292, 105, 23}},   {"keyFieldList", {8, 16, 153, 105}},  {"selectKeyButton", {168, 90, 49, 31}},
        {"indexList", {8, 16, 129, 0}},    {"addIndexButton", {144, 17, 33, 21}},    {"deleteIndexButton", {184, 17, 33, 21}},
        {"indexFieldList", {80, 48, 137, 105}}, {"uniqueCheck", {80, 160, 0, 0}},
        {"fieldNameLabel", {8, 106, 0, 0}}, {"fieldTypeLabel", {8, 130, 0, 0}}, {"defaultValueLabel", {8, 154, 0, 0}}, {"fieldLengthLabel", {8, 178, 0, 0}},
        {"nullableLabel", {8, 202, 0, 0}}, {"relatedFieldLabel", {8, 242, 0, 0}}, {"indexFieldsLabel", {8, 48, 0, 0}}, {"uniqueLabel", {8, 160, 0, 0}}};
    for (const auto& [name, expected] : places) {
      const QRect actual = control<QWidget>(*window, name)->geometry();
      QVERIFY2(actual.topLeft() == expected.topLeft(), name);
      if (expected.width()) QVERIFY2(actual.width() == expected.width(), name);
      if (expected.height()) QVERIFY2(actual.height() == expected.height(), name);
    }
    // Captions fit their boxes at the chosen font.
    for (const char* name : {"fieldNameLabel", "fieldTypeLabel", "defaultValueLabel", "fieldLengthLabel", "nullableLabel", "relatedFieldLabel", "indexFieldsLabel", "uniqueLabel"}) {
      const auto* label = control<QLabel>(*window, name);
      QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), name);
      const QByteArray id(name);
      const int limit = id == "relatedFieldLabel" ? 217 : (id == "indexFieldsLabel" || id == "uniqueLabel") ? 80 : 88;
      QVERIFY2(label->geometry().right() < limit, name);
    }
    for (const char* name : {"applyChangesButton", "selectKeyButton", "addFieldButton"}) {
      const auto* button = control<QPushButton>(*window, name);
      QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) < button->width() - 4, name);
    }
    // Initial visibility of the details.
    for (const char* name : {"fieldNameLabel", "fieldNameBox", "fieldTypeLabel", "fieldTypeBox", "defaultValueLabel", "defaultValueBox", "fieldLengthLabel", "fieldLengthBox", "nullableLabel",
                             "nullableCheck", "relatedFieldLabel", "relatedFieldList", "applyChangesButton", "indexFieldsLabel", "uniqueLabel", "uniqueCheck"})
      QVERIFY2(control<QWidget>(*window, name)->isHidden(), name);
    QCOMPARE(control<QLineEdit>(*window, "fieldNameBox")->text(), QStringLiteral("Edit1"));
    QCOMPARE(control<QLineEdit>(*window, "fieldLengthBox")->text(), QStringLiteral("Edit2"));
    QCOMPARE(control<QGroupBox>(*window, "indexesGroup")->title(), QStringLiteral("Indexes"));
    auto* pages = control<QTabWidget>(*window, "pages");
    QCOMPARE(pages->tabText(0), QStringLiteral("Records"));
    QCOMPARE(pages->tabText(1), QStringLiteral("Structure"));
  }

  void openListsUserTablesInReverseCatalogOrder() {
    const QString path = samplePath("testv2000.mdb");
    openWith(*window, **dialogs, path);
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(treeTexts(*window), (QStringList{"Table4", "Table3", "Table2", "Table1"}));
    QVERIFY(control<QTreeWidget>(*window, "tableTree")->selectedItems().isEmpty());
    QCOMPARE(window->statusText(), path);
    checkMenus(*window, kOpen);
    QCOMPARE(QString::fromStdString(window->session().connectionString()),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path);
    // The dialog was asked for Access files, starting in the home folder.
    QCOMPARE((*dialogs)->fileRequests.size(), 1);
    QCOMPARE((*dialogs)->fileRequests[0].initialDirectory, QDir::homePath());
    QCOMPARE((*dialogs)->fileRequests[0].filter,
             QStringLiteral("Access databases (*.mdb *.accdb)|*.mdb;*.accdb|All Files (*.*)|*.*"));
    QCOMPARE(kevra::ui::qtFileFilter((*dialogs)->fileRequests[0].filter),
             QStringLiteral("Access databases (*.mdb *.accdb);;All Files (*)"));
  }

  void treeListsOnlyTables() {
    // linked.mdb holds two linked tables and no local one: the links are
    // listed with the files they name (the tree's linked-table tests go further).
    openWith(*window, **dialogs, samplePath("linked.mdb"));
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(treeTexts(*window), (QStringList{QStringLiteral("Table1 \u2192 linkee1.mdb"),
                                              QStringLiteral("table2 \u2192 linkee2.mdb")}));
    checkMenus(*window, kOpen);
    // A database without user tables opens normally too.
    action(*window, "closeAction")->trigger();
    openWith(*window, **dialogs, samplePath("empty.mdb"));
    QVERIFY(treeTexts(*window).isEmpty());
    QCOMPARE(window->statusText(), samplePath("empty.mdb"));
    checkMenus(*window, kOpen);
  }

  void cancelledOpenChangesNothing() {
    action(*window, "openAction")->trigger();  // no answer scripted: the dialog is cancelled
    QCOMPARE((*dialogs)->fileRequests.size(), 1);
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
    QVERIFY(window->session().connectionString().empty());
    checkMenus(*window, kClosed);
  }

  void failingOpenShowsTheErrorAndStaysClosed_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("not a database") << samplePath("MANIFEST.md");
    QTest::newRow("missing file") << samplePath("no-such-file.mdb");
  }
  void failingOpenShowsTheErrorAndStaysClosed() {
    QFETCH(QString, path);
    openWith(*window, **dialogs, path);
    QCOMPARE((*dialogs)->messages.size(), 1);
    const auto& box = (*dialogs)->messages.first();
    QCOMPARE(box.title, QStringLiteral("Kevra"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QVERIFY(!box.text.isEmpty());
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
    QVERIFY(treeTexts(*window).isEmpty());
    checkMenus(*window, kClosed);
    QCOMPARE(window->session().connection().State(), 0);
    // The next Open works: nothing was left open.
    openWith(*window, **dialogs, samplePath("indextestv2000.mdb"));
    QCOMPARE((*dialogs)->messages.size(), 1);
    checkMenus(*window, kOpen);
  }

  void closeReturnsToClosedStateAndAnotherFileOpens() {
    openWith(*window, **dialogs, samplePath("testv2000.mdb"));
    QVERIFY(clickTable(*window, "Table1"));
    QVERIFY(window->recordsPage()->dataset().Active());
    action(*window, "closeAction")->trigger();
    QVERIFY((*dialogs)->messages.isEmpty());
    QVERIFY(treeTexts(*window).isEmpty());
    QVERIFY(control<QTabWidget>(*window, "pages")->isHidden());
    QVERIFY(control<QTableView>(*window, "recordsGrid")->isHidden());
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
    QVERIFY(!window->recordsPage()->dataset().Active());
    QCOMPARE(window->recordsPage()->model()->rowCount(), 0);
    checkMenus(*window, kClosed);

    openWith(*window, **dialogs, samplePath("indextestv2000.mdb"));
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(treeTexts(*window), (QStringList{"Table3", "Table2", "Table1"}));
    checkMenus(*window, kOpen);
  }

  void closeAfterTheConnectionWasLostStillCloses() {
    openWith(*window, **dialogs, samplePath("testv2000.mdb"));
    window->session().connection().Close();
    action(*window, "closeAction")->trigger();
    QVERIFY((*dialogs)->messages.isEmpty());
    checkMenus(*window, kClosed);
    QCOMPARE(window->statusText(), QStringLiteral("Closed"));
  }

  void refreshCatalogRebuildsTreeOrReloadsRows() {
    openWith(*window, **dialogs, samplePath("testv2000.mdb"));
    QVERIFY(clickTable(*window, "Table1"));
    QCOMPARE(window->recordsPage()->model()->rowCount(), 2);

    kevra::ui::runCommand(window.get(), [this] { window->refreshCatalog(true); });
    QVERIFY((*dialogs)->messages.isEmpty());
    QVERIFY(window->recordsPage()->dataset().Active());
    QCOMPARE(window->recordsPage()->model()->rowCount(), 2);
    QVERIFY(control<QTabWidget>(*window, "pages")->isVisible());

    // Already closed: the close is skipped and the connection reopens.
    window->session().connection().Close();
    kevra::ui::runCommand(window.get(), [this] { window->refreshCatalog(false); });
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->session().connection().State(), 1);
    QCOMPARE(treeTexts(*window), (QStringList{"Table4", "Table3", "Table2", "Table1"}));
    QVERIFY(control<QTreeWidget>(*window, "tableTree")->selectedItems().isEmpty());
    QVERIFY(control<QTabWidget>(*window, "pages")->isHidden());
    QVERIFY(!window->recordsPage()->dataset().Active());
    checkMenus(*window, kOpen);

    QVERIFY(clickTable(*window, "Table2"));
    QVERIFY(control<QTabWidget>(*window, "pages")->isVisible());
  }

  void reloadingRecordsGivesUpAfterItsRetriesAndReportsOnce() {
    QTemporaryDir folder;
    const QString copy = folder.filePath("copy.mdb");
    QVERIFY(QFile::copy(samplePath("testv2000.mdb"), copy));
    openWith(*window, **dialogs, copy);
    QVERIFY(clickTable(*window, "Table1"));
    window->closeDatabase();  // closes the records dataset, keeps its command
    QVERIFY(QFile::remove(copy));
    QElapsedTimer timer;
    timer.start();
    kevra::ui::runCommand(window.get(), [this] { window->recordsPage()->reloadRecords(); });
    QCOMPARE((*dialogs)->messages.size(), 1);
    QCOMPARE((*dialogs)->messages[0].title, QStringLiteral("Kevra"));
    QVERIFY(timer.elapsed() >= 150);  // two pauses between three attempts
    QVERIFY(!window->recordsPage()->dataset().Active());
  }

  void aboutBoxIsFreshEachTime() {
    QList<QPointer<kevra::app::AboutBox>> seen;
    QStringList versions;
    for (int round = 0; round < 2; ++round) {
      QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<kevra::app::AboutBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen << box;
        versions << box->findChild<QLabel*>("versionLabel")->text();
        QCOMPARE(box->windowTitle(), QStringLiteral("About Kevra"));
        QCOMPARE(box->findChild<QLabel*>("productName")->text(),
                 QStringLiteral("Kevra - Free Access Database Editor"));
        // No made-up address: a link is shown only for an address the build names.
        for (const char* name : {"mailLink", "webLink"}) {
          const QLabel* link = box->findChild<QLabel*>(name);
          QVERIFY2(!link->text().contains(QStringLiteral("example")), qPrintable(link->text()));
          QCOMPARE(link->isVisibleTo(box), !link->text().isEmpty());
        }
        const QString mail = box->findChild<QLabel*>("mailLink")->text();
        QCOMPARE(box->mailTarget(), mail.isEmpty() ? QString() : "mailto:" + mail);
        QCOMPARE(box->webTarget(), box->findChild<QLabel*>("webLink")->text());
        QCOMPARE(box->size(), QSize(225, 182));
        box->findChild<QPushButton*>("okButton")->click();
      });
      action(*window, "aboutAction")->trigger();
    }
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0].isNull() && seen[1].isNull());  // destroyed when closed
    QCOMPARE(versions, (QStringList{"v0.8.0", "v0.8.0"}));
  }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
